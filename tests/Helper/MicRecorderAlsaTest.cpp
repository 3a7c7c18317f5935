#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "Helper/MicRecorder.h"
#include "Helper/RecorderThread.h"
#include "Helper/VoiceRecorderListener.h"
#include "support/AlsaFileDevices.h"
#include "support/SignalTools.h"
#include "support/TemporaryDirectory.h"
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
        Orvane::Test::AlsaFileDevices::Write(home.Path(),
                                             {{"tessival_mic_first", home.Write("first.raw", first)},
                                              {"tessival_mic_second", home.Write("second.raw", second)}},
                                             home.Write("default.raw", fallback));
        Orvane::Test::AlsaFileDevices::Use(home.Path());
    }

    Orvane::Test::TemporaryDirectory home;
    std::string first;
    std::string second;
    std::string fallback;
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
    int blocks = 0;
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

} // namespace
