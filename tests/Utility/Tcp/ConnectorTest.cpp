// The connector: name resolution, refusal, the time limit (which closes the socket it
// opened), and one attempt after another as a server list is tried.

#include "Utility/Tcp/Connector.h"

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "Utility/Exception.h"
#include "Utility/Tcp/Connection.h"
#include "Utility/Tcp/WsConnection.h"
#include "support/SocketPeer.h"
#include "support/WaitFor.h"

namespace {

using Orvane::Test::SocketPeer;
using Orvane::Test::WaitFor;
using Orvane::Utility::Exception;
using Orvane::Utility::Tcp::Connector;

// Open descriptors of this process: a failed attempt leaves none behind.
int OpenDescriptors()
{
    int count = 0;
    if (DIR* directory = ::opendir("/proc/self/fd")) {
        while (::readdir(directory) != nullptr) {
            ++count;
        }
        ::closedir(directory);
    }
    return count;
}

struct Outcome {
    int errorNo;  // 0: connected
    std::string message;
};

Outcome Attempt(Connector& connector, int timeout)
{
    try {
        const auto connection = connector.Connect(timeout);
        EXPECT_EQ(connector.port, connection->RemoteAddress().port());
        return {0, connection->GetRemoteHost()};
    } catch (const Exception& e) {
        EXPECT_STREQ("Orvane::Utility::Tcp", e.GetType());
        return {e.GetErrorNo(), e.what()};
    }
}

Outcome Attempt(const std::string& host, unsigned short port, int timeout)
{
    Connector connector;
    connector.host = host;
    connector.port = port;
    connector.receiveBufferSize = 32768;
    return Attempt(connector, timeout);
}

TEST(ConnectorTest, ResolvesAndConnects)
{
    SocketPeer server;
    const std::string port = std::to_string(server.Port());
    struct Case {
        const char* host;
        int timeout;
        int errorNo;
        std::string message;
    };
    // Names that fail are refused by the resolver itself, without a query leaving the host.
    const Case cases[] = {
        {"127.0.0.1", 3000, 0, "127.0.0.1:" + port},
        {"localhost", 3000, 0, "127.0.0.1:" + port},
        {"127.0.0.1", -1, 0, "127.0.0.1:" + port},
        {"bad host name", 3000, 21,
         "接続先の名前解決ができませんでした。接続先=bad host name:" + port + ", 原因=[system:-2]"},
        {"a..b", -1, 21, "接続先の名前解決ができませんでした。接続先=a..b:" + port + ", 原因=[system:-2]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " within " + std::to_string(c.timeout));
        const Outcome outcome = Attempt(c.host, server.Port(), c.timeout);
        EXPECT_EQ(c.errorNo, outcome.errorNo);
        if (c.errorNo == 21) {
            // The resolver's code differs between C libraries; the rest is fixed.
            EXPECT_EQ(c.message.substr(0, c.message.find("原因=")), outcome.message.substr(0, c.message.find("原因=")));
        } else {
            EXPECT_EQ(c.message, outcome.message);
        }
        if (c.errorNo == 0) {
            server.Accept();
        }
    }
}

TEST(ConnectorTest, RefusedPortIsError22WithTheCause)
{
    const auto refusing = SocketPeer::Refusing();
    const std::string port = std::to_string(refusing->Port());
    const Outcome outcome = Attempt("127.0.0.1", refusing->Port(), 3000);
    EXPECT_EQ(22, outcome.errorNo);
    EXPECT_EQ("接続処理が失敗しました。接続先=127.0.0.1:" + port + ", 原因=[system:111]", outcome.message);
}

// The peer leaves the connect pending for minutes (its SYNs are dropped), so only the
// connector's own close ends the attempt and frees its socket at the time limit. The
// descriptors are counted while the connector still exists and the peer still drops
// the SYNs; should the attempt outlive the limit, closing the peer ends it.
TEST(ConnectorTest, TimeLimitEndsTheAttemptAndClosesItsSocket)
{
    auto silent = SocketPeer::NonAnswering();
    const unsigned short port = silent->Port();
    const int before = OpenDescriptors();
    Connector connector;
    connector.host = "127.0.0.1";
    connector.port = port;
    connector.receiveBufferSize = 32768;
    std::atomic<bool> returned{false};
    Outcome outcome;
    std::chrono::steady_clock::duration elapsed{};
    std::thread attempt([&] {
        const auto start = std::chrono::steady_clock::now();
        outcome = Attempt(connector, 300);
        elapsed = std::chrono::steady_clock::now() - start;
        returned = true;
    });
    const bool released = WaitFor([&] { return returned && OpenDescriptors() == before; }, std::chrono::seconds(20));
    EXPECT_TRUE(released) << "the attempt's socket outlived its time limit";
    if (!released) {
        silent.reset();
    }
    attempt.join();
    EXPECT_EQ(23, outcome.errorNo);
    EXPECT_EQ("接続処理がタイムアウトしました。接続先=127.0.0.1:" + std::to_string(port), outcome.message);
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
}

TEST(ConnectorTest, EachAttemptOfAServerListEndsCleanly)
{
    // As a session tries its servers in order: every failure is reported and leaves nothing
    // behind, and the first server that answers gets the connection.
    const auto refusing = SocketPeer::Refusing();
    const auto silent = SocketPeer::NonAnswering();
    SocketPeer good;
    struct Entry {
        std::string host;
        unsigned short port;
        int errorNo;
    };
    const Entry entries[] = {
        {"127.0.0.1", refusing->Port(), 22},
        {"bad host name", good.Port(), 21},
        {"127.0.0.1", silent->Port(), 23},
        {"localhost", good.Port(), 0},
    };
    const int before = OpenDescriptors();
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.host + ":" + std::to_string(entry.port));
        EXPECT_EQ(entry.errorNo, Attempt(entry.host, entry.port, 300).errorNo);
        if (entry.errorNo != 0) {
            EXPECT_EQ(before, OpenDescriptors());
        }
    }
    EXPECT_NE(nullptr, good.Accept());
}

TEST(ConnectorTest, WebSocketArgumentsAreCheckedFirst)
{
    Connector connector;
    connector.wsUri = "wss://127.0.0.1:1/";
    connector.receiveBufferSize = 0;
    try {
        connector.WsConnect(100);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(1, e.GetErrorNo());
        EXPECT_STREQ("引数(receive_buffer_size)が不正です。", e.what());
    }

    connector.receiveBufferSize = 32768;
    connector.wsUri = "not a uri";
    try {
        connector.WsConnect(100);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(22, e.GetErrorNo());
        EXPECT_NE(std::string::npos, std::string(e.what()).find("接続に失敗しました。リモートホスト=not a uri"))
            << e.what();
    }
}

} // namespace
