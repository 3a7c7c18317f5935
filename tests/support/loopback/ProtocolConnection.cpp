#include "support/loopback/ProtocolConnection.h"

#include "support/loopback/Conformance.h"
#include "support/loopback/HttpWriter.h"

#include <utility>

namespace Orvane {
namespace Test {
namespace Loopback {

namespace {

const char* const kReplyDisposition = "form-data; name=\"response\"";

std::string ResponseDocument(const std::string& success, std::vector<XmlElement> value)
{
    return XmlElement("Response", {XmlElement("Success", success), XmlElement("Value", std::move(value))}).Write();
}

// "Recognizer::LoadGrammar_2" and "Recognizer::AttachGrammar" make a "Grammar"; likewise for
// the two model kinds. Empty for other methods.
std::string ResourceKind(const std::string& method)
{
    if (method.rfind("Recognizer::Load", 0) != 0 && method.rfind("Recognizer::Attach", 0) != 0) {
        return std::string();
    }
    for (const char* kind : {"AcousticModel", "LanguageModel", "Grammar"}) {
        if (method.find(kind) != std::string::npos) {
            return kind;
        }
    }
    return std::string();
}

} // namespace

ProtocolConnection::ProtocolConnection(std::size_t id, Script& script, Recording& recording, ConnectionOutput& output)
    : id_(id), script_(script), recording_(recording), output_(output)
{
}

ConnectionRecord& ProtocolConnection::Record()
{
    return recording_.connections.at(id_);
}

void ProtocolConnection::Feed(const char* data, std::size_t size)
{
    if (broken_) {
        return;
    }
    reader_.Append(data, size);
    try {
        while (std::optional<HttpMessage> message = reader_.Next()) {
            Handle(std::move(*message));
        }
    } catch (const HttpReadError& error) {
        broken_ = true;
        Record().errors.push_back(error.what());
        Close();
    }
}

std::size_t ProtocolConnection::Store(Received received)
{
    received.connection = id_;
    recording_.messages.push_back(std::move(received));
    return recording_.messages.size() - 1;
}

void ProtocolConnection::Handle(HttpMessage message)
{
    Received received;
    received.http = std::move(message);
    const HttpMessage& http = received.http;
    if (http.isResponse) {
        received.kind = MessageKind::Acknowledgement;
        received.problems = Conformance::CheckAcknowledgement(http, received.success);
        if (awaitingAnswer_) {
            received.notification = Record().notificationsSent - 1;
        } else {
            received.problems.push_back("answer without an unanswered notification");
        }
        awaitingAnswer_ = false;
        Store(std::move(received));
        Pump();
        return;
    }
    if (http.method == "CONNECT") {
        received.kind = MessageKind::Connect;
        received.problems = Conformance::CheckConnect(http);
        const std::size_t index = Store(std::move(received));
        Answer(index, script_.Take(Script::kConnect, false));
        return;
    }
    if (http.MediaType() == "audiodata") {
        received.kind = MessageKind::Audio;
        received.problems = Conformance::CheckAudio(http);
        Record().audio += http.body;
        const std::size_t index = Store(std::move(received));
        Answer(index, script_.Take(Script::kAudio, false));
        return;
    }
    if (http.method == "POST" && !http.boundary.empty()) {
        received.kind = MessageKind::Call;
        received.call = Conformance::DecodeCall(http, received.problems);
        const std::vector<std::string> problems = Conformance::CheckCall(http, received.call);
        received.problems.insert(received.problems.end(), problems.begin(), problems.end());
        const std::string method = received.call.method;
        const std::size_t index = Store(std::move(received));
        Answer(index, script_.Take(method, true));
        return;
    }
    received.kind = MessageKind::Other;
    received.problems.push_back("unexpected request '" + http.startLine + "'");
    Store(std::move(received));
}

void ProtocolConnection::Answer(std::size_t message, Reply reply)
{
    if (reply.held) {
        reply.held = false;
        held_.push_back(HeldReply{message, std::move(reply)});
        Record().held = held_.size();
        return;
    }
    for (Notice& notice : reply.before) {
        Notify(std::move(notice));
    }
    std::string bytes;
    switch (reply.kind) {
    case Reply::Kind::Default:
        bytes = DefaultAnswer(recording_.messages[message]);
        break;
    case Reply::Kind::Success:
        bytes = HttpWriter::MultipartReply(
            {HttpWriter::Part(kReplyDisposition, ResponseDocument(reply.successText, std::move(reply.value)))});
        break;
    case Reply::Kind::Failure:
        bytes = HttpWriter::MultipartReply(
            {HttpWriter::Part(kReplyDisposition, ResponseDocument("0", {std::move(reply.exception)}))});
        break;
    case Reply::Kind::Status:
        bytes = HttpWriter::StatusReply(reply.status);
        break;
    case Reply::Kind::HeadersOnly:
        bytes = "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n";
        break;
    case Reply::Kind::Documents: {
        std::vector<std::string> parts;
        for (const std::string& document : reply.documents) {
            parts.push_back(HttpWriter::Part(kReplyDisposition, document));
        }
        bytes = HttpWriter::MultipartReply(parts);
        break;
    }
    case Reply::Kind::Raw:
        bytes = reply.raw;
        break;
    case Reply::Kind::Close:
        Close();
        break;
    case Reply::Kind::Reset:
        Reset();
        break;
    case Reply::Kind::Silent:
        break;
    }
    if (!bytes.empty()) {
        recording_.messages[message].reply = bytes;
        recording_.messages[message].arrivedBeforeReply = recording_.messages.size();
        Write(bytes);
    }
    for (Notice& notice : reply.after) {
        Notify(std::move(notice));
    }
    if (reply.afterwards == Reply::Afterwards::Close) {
        Close();
    } else if (reply.afterwards == Reply::Afterwards::Reset) {
        Reset();
    }
}

std::string ProtocolConnection::DefaultAnswer(const Received& received)
{
    if (received.kind == MessageKind::Connect) {
        // A proxy's tunnel answer: a status line and no header lines.
        return "HTTP/1.0 200 Connection established\r\n\r\n";
    }
    if (received.kind != MessageKind::Call) {
        return std::string();
    }
    const RemoteCall& call = received.call;
    std::vector<XmlElement> value;
    const std::vector<std::string> strings = call.Arguments("String");
    const std::string kind = ResourceKind(call.method);
    if (!kind.empty()) {
        const std::string id = kind + std::to_string(++resourceCounts_[kind]);
        value.emplace_back("Target", std::vector<XmlElement>{XmlElement("Kind", kind), XmlElement("Id", id)});
    } else if (call.method == "Recognizer::SetParameter" && strings.size() == 2) {
        parameters_[strings[0]] = strings[1];
    } else if (call.method == "Recognizer::GetParameter" && !strings.empty()) {
        value.emplace_back("String", parameters_[strings[0]]);
    }
    return HttpWriter::MultipartReply({HttpWriter::Part(kReplyDisposition, ResponseDocument("1", std::move(value)))});
}

void ProtocolConnection::Write(const std::string& bytes)
{
    if (!ended_) {
        output_.Write(bytes);
    }
}

void ProtocolConnection::Notify(Notice notice)
{
    waiting_.push_back(std::move(notice));
    Pump();
}

void ProtocolConnection::Pump()
{
    if (!awaitingAnswer_ && !waiting_.empty() && !ended_) {
        Notice notice = std::move(waiting_.front());
        waiting_.pop_front();
        std::vector<std::string> parts;
        for (const std::string& document : notice.parts) {
            parts.push_back(HttpWriter::Part(notice.disposition, document));
        }
        Write(HttpWriter::MultipartRequest(notice.method, notice.target, parts));
        awaitingAnswer_ = true;
        ++Record().notificationsSent;
    }
    Record().notificationsWaiting = waiting_.size();
}

void ProtocolConnection::SendRaw(const std::string& bytes, bool expectsAnswer)
{
    Write(bytes);
    if (expectsAnswer) {
        awaitingAnswer_ = true;
        ++Record().notificationsSent;
    }
}

bool ProtocolConnection::ReleaseHeld(const std::optional<Reply>& replacement)
{
    if (held_.empty()) {
        return false;
    }
    HeldReply held = std::move(held_.front());
    held_.pop_front();
    Record().held = held_.size();
    Reply reply = replacement ? *replacement : std::move(held.reply);
    reply.held = false;
    Answer(held.message, std::move(reply));
    return true;
}

void ProtocolConnection::Close()
{
    if (!ended_) {
        ended_ = true;
        output_.Close();
    }
}

void ProtocolConnection::Reset()
{
    ended_ = true;
    output_.Reset();
}

void ProtocolConnection::PeerClosed(bool reset)
{
    ConnectionRecord& record = Record();
    record.peerClosed = record.peerClosed || !reset;
    record.peerReset = record.peerReset || reset;
}

void ProtocolConnection::Finished()
{
    ended_ = true;
    Record().open = false;
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
