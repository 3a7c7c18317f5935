// The controller's start-up, driven directly with a listener that ends the recognition as
// the helper object does.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <boost/make_shared.hpp>

#include "Helper/OrvaneController.h"
#include "Helper/OrvaneListener.h"
#include "Helper/Parameters.h"
#include "Helper/RecorderThread.h"
#include "support/FifoTarget.h"
#include "support/ProcessCounts.h"
#include "support/TemporaryDirectory.h"
#include "support/WaitFor.h"
#include "support/loopback/LoopbackServer.h"

namespace {

using namespace Orvane::Helper;
using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;

// PCM from `target` to `server`, with a long response timer; `detection` adds the
// detection keys.
boost::shared_ptr<Parameters> ParametersFor(const LoopbackServer& server, const std::string& target,
                                            const std::map<std::string, std::string>& detection)
{
    std::map<std::string, std::string> values = {{"server_address", server.Host()},
                                                 {"server_port", std::to_string(server.Port())},
                                                 {"user_agent", "TessivalControllerTest/1.0"},
                                                 {"user_id", "tester"},
                                                 {"codec", "PCM"},
                                                 {"response_timer", "600000"},
                                                 {"recognition_target", target}};
    values.insert(detection.begin(), detection.end());
    return boost::make_shared<Parameters>(2, values);
}

// Runs `afterRecordingStarts` on the starting thread once the recording thread runs.
class HeldController : public OrvaneController {
public:
    explicit HeldController(std::function<void()> afterRecordingStarts)
        : OrvaneController(2), afterRecordingStarts_(afterRecordingStarts)
    {
    }

protected:
    void StartRecording(RecorderThread& recording) override
    {
        OrvaneController::StartRecording(recording);
        afterRecordingStarts_();
    }

private:
    std::function<void()> afterRecordingStarts_;
};

// Tears the pipeline down at the completion, as the helper object does, then records it.
class TearingDownListener : public OrvaneListener {
public:
    void Completed(Orvane::Exception* error) override
    {
        controller->Teardown();
        number = error != nullptr ? error->GetErrorNo() : 0;
        if (error != nullptr) {
            message = error->GetErrorMessage();
        }
        completed = true;
    }

    void Connected() override { connected = true; }
    void Recognize(Orvane::Result::Nbest*) override { ++results; }

    OrvaneController* controller = nullptr;
    std::atomic<bool> connected{false};
    std::atomic<int> results{0};
    std::atomic<bool> completed{false};
    std::atomic<int> number{-1};
    std::string message;
};

// A recorder that ended before the recognizer helper was made left it to connect after the
// completion, with no teardown to come. Here the recording always ends first: the start-up
// waits for the completion right after the recording thread has started.
TEST(OrvaneControllerTest, RecorderEndingAtOnceLeavesNothingToConnect)
{
    LoopbackServer server;
    server.Start();
    // A connection, if one were made, would stay waiting for this reply.
    server.SetReply("CreateRecognizer", Reply::Default().Held());
    TemporaryDirectory directory("controller");
    const boost::shared_ptr<Parameters> parameters =
        ParametersFor(server, directory.Write("empty.raw", ""), {{"detection_mode", "false"}});
    const std::size_t threads = ThreadCount();
    TearingDownListener listener;
    const auto controller = boost::make_shared<HeldController>([&listener] {
        ASSERT_TRUE(WaitFor([&listener] { return listener.completed.load(); }));
    });
    listener.controller = controller.get();
    controller->SetListener(&listener);
    controller->Start(parameters);

    ASSERT_TRUE(WaitFor([&] { return listener.completed.load(); }));
    EXPECT_EQ(5000, listener.number) << "the file ended before a connection: " << listener.message;
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= threads; }))
        << ThreadCount() << " threads, " << threads << " before: a preparation outlived the teardown";
    EXPECT_EQ(0u, server.Snapshot().connections.size());
}

// Marks the end of sending once the controller has taken it in, and records the threads
// that deliver the results and the end of the recognition.
class SendingController : public OrvaneController {
public:
    SendingController() : OrvaneController(2) {}

    void FinishPushSpeech() override
    {
        OrvaneController::FinishPushSpeech();
        sent = true;
    }

    void RecognitionResult(Orvane::Result::Nbest* result) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            resultThread = std::this_thread::get_id();
        }
        OrvaneController::RecognitionResult(result);
    }

    void FinishRecognition() override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            finishThread = std::this_thread::get_id();
        }
        OrvaneController::FinishRecognition();
    }

    std::atomic<bool> sent{false};
    std::mutex mutex;
    std::thread::id resultThread;
    std::thread::id finishThread;
};

// With detection left to the server, a file read to its end leaves the completion to the
// server. An application's stop after that asked for a result with AsyncComplete, and a
// cancel did nothing: the recognition ended with 5002 after the response timer. The result
// read before the Abort's answer was lost when the completion overtook the notification
// thread; it now ends the recognition behind that thread's results.
TEST(OrvaneControllerTest, StopOrCancelAfterTheFilesEndAborts)
{
    struct Case {
        const char* name;
        OrvaneController::StopCause cause;
    };
    const Case cases[] = {
        {"stop", OrvaneController::ApplicationStop},
        {"cancel", OrvaneController::ApplicationCancel},
    };
    const std::string audio(6400, 'x');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server;
        server.Start();
        server.SetReply("Recognizer::Abort",
                        Reply::Ok().Before(Notice::EndPoint("", 1.0, {{0.9, {{"today", "", 0, 10, 0.8}}}}, "r1")));
        TemporaryDirectory directory("controller");
        FifoTarget fifo(directory);
        TearingDownListener listener;
        const auto controller = boost::make_shared<SendingController>();
        listener.controller = controller.get();
        controller->SetListener(&listener);
        controller->Start(
            ParametersFor(server, fifo.Path(), {{"detection_mode", "true"}, {"serverside_vad_mode", "true"}}));

        // Written once connected, so the file cannot end before the connection.
        ASSERT_TRUE(WaitFor([&] { return listener.connected.load() || listener.completed.load(); }));
        ASSERT_TRUE(listener.connected) << listener.number << " " << listener.message;
        ASSERT_TRUE(fifo.Write(audio));
        fifo.Close();
        ASSERT_TRUE(WaitFor([&] { return controller->sent.load(); }));
        EXPECT_FALSE(listener.completed) << "the file's end left the completion to the server";
        EXPECT_FALSE(controller->RequestStop(c.cause)) << "the recording had stopped";
        ASSERT_TRUE(WaitFor([&] { return listener.completed.load(); }));
        EXPECT_EQ(0, listener.number) << listener.message;
        EXPECT_EQ(1, listener.results) << "the result read before the Abort's answer";
        {
            std::lock_guard<std::mutex> lock(controller->mutex);
            EXPECT_EQ(controller->resultThread, controller->finishThread)
                << "the end comes behind the results on the notification thread";
        }
        ASSERT_TRUE(server.WaitForCall("Recognizer::Release"));
        const Recording seen = server.Snapshot();
        EXPECT_EQ(1u, seen.CallCount("Recognizer::Abort"));
        EXPECT_EQ(0u, seen.CallCount("Recognizer::AsyncComplete"));
        EXPECT_EQ(audio, seen.Audio());
    }
}

} // namespace
