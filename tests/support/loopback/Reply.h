#pragma once

#include "support/loopback/Notice.h"
#include "support/loopback/XmlElement.h"

#include <string>
#include <vector>

namespace Orvane {
namespace Test {
namespace Loopback {

// How the server answers one request. Build one with a factory and refine it with the
// modifiers, e.g. Reply::Ok().Held().Then(Notice::Completed()).
struct Reply {
    enum class Kind {
        Default,     // the per-method success the server gives when nothing is scripted
        Success,     // Response: Success (text), Value (children)
        Failure,     // Response: Success "0", Value: Exception
        Status,      // a status line other than 200 and no body
        HeadersOnly, // "200 OK" with a header and no body parts
        Documents,   // "200 OK" with one body part per given document, as they stand
        Raw,         // the bytes as they stand (malformed HTTP, proxy answers)
        Close,       // no answer: the server closes the connection (FIN)
        Reset,       // no answer: the server resets the connection (RST)
        Silent,      // no answer at all
    };
    enum class Afterwards { Nothing, Close, Reset };

    Kind kind = Kind::Default;
    std::string successText = "1";
    std::vector<XmlElement> value;
    XmlElement exception;
    int status = 200;
    std::vector<std::string> documents;
    std::string raw;
    bool held = false;
    std::vector<Notice> before; // sent just before the answer
    std::vector<Notice> after;  // sent just after the answer
    Afterwards afterwards = Afterwards::Nothing;

    static Reply Default();
    static Reply Ok(std::vector<XmlElement> valueChildren = {});
    // A success reply whose Success element holds `text` ("+1", "-0", "true", ...).
    static Reply SuccessText(std::string text);
    static Reply Failure(const std::string& type, int errorNumber, const std::string& message);
    static Reply Failure(XmlElement exceptionElement);
    static Reply Status(int statusCode);
    static Reply HeadersOnly();
    static Reply Documents(std::vector<std::string> partDocuments);
    static Reply MalformedXml();
    static Reply Raw(std::string bytes);
    // A success answer followed by `notices` as separate requests, written at once without
    // waiting for their answers (a server that ends with a burst).
    static Reply Burst(const std::vector<Notice>& notices);
    static Reply Close();
    static Reply Reset();
    static Reply Silent();

    // Keeps the answer back until LoopbackServer::ReleaseHeld.
    Reply& Held();
    Reply& Before(Notice notice);
    Reply& Then(Notice notice);
    Reply& ThenClose();
    Reply& ThenReset();
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
