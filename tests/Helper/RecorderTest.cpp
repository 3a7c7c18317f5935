#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include "Helper/Error.h"
#include "Helper/FileRecorder.h"
#include "Helper/MicRecorder.h"
#include "Helper/RecorderThread.h"
#include "Helper/VoiceRecorder.h"
#include "Helper/VoiceRecorderListener.h"
#include "support/SignalTools.h"
#include "support/CaughtError.h"
#include "support/FinishesWithin.h"
#include "support/TemporaryDirectory.h"
#include "support/UniqueFd.h"
#include "support/WaitFor.h"

namespace {

using namespace Orvane::Helper;
using Orvane::Test::SignalTools;
using Orvane::Test::FinishesWithin;
using Orvane::Test::UniqueFd;
using Orvane::Test::WaitFor;
using Block = boost::shared_ptr<DataBuffer>;

// Collects what the recording thread reports; can end the recording after some blocks
// or run an action on the recording thread.
class Collector : public VoiceRecorderListener {
public:
    bool OnRecordVoice(Block block) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_.append(block->GetData(), block->GetSize());
        ++blocks_;
        if (onBlock) {
            onBlock();
        }
        return keepAfter < 0 || blocks_ < keepAfter;
    }
    void OnFinishRecording(Orvane::Exception* error) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (error) {
            number_ = error->GetErrorNo();
            message_ = error->GetErrorMessage();
            error->Release();
        }
        ++finishes_;
    }
    int Finishes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return finishes_;
    }
    int Blocks()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return blocks_;
    }
    std::string Bytes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }
    int Number()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return number_;
    }
    std::string Message()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return message_;
    }

    int keepAfter = -1;
    std::function<void()> onBlock;

private:
    std::mutex mutex_;
    std::string bytes_;
    int blocks_ = 0;
    int finishes_ = 0;
    int number_ = 0;
    std::string message_;
};

// Runs `recorder` on a recording thread until it ends by itself.
void RecordToEnd(boost::shared_ptr<VoiceRecorder> recorder, Collector& collector)
{
    RecorderThread thread(recorder);
    thread.SetListener(&collector);
    thread.Start();
    ASSERT_TRUE(WaitFor([&] { return collector.Finishes() == 1; }));
    ASSERT_TRUE(WaitFor([&] { return !thread.IsRunning(); }));
}

boost::shared_ptr<FileRecorder> MakeFileRecorder(const std::string& path)
{
    return boost::make_shared<FileRecorder>(2, 16000, 20, 320, path);
}

TEST(FileRecorderTest, DeliversWholeBlocksOfFilesOfEveryLength)
{
    Orvane::Test::TemporaryDirectory directory;
    for (std::size_t length : {0u, 1u, 639u, 640u, 641u, 1000u, 1279u, 1280u, 1281u, 1920u}) {
        SCOPED_TRACE(length);
        const std::string bytes = SignalTools::RandomBytes(length, static_cast<uint32_t>(length));
        const std::string path = directory.Write("in-" + std::to_string(length) + ".raw", bytes);
        Collector collector;
        RecordToEnd(MakeFileRecorder(path), collector);
        EXPECT_EQ(static_cast<int>(length / 640), collector.Blocks());
        EXPECT_EQ(bytes.substr(0, length / 640 * 640), collector.Bytes()) << "byte for byte, from the first byte";
        EXPECT_EQ(0, collector.Number()) << "the end of the file is a normal end: " << collector.Message();
    }
}

TEST(FileRecorderTest, OpenAndReadFailuresNameThePath)
{
    Orvane::Test::TemporaryDirectory directory;
    struct Case {
        const char* name;
        std::string path;
        std::string detail;
    };
    const Case cases[] = {
        {"missing file", directory.File("absent.raw"),
         "ファイルのオープンに失敗しました。[" + directory.File("absent.raw") + "] 原因=[No such file or directory]"},
        {"directory", directory.Path(), "ファイルの読み込みに失敗しました。[" + directory.Path() + "]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Collector collector;
        RecordToEnd(MakeFileRecorder(c.path), collector);
        EXPECT_EQ(0, collector.Blocks());
        EXPECT_EQ(7000, collector.Number());
        EXPECT_EQ("内部エラーが発生しました。詳細=" + c.detail, collector.Message());
    }
}

// A pipe is read as its data comes: blocks are whole however the writer splits them, and a
// stop ends the wait for a writer that never comes (opening the pipe waited for good).
TEST(FileRecorderTest, PipeIsReadAsItsDataComes)
{
    Orvane::Test::TemporaryDirectory directory;
    const std::string fifo = directory.File("pipe.raw");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    {
        auto recorder = MakeFileRecorder(fifo);
        Collector collector;
        RecorderThread thread(recorder);
        thread.SetListener(&collector);
        thread.Start();
        ASSERT_TRUE(WaitFor([&] { return recorder->GetState() == VoiceRecorder::Recording; }));
        const bool stopped = FinishesWithin([&] { thread.Stop(); });
        if (!stopped) {
            // Lets a reader blocked in its open go, so that the test ends.
            UniqueFd unblock(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        }
        ASSERT_TRUE(stopped) << "the stop waited for a writer";
        EXPECT_EQ(1, collector.Finishes());
        EXPECT_EQ(0, collector.Number()) << collector.Message();
        EXPECT_EQ(0, collector.Blocks());
    }
    {
        Collector collector;
        RecorderThread thread(MakeFileRecorder(fifo));
        thread.SetListener(&collector);
        thread.Start();
        UniqueFd writer;
        ASSERT_TRUE(WaitFor([&] {
            writer.Reset(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
            return writer.IsOpen();
        }));
        const std::string bytes = SignalTools::RandomBytes(1400, 3);
        for (std::size_t at = 0; at < bytes.size(); at += 100) {
            ASSERT_EQ(100, write(writer.Get(), bytes.data() + at, 100));
            ASSERT_TRUE(WaitFor([&] { return collector.Bytes().size() >= (at + 100) / 640 * 640; }));
        }
        writer.Reset();
        ASSERT_TRUE(WaitFor([&] { return collector.Finishes() == 1; }));
        EXPECT_EQ(2, collector.Blocks());
        EXPECT_EQ(bytes.substr(0, 1280), collector.Bytes());
        EXPECT_EQ(0, collector.Number()) << "the writer's end is the end of the file: " << collector.Message();
    }
}

TEST(RecorderThreadTest, ListenerReturningFalseEndsAfterThatBlock)
{
    Orvane::Test::TemporaryDirectory directory;
    const std::string path = directory.Write("in.raw", SignalTools::RandomBytes(640 * 5, 5));
    Collector collector;
    collector.keepAfter = 2;
    RecordToEnd(MakeFileRecorder(path), collector);
    EXPECT_EQ(2, collector.Blocks());
    EXPECT_EQ(0, collector.Number());
}

TEST(RecorderThreadTest, StopEndsThePacedWaitAsANormalEnd)
{
    Orvane::Test::TemporaryDirectory directory;
    const std::string path = directory.Write("long.raw", SignalTools::RandomBytes(640 * 3000, 7));
    Collector collector;
    RecorderThread thread(MakeFileRecorder(path));
    thread.SetListener(&collector);
    thread.Start();
    ASSERT_TRUE(WaitFor([&] { return collector.Blocks() >= 2; }));
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(1, collector.Finishes()) << "Stop waits for the thread's end";
    EXPECT_EQ(0, collector.Number());
    EXPECT_LT(collector.Blocks(), 3000);
}

// A recorder that never ends by itself.
class EndlessRecorder : public VoiceRecorder {
public:
    EndlessRecorder() : VoiceRecorder(2, 16000, 20, 320) {}
    unsigned int OnRead(Block block) override
    {
        boost::this_thread::interruption_point();
        return block->GetSize() / 2;
    }
    void OnStop() override { ++stops; }
    std::atomic<int> stops{0};
};

// The thread set its running flag when it began, so a Stop made before that found
// nothing to stop and the recording went on.
TEST(RecorderThreadTest, StopRightAfterStartIsNeverLost)
{
    ASSERT_TRUE(FinishesWithin([] {
        for (int i = 0; i < 100; ++i) {
            auto recorder = boost::make_shared<EndlessRecorder>();
            Collector collector;
            RecorderThread thread(recorder);
            thread.SetListener(&collector);
            thread.Start();
            EXPECT_TRUE(thread.IsRunning());
            thread.Stop();
            EXPECT_EQ(1, collector.Finishes());
            EXPECT_EQ(0, collector.Number());
        }
    }));
}

TEST(RecorderThreadTest, StartRulesAndStopOnTheRecordingThread)
{
    auto recorder = boost::make_shared<EndlessRecorder>();
    Collector collector;
    RecorderThread thread(recorder);
    collector.onBlock = [&] { thread.Stop(); };
    thread.SetListener(&collector);
    thread.Start();
    ASSERT_TRUE(WaitFor([&] { return collector.Finishes() == 1; })) << "a stop on the thread itself does not join";
    EXPECT_EQ(1, collector.Blocks());
    EXPECT_EQ(1, recorder->stops);
    EXPECT_EQ(VoiceRecorder::Stopped, recorder->GetState());

    Orvane::Test::OwnedError again = Orvane::Test::CaughtError([&] { recorder->Start(); });
    ASSERT_TRUE(again);
    EXPECT_STREQ("状態が不正です。詳細=VoiceRecorder is already started.", again->GetErrorMessage());

    RecorderThread running(boost::make_shared<EndlessRecorder>());
    running.Start();
    Orvane::Test::OwnedError twice = Orvane::Test::CaughtError([&] { running.Start(); });
    ASSERT_TRUE(twice);
    EXPECT_STREQ("状態が不正です。詳細=RecorderThread is already started.", twice->GetErrorMessage());
    running.Stop();
}

// A stand-in for PortAudio: one input device, scripted results, and a record of calls.
// Every call but the read counts, across all fakes, the calls in progress that overlap.
class FakePortAudio : public PortAudioApi {
public:
    FakePortAudio()
    {
        std::memset(&device_, 0, sizeof(device_));
        device_.name = "fake microphone";
        device_.hostApi = 0;
        device_.maxInputChannels = 1;
        device_.defaultHighInputLatency = 0.25;
        std::memset(&hostApi_, 0, sizeof(hostApi_));
        hostApi_.name = "FAKE";
    }

    // Lets a read held by `stallAt` return.
    void EndStall() { Open(stalled_); }
    // Lets an initialisation held by `holdInitialize` return.
    void EndInitialize() { Open(initializeHeld_); }

    PaError initializeResult = paNoError;
    PaError openResult = paNoError;
    PaError startResult = paNoError;
    PaError readResult = paNoError;
    PaError stopResult = paNoError;
    PaError closeResult = paNoError;
    PaDeviceIndex defaultDevice = 0;
    int goodReads = 1000000;
    int stallAt = 0; // this read (1, 2, ...) blocks until EndStall
    bool holdInitialize = false; // the initialisation blocks until EndInitialize

    std::atomic<int> initializes{0}, terminates{0}, opens{0}, starts{0}, reads{0}, stops{0}, aborts{0}, closes{0};
    std::atomic<int> closedStreamUses{0};
    std::atomic<bool> initializing{false};
    PaStreamParameters openedInput{};
    const PaStreamParameters* openedOutput = nullptr;
    double openedRate = 0.0;
    unsigned long openedFrames = 0;
    PaStreamFlags openedFlags = 0;

    // PortAudio calls of all fakes that began while another was in progress.
    static std::atomic<int> overlaps;

protected:
    PaError DoInitialize() override
    {
        const Call call;
        ++initializes;
        if (holdInitialize) {
            initializing = true;
            Await(initializeHeld_);
            initializing = false;
        }
        return initializeResult;
    }
    PaError DoTerminate() override
    {
        const Call call;
        ++terminates;
        return paNoError;
    }
    PaDeviceIndex DoGetDefaultInputDevice() override
    {
        const Call call;
        return defaultDevice;
    }
    PaDeviceIndex DoGetDeviceCount() override
    {
        const Call call;
        return 1;
    }
    const PaDeviceInfo* DoGetDeviceInfo(PaDeviceIndex device) override
    {
        const Call call;
        return device == 0 ? &device_ : nullptr;
    }
    const PaHostApiInfo* DoGetHostApiInfo(PaHostApiIndex api) override
    {
        const Call call;
        return api == 0 ? &hostApi_ : nullptr;
    }
    PaError DoOpenStream(PaStream** stream, const PaStreamParameters* input, const PaStreamParameters* output,
                         double sampleRate, unsigned long framesPerBuffer, PaStreamFlags flags) override
    {
        const Call call;
        ++opens;
        openedInput = *input;
        openedOutput = output;
        openedRate = sampleRate;
        openedFrames = framesPerBuffer;
        openedFlags = flags;
        if (openResult != paNoError) {
            return openResult;
        }
        *stream = &stream_;
        open_ = true;
        return paNoError;
    }
    PaError DoStartStream(PaStream* stream) override
    {
        const Call call;
        Use(stream);
        ++starts;
        return startResult;
    }
    signed long DoGetStreamReadAvailable(PaStream* stream) override
    {
        const Call call;
        Use(stream);
        return 320;
    }
    PaError DoReadStream(PaStream* stream, void* buffer, unsigned long frames) override
    {
        Use(stream);
        ++reads;
        if (reads == stallAt) {
            Await(stalled_);
        }
        if (reads > goodReads) {
            return readResult;
        }
        std::memset(buffer, reads, frames * 2);
        return paNoError;
    }
    PaError DoStopStream(PaStream* stream) override
    {
        const Call call;
        Use(stream);
        ++stops;
        return stopResult;
    }
    PaError DoAbortStream(PaStream* stream) override
    {
        const Call call;
        Use(stream);
        ++aborts;
        return paNoError;
    }
    PaError DoCloseStream(PaStream* stream) override
    {
        const Call call;
        Use(stream);
        ++closes;
        open_ = false;
        return closeResult;
    }
    const char* DoGetErrorText(PaError error) override
    {
        const Call call;
        return Pa_GetErrorText(error);
    }

private:
    // Marks one call in progress.
    class Call {
    public:
        Call()
        {
            if (inProgress_++ > 0) {
                ++overlaps;
            }
        }
        ~Call() { --inProgress_; }
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;
    };

    void Use(PaStream* stream)
    {
        if (stream != &stream_ || !open_) {
            ++closedStreamUses;
        }
    }
    void Await(bool& held)
    {
        std::unique_lock<std::mutex> lock(holdMutex_);
        holdEnded_.wait(lock, [&held] { return !held; });
    }
    void Open(bool& held)
    {
        std::lock_guard<std::mutex> lock(holdMutex_);
        held = false;
        holdEnded_.notify_all();
    }

    static std::atomic<int> inProgress_;
    PaDeviceInfo device_;
    PaHostApiInfo hostApi_;
    std::mutex holdMutex_;
    std::condition_variable holdEnded_;
    bool stalled_ = true;
    bool initializeHeld_ = true;
    int stream_ = 0;
    std::atomic<bool> open_{false};
};

std::atomic<int> FakePortAudio::overlaps{0};
std::atomic<int> FakePortAudio::inProgress_{0};

TEST(MicRecorderTest, OpensTheDeviceAndStopsCleanly)
{
    auto api = boost::make_shared<FakePortAudio>();
    Collector collector;
    collector.keepAfter = 2;
    RecordToEnd(boost::make_shared<MicRecorder>(2, 16000, 20, 320, "fake", 0, api), collector);
    EXPECT_EQ(0, collector.Number());
    ASSERT_EQ(2, collector.Blocks());
    EXPECT_EQ(std::string(640, 1) + std::string(640, 2), collector.Bytes());

    EXPECT_EQ(0, api->openedInput.device);
    EXPECT_EQ(1, api->openedInput.channelCount);
    EXPECT_EQ(paInt16, api->openedInput.sampleFormat);
    EXPECT_EQ(0.25, api->openedInput.suggestedLatency);
    EXPECT_EQ(nullptr, api->openedOutput);
    EXPECT_EQ(16000.0, api->openedRate);
    EXPECT_EQ(3200u, api->openedFrames);
    EXPECT_EQ(paClipOff, api->openedFlags);
    EXPECT_EQ(1, api->stops);
    EXPECT_EQ(1, api->closes);
    EXPECT_EQ(1, api->terminates);
    EXPECT_EQ(0, api->closedStreamUses);
}

TEST(MicRecorderTest, FailuresEndTheRecordingAndTerminateOnce)
{
    struct Case {
        const char* name;
        std::function<void(FakePortAudio&)> script;
        std::string device;
        int number; // 0: normal end
        std::string detail;
        int terminates;
        int closes;
    };
    const Case cases[] = {
        {"initialise", [](FakePortAudio& a) { a.initializeResult = paNotInitialized; }, "fake", 6000,
         std::string("Pa_Initialize failed. ") + Pa_GetErrorText(paNotInitialized), 0, 0},
        {"no default device", [](FakePortAudio& a) { a.defaultDevice = paNoDevice; }, "", 6000,
         "Not found audio input device. (default input device)", 1, 0},
        {"no such device", [](FakePortAudio&) {}, "microphone", 6000, "Not found audio input device. (microphone)",
         1, 0},
        {"open", [](FakePortAudio& a) { a.openResult = paInvalidDevice; }, "fake", 6000,
         std::string("Pa_OpenStream failed. ") + Pa_GetErrorText(paInvalidDevice), 1, 0},
        {"start", [](FakePortAudio& a) { a.startResult = paDeviceUnavailable; }, "fake", 6000,
         std::string("Pa_StartStream failed. ") + Pa_GetErrorText(paDeviceUnavailable), 1, 0},
        {"overflow",
         [](FakePortAudio& a) {
             a.goodReads = 2;
             a.readResult = paInputOverflowed;
         },
         "fake", 7000, std::string("Pa_ReadStream failed. reason [Input Overflow] ") + Pa_GetErrorText(paInputOverflowed),
         1, 1},
        {"other read failure",
         [](FakePortAudio& a) {
             a.goodReads = 2;
             a.readResult = paTimedOut;
         },
         "fake", 0, "", 1, 1},
        {"stop", [](FakePortAudio& a) { a.stopResult = paInternalError; }, "fake", 7000,
         std::string("Pa_StopStream failed. ") + Pa_GetErrorText(paInternalError), 1, 1},
        {"close", [](FakePortAudio& a) { a.closeResult = paInternalError; }, "fake", 7000,
         std::string("Pa_CloseStream failed. ") + Pa_GetErrorText(paInternalError), 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto api = boost::make_shared<FakePortAudio>();
        c.script(*api);
        Collector collector;
        collector.keepAfter = 3;
        RecordToEnd(boost::make_shared<MicRecorder>(2, 16000, 20, 320, c.device, 0, api), collector);
        EXPECT_EQ(c.number, collector.Number());
        if (c.number == 6000) {
            EXPECT_EQ("音声キャプチャデバイスが開始できません。詳細=" + c.detail, collector.Message());
        } else if (c.number == 7000) {
            EXPECT_EQ("内部エラーが発生しました。詳細=" + c.detail, collector.Message());
        }
        EXPECT_EQ(c.terminates, api->terminates) << "PortAudio is terminated exactly once";
        EXPECT_EQ(c.closes, api->closes);
        EXPECT_EQ(0, api->closedStreamUses) << "a closed stream is not used again";
    }
}

// A capture read that never returned held Stop, and with it the helper's teardown, until
// the device moved again.
TEST(MicRecorderTest, StopLeavesAStalledReadToEndByItself)
{
    auto api = boost::make_shared<FakePortAudio>();
    api->stallAt = 3;
    Collector collector;
    std::unique_ptr<RecorderThread> thread(
        new RecorderThread(boost::make_shared<MicRecorder>(2, 16000, 20, 320, "fake", 0, api)));
    thread->SetListener(&collector);
    thread->Start();
    ASSERT_TRUE(WaitFor([&] { return api->reads == 3; }));
    const bool stopped = FinishesWithin([&] { thread->Stop(); });
    if (!stopped) {
        api->EndStall();
    }
    ASSERT_TRUE(stopped) << "the stop waited for the stalled read";
    EXPECT_FALSE(thread->IsRunning());
    thread.reset();
    EXPECT_EQ(2, collector.Blocks());
    EXPECT_EQ(0, api->stops) << "the stream is the stalled thread's to close";

    api->EndStall();
    ASSERT_TRUE(WaitFor([&] { return api->terminates == 1; })) << "the thread closes the stream when the read returns";
    EXPECT_EQ(1, api->stops);
    EXPECT_EQ(1, api->closes);
    EXPECT_EQ(0, api->closedStreamUses);
    EXPECT_EQ(2, collector.Blocks()) << "a thread given up passes nothing on";
    EXPECT_EQ(0, collector.Finishes());
}

// A recording thread given up by a stop stopped, closed and terminated PortAudio when its
// read returned, while the next recording was inside Pa_Initialize on another thread.
TEST(MicRecorderTest, AGivenUpThreadClosesPortAudioOnlyBetweenTheNextRecordingsCalls)
{
    const int overlapsBefore = FakePortAudio::overlaps;
    auto stalled = boost::make_shared<FakePortAudio>();
    stalled->stallAt = 3;
    auto next = boost::make_shared<FakePortAudio>();
    next->holdInitialize = true;
    Collector first;
    Collector second;
    second.keepAfter = 2;
    RecorderThread firstThread(boost::make_shared<MicRecorder>(2, 16000, 20, 320, "fake", 0, stalled));
    RecorderThread secondThread(boost::make_shared<MicRecorder>(2, 16000, 20, 320, "fake", 0, next));
    // Whatever fails below, nothing stays held when the threads go.
    struct Holds {
        ~Holds()
        {
            stalled.EndStall();
            next.EndInitialize();
        }
        FakePortAudio& stalled;
        FakePortAudio& next;
    } holds{*stalled, *next};

    firstThread.SetListener(&first);
    firstThread.Start();
    ASSERT_TRUE(WaitFor([&] { return stalled->reads == 3; }));
    ASSERT_TRUE(FinishesWithin([&] { firstThread.Stop(); })) << "the stop gives the stalled read up";
    secondThread.SetListener(&second);
    secondThread.Start();
    ASSERT_TRUE(WaitFor([&] { return next->initializing.load(); }));

    stalled->EndStall();
    // The given-up thread now stops its stream: it waits for the lock, or runs at once.
    ASSERT_TRUE(WaitFor([&] { return PortAudioApi::Waiting() > 0 || stalled->stops > 0; }));
    EXPECT_EQ(0, stalled->stops) << "the given-up thread stopped its stream inside the next Pa_Initialize";
    next->EndInitialize();
    ASSERT_TRUE(WaitFor([&] { return stalled->terminates == 1; }));
    ASSERT_TRUE(WaitFor([&] { return second.Finishes() == 1; }));
    EXPECT_EQ(0, second.Number()) << second.Message();
    EXPECT_EQ(2, second.Blocks());
    EXPECT_EQ(0, first.Finishes()) << "a thread given up reports nothing";
    EXPECT_EQ(overlapsBefore, FakePortAudio::overlaps) << "PortAudio calls ran together";
}

} // namespace
