// The TCP connection's own behaviour: argument checks, chunked and queued sends, the send
// timer, the receive buffer's growth, and the end of the stream with sends pending.

#include "Utility/Tcp/Connection.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include <boost/asio/error.hpp>
#include <gtest/gtest.h>

#include "Utility/Exception.h"
#include "support/ConnectionRecorder.h"
#include "support/ConnectionRigs.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Test::ConnectionRecorder;
using Orvane::Test::LoopRunner;
using Orvane::Test::TcpRig;
using Orvane::Test::WaitFor;
using Orvane::Utility::Exception;
using Orvane::Utility::Tcp::Buffer;
using Orvane::Utility::Tcp::Connection;

boost::shared_ptr<Buffer> MakeBuffer(const std::string& bytes)
{
    return boost::shared_ptr<Buffer>(
        new Buffer(1024, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned int>(bytes.size())));
}

// The completions of sends, in the order in which they ran.
struct Completions {
    struct Entry {
        std::string name;
        unsigned int sent;
        boost::system::error_code error;
    };

    Orvane::Utility::Tcp::SendData::CompletionFunction For(const std::string& name)
    {
        return [this, name](const unsigned char*, unsigned int sent, const boost::system::error_code& error) {
            std::lock_guard<std::mutex> lock(mutex);
            entries.push_back({name, sent, error});
        };
    }

    std::vector<Entry> Get()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return entries;
    }

    std::mutex mutex;
    std::vector<Entry> entries;
};

void ExpectError(int errorNo, const std::string& message, const std::function<void()>& call)
{
    try {
        call();
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ("Orvane::Utility::Tcp", e.GetType());
        EXPECT_EQ(errorNo, e.GetErrorNo());
        EXPECT_EQ(message, e.what());
    }
}

TEST(ConnectionTest, ArgumentsAndUnconnectedState)
{
    ExpectError(1, "引数(receive_buffer_size)が不正です。", [] { Connection::CreateInstance(0); });
    const auto connection = Connection::CreateInstance(4096);
    ExpectError(1, "引数(received_callback)が不正です。", [&] { connection->Run({}); });
    ExpectError(1, "引数(buffer)が不正です。", [&] { connection->Send(boost::shared_ptr<Buffer>(), 10, 10, {}); });
    ExpectError(1, "引数(receive_timeout_callback)が不正です。", [&] { connection->StartReceiveTimer(10, {}); });
    ExpectError(1, "引数(etc_timeout_callback)が不正です。", [&] { connection->StartEtcTimer(10, {}); });

    // Never connected: Run cannot prepare the socket.
    try {
        connection->Run([](const unsigned char*, unsigned int, unsigned int, const boost::system::error_code&) {});
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(26, e.GetErrorNo());
        EXPECT_EQ(0u, std::string(e.what()).find(
                          "コネクションの送受信処理の準備処理に失敗しました。リモートホスト=0.0.0.0:0, 原因=["))
            << e.what();
    }

    // Not connected: no peer address, and nothing raised for asking.
    EXPECT_EQ("0.0.0.0:0", connection->GetRemoteHost());
    EXPECT_EQ(4096u, connection->GetReceiveBufferSize());
    EXPECT_EQ(4096u, connection->GetReceiveBuffer()->storage.size());
    EXPECT_FALSE(connection->IsReceiveBufferExtended());

    connection->Close();
    ExpectError(2, "コネクションは接続状態ではありません。", [&] {
        connection->Run([](const unsigned char*, unsigned int, unsigned int, const boost::system::error_code&) {});
    });
    ExpectError(24, "送信処理に失敗しました。リモートホスト=0.0.0.0:0, 原因=[コネクションは接続状態ではありません。]",
                [&] { connection->Send(MakeBuffer("x"), 10, 10, {}); });
}

TEST(ConnectionTest, ChunkedSendArrivesWholeAndCompletesOnce)
{
    struct Case {
        std::size_t length;
        unsigned int chunk;  // 0: the rest in one write
    };
    const Case cases[] = {{70000, 32768}, {70000, 0}, {1, 32768}, {0, 32768}};
    TcpRig rig;
    ConnectionRecorder recorder;
    LoopRunner<Connection> runner(rig.connection, recorder.Received());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + " bytes in chunks of " + std::to_string(c.chunk));
        std::string bytes(c.length, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>(i * 7);
        }
        Completions completions;
        rig.connection->Send(MakeBuffer(bytes), 5000, c.chunk, completions.For("send"));
        EXPECT_EQ(bytes, rig.peer->Receive(bytes.size()));
        ASSERT_TRUE(WaitFor([&] { return completions.Get().size() == 1; }));
        EXPECT_EQ(c.length, completions.Get().front().sent);
        EXPECT_FALSE(completions.Get().front().error);
    }
}

TEST(ConnectionTest, QueuedSendsAreWrittenOneAfterAnother)
{
    TcpRig rig;
    ConnectionRecorder recorder;
    LoopRunner<Connection> runner(rig.connection, recorder.Received());
    Completions completions;
    const std::string first(100000, 'a');
    const std::string second(50000, 'b');
    const std::string third = "c";
    rig.connection->Send(MakeBuffer(first), -1, 4096, completions.For("first"));
    rig.connection->Send(MakeBuffer(second), -1, 4096, completions.For("second"));
    rig.connection->Send(MakeBuffer(third), -1, 4096, completions.For("third"));
    EXPECT_EQ(first + second + third, rig.peer->Receive(first.size() + second.size() + third.size()));
    ASSERT_TRUE(WaitFor([&] { return completions.Get().size() == 3; }));
    const auto entries = completions.Get();
    EXPECT_EQ("first", entries[0].name);
    EXPECT_EQ("second", entries[1].name);
    EXPECT_EQ("third", entries[2].name);
    EXPECT_EQ(50000u, entries[1].sent);
}

TEST(ConnectionTest, SendTimeoutEndsEverySendAndNoSecondWriteStartsBesideTheStuckOne)
{
    // The peer does not read: a chunk write stalls once the socket buffers are full.
    TcpRig rig(32768, 4096);
    ConnectionRecorder recorder;
    LoopRunner<Connection> runner(rig.connection, recorder.Received());
    Completions completions;
    const std::string stalled(64 << 20, 'A');
    rig.connection->Send(MakeBuffer(stalled), 200, 32768, completions.For("stalled"));
    rig.connection->Send(MakeBuffer("queued"), 200, 32768, completions.For("queued"));
    ASSERT_TRUE(WaitFor([&] { return completions.Get().size() == 2; }, std::chrono::seconds(30)));
    for (const auto& entry : completions.Get()) {
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(boost::system::error_code(boost::asio::error::timed_out), entry.error);
    }
    EXPECT_LT(completions.Get()[0].sent, stalled.size());
    EXPECT_EQ(0u, completions.Get()[1].sent);

    // A send after the time-out waits for the chunk still being written: its bytes follow
    // that chunk whole and are never interleaved with it.
    const std::string after(100000, 'B');
    rig.connection->Send(MakeBuffer(after), -1, 32768, completions.For("after"));
    std::string received;
    std::size_t bs = 0;
    while (bs < after.size()) {
        const std::string chunk = rig.peer->ReceiveSome(1 << 20);
        bs += static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), 'B'));
        received += chunk;
    }
    const std::size_t firstB = received.find('B');
    EXPECT_EQ(std::string(firstB, 'A'), received.substr(0, firstB));
    EXPECT_EQ(after, received.substr(firstB));
    ASSERT_TRUE(WaitFor([&] { return completions.Get().size() == 3; }));
    EXPECT_FALSE(completions.Get()[2].error);
}

TEST(ConnectionTest, AReceiveBufferFilledExactlyGrowsAndIsReplacedOnceConsumed)
{
    TcpRig rig(4096);
    ConnectionRecorder recorder;
    LoopRunner<Connection> runner(rig.connection, recorder.Received());
    const std::string bytes(4096, 'z');
    rig.PeerSends(bytes);
    ASSERT_TRUE(WaitFor([&] { return recorder.Data().size() == bytes.size(); }));
    EXPECT_TRUE(rig.connection->IsReceiveBufferExtended());
    EXPECT_EQ(8192u, rig.connection->GetReceiveBuffer()->storage.size());

    // Consuming a message from an extended buffer brings it back to the configured size.
    rig.connection->ConsumeReceived(4000);
    EXPECT_FALSE(rig.connection->IsReceiveBufferExtended());
    const auto buffer = rig.connection->GetReceiveBuffer();
    EXPECT_EQ(4096u, buffer->storage.size());
    EXPECT_EQ(96u, buffer->dataLength);
    // Consuming more than is held is refused and changes nothing.
    ExpectError(4, "範囲外へのアクセスが発生しました。バッファサイズ=4096, 開始オフセット=97, 取得バッファ長=96",
                [&] { rig.connection->ConsumeReceived(97); });
    rig.connection->ConsumeReceived(96);
    EXPECT_EQ(0u, rig.connection->GetReceiveBuffer()->dataLength);

    // Reception goes on into the new buffer, although the read pending since before the
    // consumption had been started on the old one.
    rig.PeerSends("more");
    ASSERT_TRUE(WaitFor([&] { return recorder.Data() == "more"; }));
}

TEST(ConnectionTest, EndOfFileEndsPendingSendsWithEndOfFile)
{
    TcpRig rig(32768, 4096);
    ConnectionRecorder recorder;
    LoopRunner<Connection> runner(rig.connection, recorder.Received());
    Completions completions;
    // Pending because the peer does not read; then the peer ends its side.
    rig.connection->Send(MakeBuffer(std::string(64 << 20, 'A')), -1, 32768, completions.For("pending"));
    rig.connection->Send(MakeBuffer("queued"), -1, 32768, completions.For("queued"));
    rig.peer->ShutdownWrite();
    ASSERT_TRUE(runner.WaitUntilFinished());
    ASSERT_EQ(1u, recorder.Errors().size());
    EXPECT_EQ(boost::system::error_code(boost::asio::error::eof), recorder.Errors().front());
    ASSERT_TRUE(WaitFor([&] { return completions.Get().size() == 2; }));
    for (const auto& entry : completions.Get()) {
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(boost::system::error_code(boost::asio::error::eof), entry.error);
    }
    // The connection closed itself: a send is refused.
    ExpectError(24, "送信処理に失敗しました。リモートホスト=0.0.0.0:0, 原因=[コネクションは接続状態ではありません。]",
                [&] { rig.connection->Send(MakeBuffer("x"), 10, 10, {}); });
}

TEST(ConnectionTest, OnReleaseCloses)
{
    TcpRig rig;
    ConnectionRecorder recorder;
    LoopRunner<Connection> runner(rig.connection, recorder.Received());
    rig.connection->OnRelease();
    ASSERT_TRUE(runner.WaitUntilFinished());
    EXPECT_TRUE(rig.peer->WaitForEnd());
    EXPECT_TRUE(recorder.Errors().empty());
}

} // namespace
