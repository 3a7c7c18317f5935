#include "support/loopback/ProtocolXml.h"

#include <charconv>

namespace Orvane {
namespace Test {
namespace Loopback {

XmlElement ProtocolXml::Nbest(const std::vector<ResultSentence>& sentences)
{
    XmlElement nbest("Nbest");
    for (const ResultSentence& sentence : sentences) {
        XmlElement element("Sentence");
        element.Add(XmlElement("Score", Number(sentence.score)));
        for (const ResultWord& word : sentence.words) {
            element.Add(XmlElement("Word", {XmlElement("Label", word.label),
                                            XmlElement("StartPoint", Number(word.startPoint)),
                                            XmlElement("EndPoint", Number(word.endPoint)),
                                            XmlElement("Phoneme", word.phoneme),
                                            XmlElement("Score", Number(word.score))}));
        }
        nbest.Add(std::move(element));
    }
    return nbest;
}

XmlElement ProtocolXml::Match(const std::string& name, double score)
{
    return XmlElement("Match", {XmlElement("Name", name), XmlElement("Score", Number(score))});
}

XmlElement ProtocolXml::Exception(const std::string& type, const std::string& errorNumber, const std::string& message)
{
    return XmlElement("Exception",
                      {XmlElement("Type", type), XmlElement("Errno", errorNumber), XmlElement("Errmsg", message)});
}

XmlElement ProtocolXml::Notification(const std::string& kind, const std::optional<std::string>& grammarId,
                                     const std::optional<XmlElement>& arguments,
                                     const std::optional<std::string>& recognitionId)
{
    XmlElement notification("Notification");
    notification.Add(XmlElement("Kind", kind));
    if (recognitionId) {
        notification.Add(XmlElement("RecognitionID", *recognitionId));
    }
    if (grammarId) {
        notification.Add(XmlElement("Target", {XmlElement("Kind", "Grammar"), XmlElement("Id", *grammarId)}));
    }
    if (arguments) {
        notification.Add(*arguments);
    }
    return notification;
}

std::string ProtocolXml::Number(double value)
{
    char text[64];
    const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
