#include "support/loopback/HttpReader.h"
#include "support/loopback/LoopbackServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <vector>

using namespace Orvane::Test::Loopback;
using Orvane::Test::UniqueFd;

namespace {

using std::chrono::milliseconds;

const std::string kBoundary = "---20240102030405678+0123456789";
const std::string kAgent = "TestAgent/1.0";

// Messages as the client writes them, spelled out byte by byte.
std::string Part(const std::string& disposition, const std::string& data)
{
    return "Content-Disposition: " + disposition + "\r\nContent-Length: " + std::to_string(data.size()) +
           "\r\n\r\n" + data;
}

std::string CallPart(const std::string& xml)
{
    return Part("from-data; name=\"call\"; id=1", xml);
}

std::string BinaryPart(const std::string& data)
{
    return Part("from-data; name=\"binary\"", data);
}

std::string Body(const std::vector<std::string>& parts)
{
    std::string body;
    for (const std::string& part : parts) {
        body += "--" + kBoundary + "\r\n" + part + "\r\n";
    }
    return body + "--" + kBoundary + "--\r\n";
}

std::string Post(const std::vector<std::string>& parts)
{
    const std::string body = Body(parts);
    return "POST / HTTP/1.0\r\nContent-Type: multipart/form-data; boundary=" + kBoundary + "\r\nUser-Agent: " +
           kAgent + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A Request element in the client's tab-indented form; `arguments` are whole lines at depth 2.
std::string RequestXml(const std::string& method, const std::string& arguments = "",
                       const std::string& targetKind = "", const std::string& targetId = "")
{
    std::string xml = "<Request>\n\t<Kind>" + method + "</Kind>\n";
    if (!targetKind.empty()) {
        xml += "\t<Target>\n\t\t<Kind>" + targetKind + "</Kind>\n\t\t<Id>" + targetId + "</Id>\n\t</Target>\n";
    }
    xml += arguments.empty() ? "\t<ArgumentList></ArgumentList>\n" : "\t<ArgumentList>\n" + arguments + "\t</ArgumentList>\n";
    return xml + "</Request>\n";
}

std::string Call(const std::string& method, const std::string& arguments = "")
{
    return Post({CallPart(RequestXml(method, arguments))});
}

std::string Audio(const std::string& bytes)
{
    return "POST / HTTP/1.0\r\nContent-Type: audiodata\r\nUser-Agent: " + kAgent +
           "\r\nContent-Length: " + std::to_string(bytes.size()) + "\r\n\r\n" + bytes;
}

std::string ReturnPart(const std::string& success)
{
    return Part("from-data; name=\"return\"; id=1", "<Response>\n\t<Success>" + success + "</Success>\n</Response>\n");
}

std::string Answer(const std::string& part)
{
    const std::string body = Body({part});
    return "HTTP/1.0 200 OK\r\nDate: Tue, 09 Dec 2014 08:15:03 GMT\r\nUser-Agent: " + kAgent +
           "\r\nContent-Type: multipart/form-data; boundary=" + kBoundary +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A client socket with bounded reads.
class RawClient {
public:
    explicit RawClient(std::uint16_t port) : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(socket_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        const int on = 1;
        ::setsockopt(socket_.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }

    bool Connected() const { return connected_; }

    void Send(const std::string& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t sent = ::send(socket_.Get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            ASSERT_GT(sent, 0) << "send failed, errno " << errno;
            done += static_cast<std::size_t>(sent);
        }
    }

    // The next complete message from the server; nothing when the stream ends or time runs out.
    std::optional<HttpMessage> Read(milliseconds timeout = milliseconds(10000))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (std::optional<HttpMessage> message = reader_.Next()) {
                return message;
            }
            if (Receive(deadline) <= 0) {
                return std::nullopt;
            }
        }
    }

    // How the stream ends after any further bytes: "eof", "reset" or "timeout".
    std::string ReadEnd(milliseconds timeout = milliseconds(10000))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const ssize_t received = Receive(deadline);
            if (received == 0) {
                return "eof";
            }
            if (received < 0) {
                return errno == ECONNRESET ? "reset" : "timeout";
            }
        }
    }

private:
    ssize_t Receive(std::chrono::steady_clock::time_point deadline)
    {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd fd{socket_.Get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        char chunk[4096];
        const ssize_t received = ::recv(socket_.Get(), chunk, sizeof chunk, 0);
        if (received > 0) {
            reader_.Append(chunk, static_cast<std::size_t>(received));
        }
        return received;
    }

    UniqueFd socket_;
    HttpReader reader_;
    bool connected_ = false;
};

XmlElement ResponseOf(const HttpMessage& reply)
{
    EXPECT_EQ(reply.parts.size(), 1u);
    return reply.parts.empty() ? XmlElement() : XmlElement::Parse(reply.parts[0].data);
}

class LoopbackServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.Start();
        client.emplace(server.Port());
        ASSERT_TRUE(client->Connected());
        ASSERT_TRUE(server.WaitForConnections(1));
    }

    HttpMessage Exchange(const std::string& request)
    {
        client->Send(request);
        std::optional<HttpMessage> reply = client->Read();
        EXPECT_TRUE(reply.has_value());
        return reply.value_or(HttpMessage());
    }

    LoopbackServer server;
    std::optional<RawClient> client;
};

TEST_F(LoopbackServerTest, RecordsRemoteCallsAndAnswersThemByDefault)
{
    struct Case {
        const char* name;
        std::string request;
        std::string method;
        std::string value; // the reply's Value element, compact
    };
    const std::string model = std::string("\0\x01\xff" "model", 8);
    const std::vector<Case> cases = {
        {"create", Call("CreateRecognizer", "\t\t<String>rec</String>\n"), "CreateRecognizer", "<Value></Value>"},
        {"load", Post({CallPart(RequestXml("Recognizer::LoadGrammar_2",
                                           "\t\t<BinaryDataOffset>1</BinaryDataOffset>\n\t\t<Size>8</Size>\n")),
                       BinaryPart(model)}),
         "Recognizer::LoadGrammar_2", "<Value><Target><Kind>Grammar</Kind><Id>Grammar1</Id></Target></Value>"},
        {"attach", Call("Recognizer::AttachAcousticModel", "\t\t<String>am</String>\n"),
         "Recognizer::AttachAcousticModel",
         "<Value><Target><Kind>AcousticModel</Kind><Id>AcousticModel1</Id></Target></Value>"},
        {"set", Call("Recognizer::SetParameter", "\t\t<String>RODI:x</String>\n\t\t<String>42</String>\n"),
         "Recognizer::SetParameter", "<Value></Value>"},
        {"get", Call("Recognizer::GetParameter", "\t\t<String>RODI:x</String>\n"), "Recognizer::GetParameter",
         "<Value><String>42</String></Value>"},
        {"grammar", Post({CallPart(RequestXml("Grammar::Activate", "", "Grammar", "Grammar1"))}), "Grammar::Activate",
         "<Value></Value>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HttpMessage reply = Exchange(c.request);
        EXPECT_EQ(reply.startLine, "HTTP/1.0 200 OK");
        const XmlElement response = ResponseOf(reply);
        EXPECT_EQ(response.name, "Response");
        EXPECT_EQ(response.ChildText("Success"), "1");
        ASSERT_NE(response.Child("Value"), nullptr);
        EXPECT_EQ(response.Child("Value")->WriteCompact(), c.value);
    }

    const Recording seen = server.Snapshot();
    ASSERT_EQ(seen.messages.size(), cases.size());
    EXPECT_EQ(seen.AllProblems(), "");
    const Received& create = seen.messages[0];
    EXPECT_EQ(create.call.method, "CreateRecognizer");
    EXPECT_FALSE(create.call.hasTarget);
    EXPECT_EQ(create.call.Arguments("String"), std::vector<std::string>{"rec"});
    EXPECT_EQ(create.http.Value("User-Agent"), kAgent);
    EXPECT_EQ(create.http.parts.at(0).Find("Content-Disposition")->value, "from-data; name=\"call\"; id=1");
    const Received& load = seen.messages[1];
    EXPECT_TRUE(load.call.hasBinary);
    EXPECT_EQ(load.call.binary, model);
    EXPECT_EQ(load.http.parts.at(1).Raw(), BinaryPart(model));
    const Received& activate = seen.messages[5];
    EXPECT_TRUE(activate.call.hasTarget);
    EXPECT_EQ(activate.call.targetKind, "Grammar");
    EXPECT_EQ(activate.call.targetId, "Grammar1");
    EXPECT_EQ(seen.Calls("Recognizer::SetParameter").size(), 1u);
    EXPECT_EQ(seen.messages[3].reply.substr(0, 17), "HTTP/1.0 200 OK\r\n");
}

TEST_F(LoopbackServerTest, FlagsWhereAClientMessageDiffersFromTheWireFormat)
{
    const std::string good = RequestXml("Recognizer::Recognize");
    struct Case {
        const char* name;
        std::string request;
        std::string problem; // a piece of the expected problem text
    };
    const std::vector<Case> cases = {
        {"form-data spelled correctly", Post({Part("form-data; name=\"call\"; id=1", good)}), "call part headers"},
        {"spaces for tabs", Post({CallPart("<Request>\n  <Kind>Recognizer::Recognize</Kind>\n  "
                                           "<ArgumentList></ArgumentList>\n</Request>\n")}),
         "call XML"},
        {"no ArgumentList", Post({CallPart("<Request>\n\t<Kind>Recognizer::Recognize</Kind>\n</Request>\n")}),
         "Request children"},
        {"binary method without binary part",
         Call("Recognizer::LoadGrammar_2", "\t\t<BinaryDataOffset>1</BinaryDataOffset>\n\t\t<Size>3</Size>\n"),
         "without a binary part"},
        {"size mismatch",
         Post({CallPart(RequestXml("Recognizer::LoadGrammar_2",
                                   "\t\t<BinaryDataOffset>1</BinaryDataOffset>\n\t\t<Size>4</Size>\n")),
               BinaryPart("abc")}),
         "Size does not give"},
        {"target without id", Post({CallPart(RequestXml("Grammar::Activate", "", "Grammar", ""))}), "empty Kind or Id"},
        {"header order",
         "POST / HTTP/1.0\r\nUser-Agent: a\r\nContent-Type: multipart/form-data; boundary=" + kBoundary +
             "\r\nContent-Length: " + std::to_string(Body({CallPart(good)}).size()) + "\r\n\r\n" +
             Body({CallPart(good)}),
         "header lines"},
        {"audio with a text type",
         "POST / HTTP/1.0\r\nContent-Type: text/plain\r\nUser-Agent: a\r\nContent-Length: 0\r\n\r\n",
         "unexpected request"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = server.Snapshot().messages.size();
        client->Send(c.request);
        ASSERT_TRUE(server.WaitUntil([&](const Recording& seen) { return seen.messages.size() > before; }));
        const Recording seen = server.Snapshot();
        EXPECT_NE(seen.messages.back().Problems().find(c.problem), std::string::npos) << seen.messages.back().Problems();
        if (seen.messages.back().kind == MessageKind::Call) {
            ASSERT_TRUE(client->Read().has_value()); // a faulty call still gets its answer
        }
    }
}

TEST_F(LoopbackServerTest, ScriptedRepliesReachTheWireAsScripted)
{
    struct Case {
        const char* name;
        Reply reply;
        std::string startLine;
        std::string document; // the one part's document; empty when there are no parts
    };
    const std::vector<Case> cases = {
        {"failure", Reply::Failure("Orvane::Server", 12, "認識できません"), "HTTP/1.0 200 OK",
         "<Response>\n\t<Success>0</Success>\n\t<Value>\n\t\t<Exception>\n\t\t\t<Type>Orvane::Server</Type>\n"
         "\t\t\t<Errno>12</Errno>\n\t\t\t<Errmsg>認識できません</Errmsg>\n\t\t</Exception>\n\t</Value>\n</Response>\n"},
        {"plus one", Reply::SuccessText("+1"), "HTTP/1.0 200 OK",
         "<Response>\n\t<Success>+1</Success>\n\t<Value></Value>\n</Response>\n"},
        {"forbidden", Reply::Status(403), "HTTP/1.0 403 Forbidden", ""},
        {"server fault", Reply::Status(500), "HTTP/1.0 500 Internal Server Error", ""},
        {"headers only", Reply::HeadersOnly(), "HTTP/1.0 200 OK", ""},
        {"documents", Reply::Documents({"<Response><Success>1</Success></Response>"}), "HTTP/1.0 200 OK",
         "<Response><Success>1</Success></Response>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.QueueReply("Recognizer::Recognize", c.reply);
        const HttpMessage reply = Exchange(Call("Recognizer::Recognize"));
        EXPECT_EQ(reply.startLine, c.startLine);
        if (c.document.empty()) {
            EXPECT_TRUE(reply.parts.empty());
            EXPECT_EQ(reply.Value("Content-Length"), "0");
        } else {
            ASSERT_EQ(reply.parts.size(), 1u);
            EXPECT_EQ(reply.parts[0].data, c.document);
        }
    }
    // Queued replies are used once, in order; a standing one applies to every call after them;
    // the exact method wins over the wildcard.
    server.SetReply(Script::kAnyCall, Reply::Status(500));
    server.SetReply("Recognizer::Abort", Reply::Status(403));
    server.QueueReply("Recognizer::Abort", Reply::Ok());
    EXPECT_EQ(Exchange(Call("Recognizer::Abort")).status, 200);
    EXPECT_EQ(Exchange(Call("Recognizer::Abort")).status, 403);
    EXPECT_EQ(Exchange(Call("Recognizer::Resume")).status, 500);
    server.SetReply("Recognizer::Resume", Reply::Raw("HTTP/1.0 200 OK\nbroken\n\n"));
    client->Send(Call("Recognizer::Resume"));
    std::optional<HttpMessage> broken;
    EXPECT_THROW(broken = client->Read(), HttpReadError);
}

TEST_F(LoopbackServerTest, HeldReplyGoesOutOnRelease)
{
    server.SetReply("Recognizer::Recognize", Reply::Ok().Held());
    client->Send(Call("Recognizer::Recognize"));
    ASSERT_TRUE(server.WaitForHeld(1));
    EXPECT_EQ(server.Snapshot().messages.at(0).reply, "");
    // Other traffic still flows while the reply is held.
    EXPECT_EQ(Exchange(Call("Recognizer::Resume")).status, 200);
    ASSERT_TRUE(server.ReleaseHeld());
    EXPECT_EQ(ResponseOf(client->Read().value()).ChildText("Success"), "1");
    EXPECT_FALSE(server.ReleaseHeld());

    client->Send(Call("Recognizer::Recognize"));
    ASSERT_TRUE(server.WaitForHeld(1));
    ASSERT_TRUE(server.ReleaseHeld(Reply::Status(500)));
    EXPECT_EQ(client->Read().value().status, 500);
    EXPECT_EQ(server.Snapshot().HeldReplies(), 0u);
}

TEST_F(LoopbackServerTest, NotificationsGoOutOneAtATimeAndAnswersAreChecked)
{
    server.Notify(Notice::StartPoint("g1", 0.25));
    server.Notify(Notice::Completed());
    const std::optional<HttpMessage> first = client->Read();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->startLine, "POST / HTTP/1.0");
    EXPECT_EQ(first->MediaType(), "multipart/form-data");
    ASSERT_EQ(first->parts.size(), 1u);
    EXPECT_EQ(first->parts[0].data, "<Notification>\n\t<Kind>GrammarListener::StartPoint</Kind>\n"
                                    "\t<Target>\n\t\t<Kind>Grammar</Kind>\n\t\t<Id>g1</Id>\n\t</Target>\n"
                                    "\t<ArgumentList>\n\t\t<Double>0.25</Double>\n\t</ArgumentList>\n"
                                    "</Notification>\n");
    ASSERT_TRUE(server.WaitUntil([](const Recording& seen) {
        return seen.connections[0].notificationsSent == 1 && seen.connections[0].notificationsWaiting == 1;
    }));

    ASSERT_EQ(ReturnPart("1").size(), 120u);
    client->Send(Answer(ReturnPart("1")));
    const std::optional<HttpMessage> second = client->Read();
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(XmlElement::Parse(second->parts.at(0).data).ChildText("Kind"), "RecognizerListener::Completed");
    client->Send(Answer(ReturnPart("0")));
    ASSERT_TRUE(server.WaitForAcknowledgements(2));

    // An answer that nobody asked for, and one written wrongly, are both recorded with problems.
    client->Send(Answer(Part("form-data; name=\"return\"; id=1", "<Response><Success>1</Success></Response>")));
    ASSERT_TRUE(server.WaitForAcknowledgements(3));
    const std::vector<Received> answers = server.Snapshot().Acknowledgements();
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0].Problems(), "");
    EXPECT_EQ(answers[0].success, "1");
    EXPECT_EQ(answers[0].notification, 0u);
    EXPECT_EQ(answers[1].Problems(), "");
    EXPECT_EQ(answers[1].success, "0");
    EXPECT_EQ(answers[1].notification, 1u);
    const std::string problems = answers[2].Problems();
    EXPECT_NE(problems.find("without an unanswered notification"), std::string::npos) << problems;
    EXPECT_NE(problems.find("return part headers"), std::string::npos) << problems;
    EXPECT_NE(problems.find("return XML"), std::string::npos) << problems;
}

TEST_F(LoopbackServerTest, ReplyCanCarryNotificationsAndTheClientsRefusalCountsAsAnswer)
{
    const std::vector<ResultSentence> nbest = {{0.5, {{"今日;きょう", "ky o u", 0, 1234567, 0.5}}}};
    server.SetReply("Recognizer::AsyncComplete",
                    Reply::Ok().Before(Notice::SentenceEnd()).Then(Notice::EndPoint("", 1.5, nbest)));
    client->Send(Call("Recognizer::AsyncComplete"));
    const HttpMessage before = client->Read().value();
    EXPECT_EQ(XmlElement::Parse(before.parts.at(0).data).ChildText("Kind"), "RecognizerListener::SentenceEnd");
    EXPECT_EQ(client->Read().value().status, 200); // the reply comes after the first notification
    // A 400 answer (as the client gives to a method it refuses) releases the next notification.
    client->Send("HTTP/1.0 400 Bad Request\r\nDate: Tue, 09 Dec 2014 08:15:03 GMT\r\nUser-Agent: " + kAgent +
                 "\r\nContent-Type: text/plain\r\nContent-Length: 0\r\n\r\n");
    const HttpMessage endPoint = client->Read().value();
    EXPECT_EQ(endPoint.parts.at(0).data,
              "<Notification>\n\t<Kind>GrammarListener::EndPoint</Kind>\n\t<RecognitionID>1</RecognitionID>\n"
              "\t<Target>\n\t\t<Kind>Grammar</Kind>\n\t\t<Id></Id>\n\t</Target>\n"
              "\t<ArgumentList>\n\t\t<Double>1.5</Double>\n\t\t<Nbest>\n\t\t\t<Sentence>\n"
              "\t\t\t\t<Score>0.5</Score>\n\t\t\t\t<Word>\n\t\t\t\t\t<Label>今日;きょう</Label>\n"
              "\t\t\t\t\t<StartPoint>0</StartPoint>\n\t\t\t\t\t<EndPoint>1234567</EndPoint>\n"
              "\t\t\t\t\t<Phoneme>ky o u</Phoneme>\n\t\t\t\t\t<Score>0.5</Score>\n\t\t\t\t</Word>\n"
              "\t\t\t</Sentence>\n\t\t</Nbest>\n\t</ArgumentList>\n</Notification>\n");
    ASSERT_TRUE(server.WaitForAcknowledgements(1));
    const Received refusal = server.Snapshot().Acknowledgements().at(0);
    EXPECT_EQ(refusal.http.status, 400);
    EXPECT_EQ(refusal.Problems(), "");

    // The other builders, as the client reads them.
    const XmlElement error = XmlElement::Parse(Notice::Error("Srv", 5, "落ちました").parts.at(0));
    EXPECT_EQ(error.Child("ArgumentList")->Child("Exception")->ChildText("Errno"), "5");
    EXPECT_EQ(error.Child("ArgumentList")->Child("Exception")->ChildText("Errmsg"), "落ちました");
    const XmlElement match = XmlElement::Parse(Notice::Match("pattern", 0.75).parts.at(0));
    EXPECT_EQ(match.Child("ArgumentList")->WriteCompact(),
              "<ArgumentList><Match><Name>pattern</Name><Score>0.75</Score></Match></ArgumentList>");
    const Notice two = Notice::Completed().And(ProtocolXml::Notification("RecognizerListener::SentenceEnd", {}, {}));
    EXPECT_EQ(two.parts.size(), 2u);
}

TEST_F(LoopbackServerTest, AudioPostsGetNoAnswerAndAccumulateInOrder)
{
    client->Send(Audio("abc") + Audio(std::string("\0de", 3)));
    // The first answer on the wire is the call's: audio posts got none.
    EXPECT_EQ(ResponseOf(Exchange(Call("Recognizer::AsyncComplete"))).ChildText("Success"), "1");
    const Recording seen = server.Snapshot();
    EXPECT_EQ(seen.Audio(), std::string("abc\0de", 6));
    ASSERT_EQ(seen.Of(MessageKind::Audio).size(), 2u);
    EXPECT_EQ(seen.AllProblems(), "");
    EXPECT_EQ(seen.Of(MessageKind::Audio)[0].reply, "");
}

TEST_F(LoopbackServerTest, SplitDeliveryGivesTheSameRecording)
{
    const std::string stream = Audio("pcm") +
                               Post({CallPart(RequestXml("Recognizer::Prepare_2",
                                                         "\t\t<String>m</String>\n\t\t<BinaryDataOffset>1"
                                                         "</BinaryDataOffset>\n\t\t<Size>2</Size>\n")),
                                     BinaryPart("xy")});
    // Every split point of the reader's input, then byte by byte through the socket.
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        HttpReader reader;
        std::vector<HttpMessage> messages;
        reader.Append(stream.data(), split);
        while (std::optional<HttpMessage> message = reader.Next()) {
            messages.push_back(*message);
        }
        reader.Append(stream.data() + split, stream.size() - split);
        while (std::optional<HttpMessage> message = reader.Next()) {
            messages.push_back(*message);
        }
        ASSERT_EQ(messages.size(), 2u) << "split at " << split;
        EXPECT_EQ(messages[0].body, "pcm");
        EXPECT_EQ(messages[1].parts.at(1).data, "xy");
        EXPECT_EQ(reader.Buffered(), 0u);
    }
    for (char byte : stream) {
        client->Send(std::string(1, byte));
    }
    ASSERT_TRUE(client->Read().has_value());
    const Recording seen = server.Snapshot();
    ASSERT_EQ(seen.messages.size(), 2u);
    EXPECT_EQ(seen.messages[0].http.body, "pcm");
    EXPECT_EQ(seen.messages[1].call.method, "Recognizer::Prepare_2");
    EXPECT_EQ(seen.messages[1].call.binary, "xy");
    EXPECT_EQ(seen.AllProblems(), "");
}

TEST_F(LoopbackServerTest, ConnectionEndsAsScripted)
{
    struct Case {
        const char* name;
        Reply reply;
        std::string end;
        bool answered;
    };
    const std::vector<Case> cases = {
        {"close", Reply::Close(), "eof", false},
        {"reset", Reply::Reset(), "reset", false},
        {"answer then close", Reply::Ok().ThenClose(), "eof", true},
        {"answer then reset", Reply::Ok().ThenReset(), "reset", true},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        {
            RawClient peer(server.Port());
            ASSERT_TRUE(server.WaitForConnections(i + 2));
            server.QueueReply("Recognizer::Recognize", c.reply);
            peer.Send(Call("Recognizer::Recognize"));
            if (c.answered) {
                ASSERT_TRUE(peer.Read().has_value());
            }
            EXPECT_EQ(peer.ReadEnd(), c.end);
        }
        ASSERT_TRUE(server.WaitUntil([&](const Recording& seen) { return !seen.connections[i + 1].open; }));
    }
    // On command: the newest open connection is the fixture's own again.
    server.Close();
    EXPECT_EQ(client->ReadEnd(), "eof");
    EXPECT_THROW(server.Notify(Notice::Completed()), std::runtime_error);
}

TEST_F(LoopbackServerTest, SilentServerSendsNothingWhileOthersAreServed)
{
    server.SetReply("Recognizer::Recognize", Reply::Silent());
    client->Send(Call("Recognizer::Recognize"));
    ASSERT_TRUE(server.WaitForCall("Recognizer::Recognize"));
    RawClient other(server.Port());
    ASSERT_TRUE(server.WaitForConnections(2));
    other.Send(Call("CreateRecognizer"));
    ASSERT_TRUE(other.Read().has_value());
    // The silent connection's next bytes are the notification, not a reply.
    server.Notify(Notice::Completed(), 0);
    const std::optional<HttpMessage> next = client->Read();
    ASSERT_TRUE(next.has_value());
    EXPECT_FALSE(next->isResponse);
    EXPECT_EQ(server.Snapshot().connections[1].notificationsSent, 0u);
}

TEST_F(LoopbackServerTest, ProxyTunnelIsAnsweredLikeAProxy)
{
    const std::string connect = "CONNECT 127.0.0.1:7000 HTTP/1.1\r\nHost: 127.0.0.1:7000\r\nUser-Agent: " + kAgent +
                                "\r\n\r\n";
    const HttpMessage tunnel = Exchange(connect);
    EXPECT_EQ(tunnel.raw, "HTTP/1.0 200 Connection established\r\n\r\n");
    // The tunnel carries the protocol on.
    EXPECT_EQ(Exchange(Call("CreateRecognizer")).status, 200);
    server.QueueReply(Script::kConnect, Reply::Status(403));
    EXPECT_EQ(Exchange(connect).status, 403);
    const Recording seen = server.Snapshot();
    ASSERT_EQ(seen.Of(MessageKind::Connect).size(), 2u);
    EXPECT_EQ(seen.Of(MessageKind::Connect)[0].http.target, "127.0.0.1:7000");
    EXPECT_EQ(seen.AllProblems(), "");
}

TEST_F(LoopbackServerTest, MalformedClientBytesEndTheConnection)
{
    client->Send("POST / HTTP/1.0\nContent-Length: 0\n\n");
    EXPECT_EQ(client->ReadEnd(), "eof");
    const Recording seen = server.Snapshot();
    ASSERT_EQ(seen.Errors().size(), 1u);
    EXPECT_NE(seen.Errors()[0].find("bare LF"), std::string::npos);
    EXPECT_TRUE(seen.messages.empty());
}

// Guards connection numbers drifting away from the recording after a restart.
TEST_F(LoopbackServerTest, RestartKeepsTheRecordingAndNumbersConnectionsOn)
{
    EXPECT_EQ(Exchange(Call("CreateRecognizer")).status, 200);
    server.Stop();
    EXPECT_NE(client->ReadEnd(), "timeout");
    server.Start();
    RawClient again(server.Port());
    ASSERT_TRUE(server.WaitForConnections(2));
    server.Notify(Notice::Completed());
    ASSERT_TRUE(again.Read().has_value());
    const Recording seen = server.Snapshot();
    EXPECT_FALSE(seen.connections[0].open);
    EXPECT_EQ(seen.connections[1].notificationsSent, 1u);
    EXPECT_EQ(seen.CallCount("CreateRecognizer"), 1u);
}

TEST(LoopbackXml, ReadsAndWritesTheElementOnlyDialect)
{
    const XmlElement tree = XmlElement::Parse(" <a>\n\t<b>  x y \n</b><c></c>\n</a>\n ");
    EXPECT_EQ(tree.Write(), "<a>\n\t<b>x y</b>\n\t<c></c>\n</a>\n");
    EXPECT_EQ(tree.WriteCompact(), "<a><b>x y</b><c></c></a>");
    for (const char* bad : {"", "<a>", "<a>x<b></b></a>", "<a><b></b>x</a>", "<a></b>", "<a x=\"1\"></a>",
                            "<a></a><b></b>", "<?xml version=\"1.0\"?><a></a>", "<a/>"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(XmlElement::Parse(bad), XmlError);
    }
}

} // namespace
