#include "support/loopback/Notice.h"

#include <utility>

namespace Orvane {
namespace Test {
namespace Loopback {

namespace {

XmlElement Arguments(std::vector<XmlElement> children)
{
    return XmlElement("ArgumentList", std::move(children));
}

Notice GrammarResult(const char* kind, const std::string& grammarId, double time,
                     const std::vector<ResultSentence>& nbest, const std::string& recognitionId)
{
    return Notice::Of(ProtocolXml::Notification(
        kind, grammarId, Arguments({XmlElement("Double", ProtocolXml::Number(time)), ProtocolXml::Nbest(nbest)}),
        recognitionId));
}

} // namespace

Notice Notice::Of(const XmlElement& notification)
{
    return Raw(notification.Write());
}

Notice Notice::Raw(std::string document)
{
    Notice notice;
    notice.parts.push_back(std::move(document));
    return notice;
}

Notice Notice::StartPoint(const std::string& grammarId, double time)
{
    return Of(ProtocolXml::Notification("GrammarListener::StartPoint", grammarId,
                                        Arguments({XmlElement("Double", ProtocolXml::Number(time))})));
}

Notice Notice::EndPoint(const std::string& grammarId, double time, const std::vector<ResultSentence>& nbest,
                        const std::string& recognitionId)
{
    return GrammarResult("GrammarListener::EndPoint", grammarId, time, nbest, recognitionId);
}

Notice Notice::TempPoint(const std::string& grammarId, double time, const std::vector<ResultSentence>& nbest,
                         const std::string& recognitionId)
{
    return GrammarResult("GrammarListener::TempPoint", grammarId, time, nbest, recognitionId);
}

Notice Notice::SentenceEnd()
{
    return Of(ProtocolXml::Notification("RecognizerListener::SentenceEnd", std::nullopt, std::nullopt));
}

Notice Notice::Completed()
{
    return Of(ProtocolXml::Notification("RecognizerListener::Completed", std::nullopt, std::nullopt));
}

Notice Notice::Error(const std::string& type, int errorNumber, const std::string& message)
{
    return Of(ProtocolXml::Notification(
        "RecognizerListener::Error", std::nullopt,
        Arguments({ProtocolXml::Exception(type, std::to_string(errorNumber), message)})));
}

Notice Notice::Match(const std::string& name, double score)
{
    return Of(ProtocolXml::Notification("RecognizerListener::Match", std::nullopt,
                                        Arguments({ProtocolXml::Match(name, score)})));
}

Notice& Notice::And(const XmlElement& notification)
{
    parts.push_back(notification.Write());
    return *this;
}

Notice& Notice::WithMethod(std::string requestMethod)
{
    method = std::move(requestMethod);
    return *this;
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
