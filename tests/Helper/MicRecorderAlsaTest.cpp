#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "Helper/MicRecorder.h"
#include "Helper/RecorderThread.h"
#include "Helper/VoiceRecorderListener.h"
#include "support/AlsaFileDevices.h"
#include "support/FinishesWithin.h"
#include "support/SignalTools.h"
#include "support/TemporaryDirectory.h"
#include "support/UniqueFd.h"
#include "support/WaitFor.h"

// The microphone recorder reading real PortAudio devices: ALSA file-plugin devices that
// capture the bytes of a file. Each test runs in a process of its own with its own HOME.
namespace {

using namespace Orvane::Helper;
using Orvane::Test::SignalTools;
using Block = boost::shared_ptr<DataBuffer>;

const std::size_t InputBytes = 640 * 100;
const int BlocksRead = 50;

class AlsaDevices : public ::testing::Environment {
public:
    void SetUp() override
    {
        first = SignalTools::RandomBytes(InputBytes, 1);
        second = SignalTools::RandomBytes(InputBytes, 2);
        fallback = SignalTools::RandomBytes(InputBytes, 3);
        // A pipe held open here (for reading too, to empty it), so that opening the device
        // never waits.
        const std::string pipe = home.File("stalled.raw");
        if (mkfifo(pipe.c_str(), 0600) != 0) {
            throw std::runtime_error("mkfifo " + pipe);
        }
        stalledPipe.Reset(open(pipe.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        if (!stalledPipe.IsOpen()) {
            throw std::runtime_error("open " + pipe);
        }
        Orvane::Test::AlsaFileDevices::Write(home.Path(),
                                             {{"tessival_mic_first", home.Write("first.raw", first)},
                                              {"tessival_mic_second", home.Write("second.raw", second)},
                                              {"tessival_stalled", pipe}},
                                             home.Write("default.raw", fallback));
        Orvane::Test::AlsaFileDevices::Use(home.Path());
    }

    Orvane::Test::TemporaryDirectory home;
    std::string first;
    std::string second;
    std::string fallback;
    Orvane::Test::UniqueFd stalledPipe;

    void Feed(const std::string& bytes)
    {
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()), write(stalledPipe.Get(), bytes.data(), bytes.size()));
    }
    // Drops what the device has not read.
    void Drain()
    {
        char buffer[4096];
        while (read(stalledPipe.Get(), buffer, sizeof(buffer)) > 0) {
        }
    }
};

AlsaDevices* devices = static_cast<AlsaDevices*>(::testing::AddGlobalTestEnvironment(new AlsaDevices));

class Collector : public VoiceRecorderListener {
public:
    bool OnRecordVoice(Block block) override
    {
        bytes.append(block->GetData(), block->GetSize());
        return ++blocks < BlocksRead;
    }
    void OnFinishRecording(Orvane::Exception* error) override
    {
        if (error) {
            number = error->GetErrorNo();
            message = error->GetErrorMessage();
            error->Release();
        }
        finished = true;
    }

    std::string bytes;
    std::atomic<int> blocks{0};
    int number = 0;
    std::string message;
    std::atomic<bool> finished{false};
};

// Records from the named device until BlocksRead blocks have arrived or it fails.
void Record(const std::string& device, Collector& collector)
{
    RecorderThread thread(boost::make_shared<MicRecorder>(2, 16000, 20, 320, device, 0));
    thread.SetListener(&collector);
    thread.Start();
    ASSERT_TRUE(Orvane::Test::WaitFor([&] { return collector.finished.load(); }));
}

TEST(MicRecorderAlsaTest, DeliversTheDevicesBytesExactly)
{
    Collector collector;
    ::testing::internal::CaptureStderr();
    Record("tessival_mic_first", collector);
    const std::string listing = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(0, collector.number) << collector.message;
    ASSERT_EQ(BlocksRead, collector.blocks);
    EXPECT_EQ(devices->first.substr(0, BlocksRead * 640), collector.bytes);
    EXPECT_NE(std::string::npos, listing.find("host_api => ALSA, device => tessival_mic_first\n"));
    EXPECT_NE(std::string::npos, listing.find("host_api => ALSA, device => tessival_mic_second\n"));
}

TEST(MicRecorderAlsaTest, NameBeginningSeveralDevicesSelectsTheLast)
{
    Collector collector;
    Record("tessival_mic", collector);
    EXPECT_EQ(0, collector.number) << collector.message;
    ASSERT_EQ(BlocksRead, collector.blocks);
    EXPECT_EQ(devices->second.substr(0, BlocksRead * 640), collector.bytes);
}

TEST(MicRecorderAlsaTest, EmptyNameSelectsTheDefaultInputDevice)
{
    Collector collector;
    Record("", collector);
    EXPECT_EQ(0, collector.number) << collector.message;
    ASSERT_EQ(BlocksRead, collector.blocks);
    EXPECT_EQ(devices->fallback.substr(0, BlocksRead * 640), collector.bytes);
}

TEST(MicRecorderAlsaTest, NameMatchingNothingIsACaptureDeviceError)
{
    Collector collector;
    Record("no_such_microphone", collector);
    EXPECT_EQ(0, collector.blocks);
    EXPECT_EQ(6000, collector.number);
    EXPECT_EQ("音声キャプチャデバイスが開始できません。詳細=Not found audio input device. (no_such_microphone)",
              collector.message);
}

// A device whose input stalls (its file is a pipe that gets some data, then none): the
// stop gave the read up only when the pipe moved again. Now it is left to end by itself.
TEST(MicRecorderAlsaTest, StalledDeviceIsLeftToEndByItself)
{
    devices->Drain();
    devices->Feed(SignalTools::RandomBytes(640 * 3, 4));
    const auto recorder = boost::make_shared<MicRecorder>(2, 16000, 20, 320, "tessival_stalled", 0);
    Collector collector;
    const auto thread = std::make_shared<RecorderThread>(recorder);
    thread->SetListener(&collector);
    thread->Start();
    ASSERT_TRUE(Orvane::Test::WaitFor([&] { return collector.blocks == 3; }));
    const std::string more = SignalTools::RandomBytes(640 * 20, 5);
    const bool stopped = Orvane::Test::FinishesWithin([thread] { thread->Stop(); });
    if (!stopped) {
        // Lets the read return, so that the test ends.
        devices->Feed(more);
    }
    ASSERT_TRUE(stopped) << "the stop waited for the stalled read";
    EXPECT_EQ(VoiceRecorder::Recording, recorder->GetState());

    devices->Feed(more);
    EXPECT_TRUE(Orvane::Test::WaitFor([&] { return recorder->GetState() == VoiceRecorder::Stopped; }))
        << "the thread closes the device once its read returns";
    EXPECT_EQ(3, collector.blocks) << "a thread given up passes nothing on";
    EXPECT_FALSE(collector.finished);
    devices->Drain();
}

} // namespace
