#pragma once

#include "support/loopback/ProtocolXml.h"
#include "support/loopback/XmlElement.h"

#include <string>
#include <vector>

namespace Orvane {
namespace Test {
namespace Loopback {

// A notification request that the server sends on a client's connection: one XML document
// per body part. The named builders make the notification kinds the client knows.
struct Notice {
    std::vector<std::string> parts;
    std::string method = "POST";
    std::string target = "/";
    std::string disposition = "form-data; name=\"notification\"";

    static Notice Of(const XmlElement& notification);
    static Notice Raw(std::string document);

    static Notice StartPoint(const std::string& grammarId, double time);
    static Notice EndPoint(const std::string& grammarId, double time, const std::vector<ResultSentence>& nbest,
                           const std::string& recognitionId = "1");
    static Notice TempPoint(const std::string& grammarId, double time, const std::vector<ResultSentence>& nbest,
                            const std::string& recognitionId = "1");
    static Notice SentenceEnd();
    static Notice Completed();
    static Notice Error(const std::string& type, int errorNumber, const std::string& message);
    static Notice Match(const std::string& name, double score);

    // Adds a further body part.
    Notice& And(const XmlElement& notification);
    Notice& WithMethod(std::string requestMethod);
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
