#pragma once

#include "support/loopback/XmlElement.h"

#include <optional>
#include <string>
#include <vector>

namespace Orvane {
namespace Test {
namespace Loopback {

struct ResultWord {
    std::string label;
    std::string phoneme;
    double startPoint = 0.0;
    double endPoint = 0.0;
    double score = 0.0;
};

struct ResultSentence {
    double score = 0.0;
    std::vector<ResultWord> words;
};

// Builders for the XML elements that the server sends: results, errors, notifications.
class ProtocolXml {
public:
    // Nbest > Sentence (Score, Word...) > Word (Label, StartPoint, EndPoint, Phoneme, Score).
    static XmlElement Nbest(const std::vector<ResultSentence>& sentences);
    static XmlElement Match(const std::string& name, double score);
    // Exception (Type, Errno, Errmsg); the number is text so that tests can send bad ones.
    static XmlElement Exception(const std::string& type, const std::string& errorNumber, const std::string& message);
    // Notification: Kind, RecognitionID when given, Target (Kind "Grammar", Id) when a grammar
    // id is given, ArgumentList when given.
    static XmlElement Notification(const std::string& kind, const std::optional<std::string>& grammarId,
                                   const std::optional<XmlElement>& arguments,
                                   const std::optional<std::string>& recognitionId = std::nullopt);
    // The shortest decimal text that reads back as the same double.
    static std::string Number(double value);
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
