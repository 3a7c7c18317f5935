#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include "Client/Error.h"
#include "Helper/AsyncVoiceFilter.h"
#include "Helper/CombineFilter.h"
#include "Helper/DataBuffer.h"
#include "Helper/Error.h"
#include "Helper/VoiceBuffer.h"
#include "Helper/VoiceFilter.h"
#include "Orvane/Utility/TextEncoding.h"
#include "Utility/Exception.h"
#include "Utility/Queue.h"
#include "support/CaughtError.h"
#include "support/FinishesWithin.h"
#include "support/WaitFor.h"

namespace {

using namespace Orvane::Helper;
using Orvane::Test::CaughtError;
using Orvane::Test::FinishesWithin;
using Orvane::Test::OwnedError;
using Orvane::Test::WaitFor;
using Block = boost::shared_ptr<DataBuffer>;

Block MakeBlock(uint32_t size, char fill)
{
    Block block(new DataBuffer(size));
    std::fill(block->GetData(), block->GetData() + size, fill);
    return block;
}

// Holds whoever waits on it until it is opened.
class Gate {
public:
    void Open()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        condition_.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        condition_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool open_ = false;
};

// Passes every block on and records what happened to it. Hooks can block or throw.
class ProbeFilter : public VoiceFilter {
public:
    void OnStart() override
    {
        ++starts;
        if (startHook) {
            startHook();
        }
    }
    void OnStop(bool discard) override
    {
        stopDiscard = discard;
        ++stops;
    }
    void OnInput(Block block) override
    {
        entered++;
        if (inputHook) {
            inputHook(block);
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            inputs.push_back(block);
            threads.push_back(std::this_thread::get_id());
        }
        Emit(block);
    }
    void Fail(Orvane::Exception* error) { ReportError(error); }
    std::size_t InputCount()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return inputs.size();
    }

    std::function<void()> startHook;
    std::function<void(Block)> inputHook;
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<int> entered{0};
    std::atomic<bool> stopDiscard{false};
    std::mutex mutex;
    std::vector<Block> inputs;
    std::vector<std::thread::id> threads;
};

class BlockSink : public VoiceFilterListener {
public:
    void OnFilterOutput(Block block) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        blocks_.push_back(block);
    }
    std::vector<Block> Blocks()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return blocks_;
    }

private:
    std::mutex mutex_;
    std::vector<Block> blocks_;
};

class ErrorSink : public VoiceBufferErrorListener {
public:
    void OnVoiceBufferError(Orvane::Exception* error) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        numbers_.push_back(error->GetErrorNo());
        messages_.push_back(error->GetErrorMessage());
        error->Release();
    }
    std::size_t Count()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return numbers_.size();
    }
    int Number(std::size_t i)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return numbers_.at(i);
    }
    std::string Message(std::size_t i)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_.at(i);
    }

private:
    std::mutex mutex_;
    std::vector<int> numbers_;
    std::vector<std::string> messages_;
};

std::vector<Block> Drain(VoiceBuffer& buffer)
{
    std::vector<Block> blocks;
    Block block;
    while (buffer.GetQueue()->Pop(block)) {
        blocks.push_back(block);
    }
    return blocks;
}

TEST(QueueTest, FinishDrainsWhatIsLeftAndAbortEndsAtOnce)
{
    Orvane::Utility::Queue<int> finished;
    finished.Push(1);
    finished.Push(2);
    finished.Finish();
    int value = 0;
    ASSERT_TRUE(finished.Pop(value));
    EXPECT_EQ(1, value);
    ASSERT_TRUE(finished.Pop(value));
    EXPECT_EQ(2, value);
    EXPECT_FALSE(finished.Pop(value));

    Orvane::Utility::Queue<int> aborted;
    aborted.Push(1);
    aborted.Abort();
    EXPECT_FALSE(aborted.Pop(value));
    EXPECT_EQ(1u, aborted.Size());
    aborted.Clear();
    EXPECT_EQ(0u, aborted.Size());
}

TEST(QueueTest, PopWaitsForAPushAndIsAnInterruptionPoint)
{
    Orvane::Utility::Queue<int> queue;
    std::atomic<int> popped{0};
    boost::thread consumer([&] {
        int value = 0;
        if (queue.Pop(value)) {
            popped = value;
        }
    });
    queue.Push(7);
    consumer.join();
    EXPECT_EQ(7, popped);

    std::atomic<bool> interrupted{false};
    boost::thread waiter([&] {
        try {
            int value = 0;
            queue.Pop(value);
        } catch (const boost::thread_interrupted&) {
            interrupted = true;
        }
    });
    waiter.interrupt();
    waiter.join();
    EXPECT_TRUE(interrupted);
}

TEST(VoiceFilterTest, StateRules)
{
    ProbeFilter filter;
    OwnedError early = CaughtError([&] { filter.Add(MakeBlock(2, 0)); });
    ASSERT_TRUE(early);
    EXPECT_EQ(2000, early->GetErrorNo());
    EXPECT_STREQ("状態が不正です。詳細=VoiceFilter is not filtering.", early->GetErrorMessage());

    filter.Start();
    EXPECT_EQ(VoiceFilter::Filtering, filter.GetState());
    OwnedError twice = CaughtError([&] { filter.Start(); });
    ASSERT_TRUE(twice);
    EXPECT_STREQ("状態が不正です。詳細=VoiceFilter is already started.", twice->GetErrorMessage());

    filter.Add(MakeBlock(2, 0));
    filter.Fail(Error::Internal(2, "x"));
    filter.Add(MakeBlock(2, 0));
    EXPECT_EQ(1u, filter.InputCount()) << "a filtering filter drops blocks after an error";

    filter.SetState(VoiceFilter::Stopped);
    filter.Add(MakeBlock(2, 0));
    EXPECT_EQ(2u, filter.InputCount()) << "a stopped filter still receives blocks";
}

TEST(CombineFilterTest, GroupsTwelveBlocksInArrivalOrder)
{
    struct Case {
        bool discard;
        std::size_t finalBlocks;
    };
    for (const Case& c : {Case{false, 1}, Case{true, 0}}) {
        SCOPED_TRACE(c.discard);
        CombineFilter combine;
        BlockSink sink;
        combine.SetOutputListener(&sink);
        combine.Start();
        for (int i = 0; i < 25; ++i) {
            combine.Add(MakeBlock(640, static_cast<char>(i)));
        }
        ASSERT_EQ(2u, sink.Blocks().size());
        for (int group = 0; group < 2; ++group) {
            const Block joined = sink.Blocks()[group];
            ASSERT_EQ(7680u, joined->GetSize());
            for (int i = 0; i < 12; ++i) {
                EXPECT_EQ(static_cast<char>(group * 12 + i), joined->GetData()[i * 640 + 639]);
            }
        }
        combine.OnStop(c.discard);
        ASSERT_EQ(2 + c.finalBlocks, sink.Blocks().size());
        if (c.finalBlocks) {
            EXPECT_EQ(640u, sink.Blocks()[2]->GetSize());
            EXPECT_EQ(24, sink.Blocks()[2]->GetData()[0]);
        }
    }
}

TEST(VoiceBufferTest, ChainCarriesBlocksIntoTheQueue)
{
    auto probe = boost::make_shared<ProbeFilter>();
    VoiceBuffer buffer(2);
    ErrorSink errors;
    buffer.SetErrorListener(&errors);
    buffer.AppendFilter(probe);
    buffer.AppendFilter(boost::make_shared<CombineFilter>());

    buffer.Input(MakeBlock(640, 1));
    EXPECT_EQ(0, probe->entered) << "nothing enters before the start";

    buffer.Start();
    EXPECT_EQ(VoiceBuffer::Started, buffer.GetState());
    for (int i = 0; i < 13; ++i) {
        buffer.Input(MakeBlock(640, static_cast<char>(i)));
    }
    EXPECT_EQ(1u, buffer.GetQueue()->Size());

    buffer.Stop(false);
    EXPECT_EQ(VoiceBuffer::Stopped, buffer.GetState());
    EXPECT_EQ(1, probe->stops);
    EXPECT_FALSE(probe->stopDiscard);
    buffer.Input(MakeBlock(640, 1));
    const std::vector<Block> blocks = Drain(buffer);
    ASSERT_EQ(2u, blocks.size()) << "the held block goes on at the stop; the queue is finished";
    EXPECT_EQ(7680u, blocks[0]->GetSize());
    EXPECT_EQ(640u, blocks[1]->GetSize());
    EXPECT_EQ(2u, buffer.GetQueuedCount());
    EXPECT_EQ(0u, errors.Count());
}

TEST(VoiceBufferTest, StopWithDiscardClearsAndAbortsTheQueue)
{
    VoiceBuffer buffer(2);
    buffer.AppendFilter(boost::make_shared<CombineFilter>());
    buffer.Start();
    for (int i = 0; i < 30; ++i) {
        buffer.Input(MakeBlock(640, 0));
    }
    EXPECT_EQ(2u, buffer.GetQueue()->Size());
    buffer.Stop(true);
    EXPECT_TRUE(Drain(buffer).empty());
    buffer.Stop(false);
    EXPECT_EQ(VoiceBuffer::Stopped, buffer.GetState()) << "a second stop changes nothing";
}

TEST(VoiceBufferTest, StartFailureStopsTheFiltersAlreadyStarted)
{
    struct Case {
        const char* name;
        std::function<void()> fail;
    };
    const Case cases[] = {
        {"helper error", [] { throw Error::Internal(2, "start"); }},
        {"codec or detector error", [] { throw Orvane::Utility::Exception("Orvane::Utility::Vad", 1, "start"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto first = boost::make_shared<ProbeFilter>();
        auto second = boost::make_shared<ProbeFilter>();
        auto third = boost::make_shared<ProbeFilter>();
        second->startHook = c.fail;
        VoiceBuffer buffer(2);
        buffer.AppendFilter(first);
        buffer.AppendFilter(second);
        buffer.AppendFilter(third);
        bool thrown = false;
        try {
            buffer.Start();
        } catch (Orvane::Exception* e) {
            thrown = true;
            e->Release();
        } catch (const Orvane::Utility::Exception&) {
            thrown = true;
        }
        EXPECT_TRUE(thrown);
        EXPECT_EQ(VoiceBuffer::Stopped, buffer.GetState());
        EXPECT_EQ(1, first->stops);
        EXPECT_TRUE(first->stopDiscard);
        EXPECT_EQ(VoiceFilter::Stopped, first->GetState());
        EXPECT_EQ(0, second->stops);
        EXPECT_EQ(0, third->starts);
    }
}

TEST(VoiceBufferTest, RefusesMisuse)
{
    VoiceBuffer buffer(2);
    OwnedError empty = CaughtError([&] { buffer.AppendFilter(boost::shared_ptr<VoiceFilter>()); });
    ASSERT_TRUE(empty);
    EXPECT_STREQ("内部エラーが発生しました。詳細=VoiceFilterに要素がありません。", empty->GetErrorMessage());
    buffer.Start();
    OwnedError twice = CaughtError([&] { buffer.Start(); });
    ASSERT_TRUE(twice);
    EXPECT_STREQ("状態が不正です。詳細=VoiceBuffer is already started.", twice->GetErrorMessage());
}

// A synchronous filter's error (the encoder's) reached the error listener, the controller,
// with the buffer's lock still held by Input.
TEST(VoiceBufferTest, SynchronousFilterErrorIsReportedWithTheLockReleased)
{
    // Takes the buffer's lock from another thread while the error is being reported.
    struct LockProbe : VoiceBufferErrorListener {
        void OnVoiceBufferError(Orvane::Exception* error) override
        {
            messages.push_back(error->GetErrorMessage());
            error->Release();
            other = std::thread([this] {
                buffer->AddData(MakeBlock(2, 0));
                taken = true;
            });
            lockFree = WaitFor([this] { return taken.load(); }, std::chrono::seconds(5));
        }
        VoiceBuffer* buffer = nullptr;
        std::thread other;
        std::atomic<bool> taken{false};
        bool lockFree = false;
        std::vector<std::string> messages;
    };
    auto failing = boost::make_shared<ProbeFilter>();
    ProbeFilter* const raw = failing.get();
    failing->inputHook = [raw](Block) { raw->Fail(Error::Internal(2, "encode failed")); };
    VoiceBuffer buffer(2);
    LockProbe probe;
    probe.buffer = &buffer;
    buffer.SetErrorListener(&probe);
    buffer.AppendFilter(failing);
    buffer.AppendFilter(boost::make_shared<CombineFilter>());
    buffer.Start();
    buffer.Input(MakeBlock(640, 0));
    ASSERT_TRUE(probe.other.joinable());
    probe.other.join();
    EXPECT_TRUE(probe.lockFree) << "the listener ran under the buffer's lock";
    EXPECT_EQ((std::vector<std::string>{"内部エラーが発生しました。詳細=encode failed"}), probe.messages);
    buffer.Input(MakeBlock(640, 0));
    EXPECT_EQ(1u, probe.messages.size()) << "a failed filter drops later blocks";
}

TEST(VoiceBufferTest, RefusesBlocksBeyondFiveHundredWaiting)
{
    VoiceBuffer buffer(2);
    ErrorSink errors;
    buffer.SetErrorListener(&errors);
    buffer.Start();
    for (int i = 0; i < 500; ++i) {
        buffer.AddData(MakeBlock(2, 0));
    }
    EXPECT_EQ(500u, buffer.GetQueue()->Size());
    EXPECT_EQ(0u, errors.Count());
    buffer.AddData(MakeBlock(2, 0));
    buffer.Input(MakeBlock(2, 0));
    EXPECT_EQ(500u, buffer.GetQueue()->Size());
    ASSERT_EQ(2u, errors.Count()) << "one error per refused block";
    EXPECT_EQ(7000, errors.Number(0));
    EXPECT_EQ("内部エラーが発生しました。詳細=音声データのバッファが最大値を超えました。", errors.Message(0));
    Block block;
    ASSERT_TRUE(buffer.GetQueue()->Pop(block));
    buffer.AddData(MakeBlock(2, 0));
    EXPECT_EQ(500u, buffer.GetQueue()->Size()) << "the buffer keeps running";

    // The refusal reached the application in UTF-8 even when it had chosen Shift_JIS.
    VoiceBuffer sjisBuffer(1);
    ErrorSink sjisErrors;
    sjisBuffer.SetErrorListener(&sjisErrors);
    sjisBuffer.Start();
    for (int i = 0; i <= 500; ++i) {
        sjisBuffer.AddData(MakeBlock(2, 0));
    }
    ASSERT_EQ(1u, sjisErrors.Count());
    EXPECT_EQ(Orvane::Utility::Utf8ToSjis("内部エラーが発生しました。詳細=音声データのバッファが最大値を超えました。"),
              sjisErrors.Message(0));
}

TEST(AsyncVoiceFilterTest, RunsTheInnerFilterOnItsWorkerAndDrainsAtStop)
{
    auto probe = boost::make_shared<ProbeFilter>();
    VoiceBuffer buffer(2);
    buffer.AppendFilter(boost::make_shared<AsyncVoiceFilter>(probe));
    buffer.Start();
    EXPECT_EQ(VoiceFilter::Filtering, probe->GetState());
    for (int i = 0; i < 50; ++i) {
        buffer.Input(MakeBlock(640, static_cast<char>(i)));
    }
    buffer.Stop(false);
    EXPECT_EQ(VoiceFilter::Stopped, probe->GetState());
    EXPECT_FALSE(probe->stopDiscard);
    const std::vector<Block> blocks = Drain(buffer);
    ASSERT_EQ(50u, blocks.size()) << "every pending block is handled before the stop ends";
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(static_cast<char>(i), blocks[i]->GetData()[0]);
    }
    EXPECT_NE(std::this_thread::get_id(), probe->threads.front());
}

TEST(AsyncVoiceFilterTest, DiscardEndsAfterTheBlockInHand)
{
    auto probe = boost::make_shared<ProbeFilter>();
    Gate gate;
    probe->inputHook = [&](Block) { gate.Wait(); };
    VoiceBuffer buffer(2);
    buffer.AppendFilter(boost::make_shared<AsyncVoiceFilter>(probe));
    buffer.Start();
    for (int i = 0; i < 6; ++i) {
        buffer.Input(MakeBlock(640, 0));
    }
    ASSERT_TRUE(WaitFor([&] { return probe->entered == 1; }));
    std::thread stopper([&] { buffer.Stop(true); });
    ASSERT_TRUE(WaitFor([&] { return buffer.GetState() == VoiceBuffer::Stopping; }));
    gate.Open();
    stopper.join();
    EXPECT_EQ(1, probe->entered);
    EXPECT_TRUE(probe->stopDiscard);
    EXPECT_TRUE(Drain(buffer).empty());
}

// Stopping held the buffer's lock while joining the worker, which needs that lock to
// deliver: the stop waited for the worker and the worker for the stop.
TEST(AsyncVoiceFilterTest, StopWhileTheWorkerDeliversDoesNotDeadlock)
{
    auto probe = boost::make_shared<ProbeFilter>();
    Gate gate;
    probe->inputHook = [&](Block) { gate.Wait(); };
    auto buffer = boost::make_shared<VoiceBuffer>(2);
    buffer->AppendFilter(boost::make_shared<AsyncVoiceFilter>(probe));
    buffer->Start();
    for (int i = 0; i < 3; ++i) {
        buffer->Input(MakeBlock(640, static_cast<char>(i)));
    }
    ASSERT_TRUE(WaitFor([&] { return probe->entered == 1; }));
    std::atomic<bool> stopping{false};
    const bool stopped = FinishesWithin([buffer, &gate, &stopping] {
        std::thread opener([&] {
            WaitFor([&] { return buffer->GetState() == VoiceBuffer::Stopping; });
            stopping = true;
            gate.Open();
        });
        buffer->Stop(false);
        opener.join();
    });
    ASSERT_TRUE(stopped) << "the stop deadlocked with the worker";
    EXPECT_TRUE(stopping);
    EXPECT_EQ(3u, Drain(*buffer).size());
}

// The worker cleared the stop flag when it began, so a stop made before it ran was lost
// and the stop waited forever.
TEST(AsyncVoiceFilterTest, StopRightAfterStartIsNeverLost)
{
    ASSERT_TRUE(FinishesWithin([] {
        for (int i = 0; i < 200; ++i) {
            auto probe = boost::make_shared<ProbeFilter>();
            VoiceBuffer buffer(2);
            buffer.AppendFilter(boost::make_shared<AsyncVoiceFilter>(probe));
            buffer.Start();
            buffer.Stop(i % 2 == 0);
        }
    }));
}

TEST(AsyncVoiceFilterTest, InnerErrorsAreReportedOnceAndLaterBlocksDropped)
{
    struct Case {
        const char* name;
        std::function<void()> raise;
        int number;
        const char* message;
    };
    const Case cases[] = {
        {"helper error", [] { throw Orvane::Helper::Error::InvalidState(2, "x"); }, 2000, "状態が不正です。詳細=x"},
        {"detector error", [] { throw Orvane::Utility::Exception("Orvane::Utility::Vad", 4, "bad chunk"); }, 7000,
         "内部エラーが発生しました。詳細=bad chunk"},
        {"standard exception", [] { throw std::runtime_error("broken"); }, 7000, "内部エラーが発生しました。詳細=broken"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto probe = boost::make_shared<ProbeFilter>();
        Gate gate;
        probe->inputHook = [&](Block) {
            gate.Wait();
            c.raise();
        };
        auto async = boost::make_shared<AsyncVoiceFilter>(probe);
        VoiceBuffer buffer(2);
        ErrorSink errors;
        buffer.SetErrorListener(&errors);
        buffer.AppendFilter(async);
        buffer.Start();
        for (int i = 0; i < 3; ++i) {
            buffer.Input(MakeBlock(640, 0));
        }
        gate.Open();
        ASSERT_TRUE(WaitFor([&] { return errors.Count() == 1; }));
        EXPECT_TRUE(async->HasError());
        buffer.Input(MakeBlock(640, 0));
        buffer.Stop(false);
        EXPECT_EQ(1, probe->entered) << "blocks after the error are dropped";
        ASSERT_EQ(1u, errors.Count());
        EXPECT_EQ(c.number, errors.Number(0));
        EXPECT_EQ(c.message, errors.Message(0));
    }
}

TEST(AsyncVoiceFilterTest, InnerStartErrorBecomesInternalError)
{
    auto probe = boost::make_shared<ProbeFilter>();
    probe->startHook = [] { throw Orvane::Utility::Exception("Orvane::Utility::Vad", 2, "model file unreadable"); };
    VoiceBuffer buffer(2);
    buffer.AppendFilter(boost::make_shared<AsyncVoiceFilter>(probe));
    OwnedError error = CaughtError([&] { buffer.Start(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(7000, error->GetErrorNo());
    EXPECT_STREQ("内部エラーが発生しました。詳細=model file unreadable", error->GetErrorMessage());
    EXPECT_EQ(VoiceBuffer::Stopped, buffer.GetState());
}

} // namespace
