// The WebSocket connection's own behaviour against real peers: TLS verification, the
// proxy route through tinyproxy, the opening wait, the bridge to a TCP backend, what
// arrives before Run, and the one thread that runs the event loop.

#include "Utility/Tcp/WsConnection.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/error.hpp>
#include <gtest/gtest.h>

#include "Utility/Exception.h"
#include "Utility/Tcp/Connector.h"
#include "support/ConnectionRecorder.h"
#include "support/ConnectionRigs.h"
#include "support/FinishesWithin.h"
#include "support/ScopedEnvironment.h"
#include "support/SocketPeer.h"
#include "support/TinyproxyPeer.h"
#include "support/TlsAuthority.h"
#include "support/WaitFor.h"
#include "support/WsPeer.h"

namespace {

using Orvane::Test::ConnectionRecorder;
using Orvane::Test::Delivery;
using Orvane::Test::LoopRunner;
using Orvane::Test::ScopedEnvironment;
using Orvane::Test::SocketPeer;
using Orvane::Test::TinyproxyPeer;
using Orvane::Test::TlsAuthority;
using Orvane::Test::TrustedServer;
using Orvane::Test::WaitFor;
using Orvane::Test::WsPeer;
using Orvane::Test::WsRig;
using Orvane::Utility::Exception;
using Orvane::Utility::Tcp::Buffer;
using Orvane::Utility::Tcp::Connector;
using Orvane::Utility::Tcp::WsConnection;

boost::shared_ptr<Buffer> MakeBuffer(const std::string& bytes)
{
    return boost::shared_ptr<Buffer>(
        new Buffer(1024, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned int>(bytes.size())));
}

boost::shared_ptr<WsConnection> Connect(const std::string& uri, const std::string& proxy = "", int timeout = 10000)
{
    Connector connector;
    connector.wsUri = uri;
    connector.proxyUri = proxy;
    connector.receiveBufferSize = 32768;
    return connector.WsConnect(timeout);
}

void NoCompletion(const unsigned char*, unsigned int, const boost::system::error_code&) {}

// Sends `bytes` and waits until the echo has shown them.
void RoundTrip(WsConnection& connection, ConnectionRecorder& recorder, const std::string& bytes)
{
    connection.Send(MakeBuffer(bytes), 1000, 32768, NoCompletion);
    ASSERT_TRUE(WaitFor([&] { return recorder.Data() == bytes; }));
}

TEST(WsConnectionTest, ServerCertificateIsVerified)
{
    TlsAuthority authority;
    TlsAuthority stranger("Unknown CA");
    ScopedEnvironment trust("SSL_CERT_FILE", authority.CertificateFile());
    struct Case {
        const char* name;
        TlsAuthority* issuer;
        std::string names;   // the certificate's subject alternative names
        std::string host;    // host in the URI
        std::string cause;   // empty: opens
    };
    const Case cases[] = {
        {"trusted authority, address named", &authority, "IP:127.0.0.1", "127.0.0.1", ""},
        {"trusted authority, host named", &authority, "DNS:localhost", "localhost", ""},
        {"unknown authority", &stranger, "IP:127.0.0.1", "127.0.0.1", "unable to get local issuer certificate"},
        {"certificate for another address", &authority, "IP:127.0.0.2,DNS:example.invalid", "127.0.0.1",
         "IP address mismatch"},
        {"certificate for another host name", &authority, "DNS:other.invalid", "localhost", "hostname mismatch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TlsAuthority::ServerCertificate certificate = c.issuer->Issue(c.names);
        WsPeer::Options options;
        options.certificateFile = certificate.certificateFile;
        options.keyFile = certificate.keyFile;
        WsPeer peer(options);
        try {
            const auto connection = Connect(peer.Uri(c.host));
            EXPECT_TRUE(c.cause.empty()) << "opened";
            ConnectionRecorder recorder;
            LoopRunner<WsConnection> runner(connection, recorder.Received());
            RoundTrip(*connection, recorder, "over TLS");
        } catch (const Exception& e) {
            EXPECT_FALSE(c.cause.empty()) << e.what();
            EXPECT_EQ(22, e.GetErrorNo());
            const std::string message = e.what();
            EXPECT_EQ(0u, message.find("接続に失敗しました。リモートホスト=" + c.host + ":" + std::to_string(peer.Port())))
                << message;
            EXPECT_NE(std::string::npos, message.find(c.cause)) << message;
        }
    }
}

TEST(WsConnectionTest, HandshakeCarriesTheLibrarysOwnUserAgent)
{
    TrustedServer server;
    WsPeer peer(server.Peer(WsPeer::Mode::Echo));
    const auto connection = Connect(peer.Uri());
    EXPECT_EQ(0u, peer.UserAgent().find("WebSocket++/")) << peer.UserAgent();
}

TEST(WsConnectionTest, ThroughAnHttpProxy)
{
    TrustedServer server;
    WsPeer peer(server.Peer(WsPeer::Mode::Echo));
    TinyproxyPeer proxy;
    const auto connection = Connect(peer.Uri(), proxy.Uri());
    ConnectionRecorder recorder;
    LoopRunner<WsConnection> runner(connection, recorder.Received());
    RoundTrip(*connection, recorder, "through the proxy");
    EXPECT_NE(std::string::npos, proxy.Log().find("CONNECT 127.0.0.1:" + std::to_string(peer.Port()))) << proxy.Log();
}

TEST(WsConnectionTest, OpeningWait)
{
    // A peer that accepts but never speaks TLS: the connection never opens.
    SocketPeer mute;
    const std::string uri = "wss://127.0.0.1:" + std::to_string(mute.Port()) + "/";
    try {
        Connect(uri, "", 300);
        ADD_FAILURE() << "opened";
    } catch (const Exception& e) {
        EXPECT_EQ(22, e.GetErrorNo());
        EXPECT_EQ(0u, std::string(e.what()).find("接続に失敗しました。リモートホスト=127.0.0.1:" +
                                                  std::to_string(mute.Port()) + " "))
            << e.what();
    }

    // With no wait, Start returns at once; the connection is usable once it has opened.
    TrustedServer server;
    WsPeer peer(server.Peer(WsPeer::Mode::Echo));
    mute.Accept();
    const auto pending = Connect(uri, "", 0);
    try {
        pending->StartReceiveTimer(100, [] {});
        ADD_FAILURE() << "timer armed before open";
    } catch (const Exception& e) {
        EXPECT_EQ(2, e.GetErrorNo());
    }
    try {
        pending->Send(MakeBuffer("early"), 100, 32768, NoCompletion);
        ADD_FAILURE() << "sent before open";
    } catch (const Exception& e) {
        EXPECT_EQ(24, e.GetErrorNo());
        EXPECT_EQ("送信処理に失敗しました。リモートホスト=127.0.0.1:" + std::to_string(mute.Port()) +
                      " コネクションは接続状態ではありません。",
                  std::string(e.what()));
    }
    // Closing a connection that is still opening does not wait for the library's own limits.
    pending->Close();

    const auto connection = Connect(peer.Uri(), "", 0);
    ASSERT_TRUE(WaitFor([&] {
        try {
            connection->Send(MakeBuffer("late"), 100, 32768, NoCompletion);
            return true;
        } catch (const Exception&) {
            return false;
        }
    }));
    ASSERT_TRUE(WaitFor([&] { return peer.Received() == "late"; }));
}

TEST(WsConnectionTest, WhatArrivesBeforeRunIsDeliveredWhenItStarts)
{
    WsRig rig;
    rig.PeerSends("early");
    // The closing handshake completes only after the client has read what came before it.
    rig.PeerCloses();
    ConnectionRecorder recorder;
    LoopRunner<WsConnection> runner(rig.connection, recorder.Received());
    ASSERT_TRUE(WaitFor([&] { return recorder.Data() == "early" && recorder.Errors().size() == 1; }));
    EXPECT_EQ(boost::system::error_code(boost::asio::error::connection_reset), recorder.Errors().front());
    EXPECT_EQ(2u, recorder.Deliveries().size());
}

TEST(WsConnectionTest, EverythingRunsOnTheWebSocketThreadWhileRunWaits)
{
    // A second thread in the event loop would drive the TLS stream outside websocketpp's
    // strand at the same time as the first: what arrived before Run, later messages, the
    // end and the timer functions all run on the WebSocket thread, never on Run's.
    WsRig rig(16u);
    std::mutex mutex;
    std::set<std::thread::id> threads;
    bool allOnLoopThread = true;
    auto note = [&] {
        const bool onLoopThread = rig.connection->IsEventLoopThread();
        std::lock_guard<std::mutex> lock(mutex);
        threads.insert(std::this_thread::get_id());
        allOnLoopThread = allOnLoopThread && onLoopThread;
    };
    ConnectionRecorder recorder;
    recorder.SetHook([&](const Delivery&) { note(); });
    // More than the receive buffer holds, so that its growth shows the arrival.
    const std::string early(100, 'e');
    rig.PeerSends(early);
    ASSERT_TRUE(WaitFor([&] { return rig.connection->IsReceiveBufferExtended(); }));
    LoopRunner<WsConnection> runner(rig.connection, recorder.Received());
    ASSERT_TRUE(WaitFor([&] { return recorder.Data() == early; }));
    rig.PeerSends("late");
    ASSERT_TRUE(WaitFor([&] { return recorder.Data() == early + "late"; }));
    rig.PeerCloses();
    ASSERT_TRUE(WaitFor([&] { return recorder.Errors().size() == 1; }));
    // A timer expiry ends the loop, and with it Run.
    rig.connection->StartEtcTimer(10, note);
    ASSERT_TRUE(runner.WaitUntilFinished());
    EXPECT_EQ(0, runner.ErrorNo()) << runner.Error();

    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(1u, threads.size());
    EXPECT_TRUE(allOnLoopThread);
    EXPECT_EQ(0u, threads.count(runner.ThreadId()));
    EXPECT_EQ(0u, threads.count(std::this_thread::get_id()));
    EXPECT_EQ(3u, recorder.Deliveries().size());
}

TEST(WsConnectionTest, BridgeRelaysToATcpBackend)
{
    SocketPeer backend;
    TrustedServer server;
    WsPeer::Options options = server.Peer(WsPeer::Mode::Bridge);
    options.backendPort = backend.Port();
    WsPeer peer(options);
    const auto connection = Connect(peer.Uri());
    ConnectionRecorder recorder;
    LoopRunner<WsConnection> runner(connection, recorder.Received());
    const auto side = backend.Accept();

    const std::string request = "POST /request HTTP/1.0\r\nContent-Length: 0\r\n\r\n";
    connection->Send(MakeBuffer(request), 1000, 32768, NoCompletion);
    EXPECT_EQ(request, side->Receive(request.size()));
    const std::string reply = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";
    side->Send(reply.substr(0, 10));
    ASSERT_TRUE(WaitFor([&] { return recorder.Data() == reply.substr(0, 10); }));
    side->Send(reply.substr(10));
    ASSERT_TRUE(WaitFor([&] { return recorder.Data() == reply; }));

    // The backend ending its side ends the WebSocket connection.
    side->Close();
    ASSERT_TRUE(WaitFor([&] { return recorder.Errors().size() == 1; }));
    EXPECT_EQ(boost::system::error_code(boost::asio::error::connection_reset), recorder.Errors().front());
}

TEST(WsConnectionTest, ClosedOrReleasedOnItsOwnThread)
{
    // Without Run only the WebSocket thread runs the loop, so the timer function runs on
    // it: closing there, or dropping the last reference there, must not wait for itself.
    struct Case {
        const char* name;
        bool release;
    };
    const Case cases[] = {{"Close", false}, {"last reference dropped", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WsRig rig;
        std::atomic<bool> done(false);
        boost::shared_ptr<WsConnection> held = rig.connection;
        rig.connection.reset();
        held->StartEtcTimer(10, [&] {
            if (c.release) {
                held.reset();
            } else {
                held->Close();
            }
            done = true;
        });
        ASSERT_TRUE(WaitFor([&] { return done.load(); }));
        held.reset();
    }
}

TEST(WsConnectionTest, ConcurrentSendsAreAllDelivered)
{
    TrustedServer server;
    WsPeer peer(server.Peer(WsPeer::Mode::Silent));
    const auto connection = Connect(peer.Uri());
    const int perThread = 50;
    std::vector<std::thread> senders;
    for (char name : std::string("abcd")) {
        senders.emplace_back([&, name] {
            for (int i = 0; i < perThread; ++i) {
                connection->Send(MakeBuffer(std::string(100, name)), 1000, 32768, NoCompletion);
            }
        });
    }
    for (std::thread& sender : senders) {
        sender.join();
    }
    std::string received;
    ASSERT_TRUE(WaitFor([&] {
        received = peer.Received();
        return received.size() >= 4u * perThread * 100;
    }));
    EXPECT_EQ(4u * perThread * 100, received.size());
    for (char name : std::string("abcd")) {
        EXPECT_EQ(perThread * 100, std::count(received.begin(), received.end(), name));
    }
}

TEST(WsConnectionTest, SendAfterThePeerEndedIsError24)
{
    WsRig rig;
    ConnectionRecorder recorder;
    LoopRunner<WsConnection> runner(rig.connection, recorder.Received());
    rig.PeerCloses();
    ASSERT_TRUE(WaitFor([&] { return recorder.Errors().size() == 1; }));
    try {
        rig.connection->Send(MakeBuffer("late"), 1000, 32768, NoCompletion);
        ADD_FAILURE() << "a send to an ended connection reported success";
    } catch (const Exception& e) {
        EXPECT_EQ(24, e.GetErrorNo());
        EXPECT_EQ(0u, std::string(e.what()).find("送信処理に失敗しました。リモートホスト=127.0.0.1:")) << e.what();
    }
}

TEST(WsConnectionTest, CloseEndsAgainstAServerThatKeepsTheSocketOpen)
{
    // The server answers the close frame, or ignores it, and then reads nothing more: it
    // neither ends TCP nor answers the TLS shutdown. Close no longer waits than its grace,
    // and the client drops the socket itself.
    struct Case {
        const char* name;
        WsPeer::CloseHold how;
    };
    const Case cases[] = {{"close answered", WsPeer::CloseHold::Echo}, {"close ignored", WsPeer::CloseHold::Ignore}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WsRig rig;
        rig.peer.HoldCloses(c.how);
        ConnectionRecorder recorder;
        LoopRunner<WsConnection> runner(rig.connection, recorder.Received());
        rig.PeerSends("open");
        ASSERT_TRUE(WaitFor([&] { return recorder.Data() == "open"; }));
        const boost::shared_ptr<WsConnection> connection = rig.connection;
        if (!Orvane::Test::FinishesWithin([connection] { connection->Close(); })) {
            // The server's drop lets the hung Close go.
            rig.peer.Abort();
            ADD_FAILURE() << "Close waits for the server";
            continue;
        }
        EXPECT_TRUE(rig.peer.Holding().closeHeld);
        EXPECT_TRUE(WaitFor([&] { return !rig.peer.Holding().tcpOpen; }));
        ASSERT_TRUE(runner.WaitUntilFinished());
        EXPECT_EQ(0, runner.ErrorNo()) << runner.Error();
        EXPECT_TRUE(recorder.Errors().empty());
    }
}

} // namespace
