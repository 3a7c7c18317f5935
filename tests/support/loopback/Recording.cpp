#include "support/loopback/Recording.h"

namespace Orvane {
namespace Test {
namespace Loopback {

std::vector<std::string> RemoteCall::Arguments(const std::string& name) const
{
    std::vector<std::string> texts;
    for (const XmlElement* child : arguments.ChildrenNamed(name)) {
        texts.push_back(child->text);
    }
    return texts;
}

const char* ToString(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Call: return "call";
    case MessageKind::Audio: return "audio";
    case MessageKind::Connect: return "connect";
    case MessageKind::Acknowledgement: return "acknowledgement";
    case MessageKind::Other: return "other";
    }
    return "?";
}

std::string Received::Problems() const
{
    std::string text;
    for (const std::string& problem : problems) {
        text += problem + "\n";
    }
    return text;
}

namespace {

bool IsCallOf(const Received& message, const std::string& method)
{
    return message.kind == MessageKind::Call && (method.empty() || message.call.method == method);
}

} // namespace

std::vector<Received> Recording::Of(MessageKind kind) const
{
    std::vector<Received> found;
    for (const Received& message : messages) {
        if (message.kind == kind) {
            found.push_back(message);
        }
    }
    return found;
}

std::vector<Received> Recording::Calls(const std::string& method) const
{
    std::vector<Received> found;
    for (const Received& message : messages) {
        if (IsCallOf(message, method)) {
            found.push_back(message);
        }
    }
    return found;
}

std::size_t Recording::Count(MessageKind kind) const
{
    std::size_t count = 0;
    for (const Received& message : messages) {
        count += message.kind == kind ? 1 : 0;
    }
    return count;
}

std::size_t Recording::CallCount(const std::string& method) const
{
    std::size_t count = 0;
    for (const Received& message : messages) {
        count += IsCallOf(message, method) ? 1 : 0;
    }
    return count;
}

std::string Recording::Audio() const
{
    std::string audio;
    for (const ConnectionRecord& connection : connections) {
        audio += connection.audio;
    }
    return audio;
}

std::size_t Recording::HeldReplies() const
{
    std::size_t held = 0;
    for (const ConnectionRecord& connection : connections) {
        held += connection.held;
    }
    return held;
}

std::vector<std::string> Recording::Errors() const
{
    std::vector<std::string> errors = serverErrors;
    for (const ConnectionRecord& connection : connections) {
        errors.insert(errors.end(), connection.errors.begin(), connection.errors.end());
    }
    return errors;
}

std::string Recording::AllProblems() const
{
    std::string text;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        for (const std::string& problem : messages[i].problems) {
            text += "message " + std::to_string(i) + " (" + ToString(messages[i].kind) + "): " + problem + "\n";
        }
    }
    return text;
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
