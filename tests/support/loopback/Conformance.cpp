#include "support/loopback/Conformance.h"

#include <cctype>
#include <cstring>

namespace Orvane {
namespace Test {
namespace Loopback {

namespace {

bool Digits(const std::string& text, std::size_t pos, std::size_t count)
{
    if (pos + count > text.size()) {
        return false;
    }
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

void ExpectEqual(const std::string& what, const std::string& actual, const std::string& expected,
                 std::vector<std::string>& problems)
{
    if (actual != expected) {
        problems.push_back(what + " is '" + actual + "', expected '" + expected + "'");
    }
}

void ExpectHeaderNames(const HttpMessage& message, const std::vector<std::string>& names,
                       std::vector<std::string>& problems)
{
    std::string actual;
    std::string expected;
    for (const HttpHeader& header : message.headers) {
        actual += (actual.empty() ? "" : ", ") + header.name;
    }
    for (const std::string& name : names) {
        expected += (expected.empty() ? "" : ", ") + name;
    }
    ExpectEqual("header lines", actual, expected, problems);
}

void ExpectMultipartOfClient(const HttpMessage& message, std::vector<std::string>& problems)
{
    ExpectEqual("Content-Type", message.Value("Content-Type"), "multipart/form-data; boundary=" + message.boundary,
                problems);
    if (!Conformance::IsClientBoundary(message.boundary)) {
        problems.push_back("boundary '" + message.boundary + "' is not ---YYYYMMDDHHMMSSmmm+dddddddddd");
    }
}

void ExpectPartHeaders(const HttpPart& part, const std::string& disposition, const std::string& name,
                       std::vector<std::string>& problems)
{
    ExpectEqual(name + " part headers", part.headerBlock,
                "Content-Disposition: " + disposition + "\r\nContent-Length: " + std::to_string(part.data.size()) +
                    "\r\n",
                problems);
}

bool EndsWith(const std::string& text, const char* suffix)
{
    const std::size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

} // namespace

RemoteCall Conformance::DecodeCall(const HttpMessage& message, std::vector<std::string>& problems)
{
    RemoteCall call;
    if (message.parts.empty()) {
        problems.push_back("remote call without body parts");
        return call;
    }
    try {
        call.request = XmlElement::Parse(message.parts[0].data);
    } catch (const XmlError& error) {
        problems.push_back(std::string("call part is not XML: ") + error.what());
        return call;
    }
    if (call.request.name != "Request") {
        problems.push_back("call part root is '" + call.request.name + "', expected 'Request'");
    }
    call.method = call.request.ChildText("Kind");
    if (const XmlElement* target = call.request.Child("Target")) {
        call.hasTarget = true;
        call.targetKind = target->ChildText("Kind");
        call.targetId = target->ChildText("Id");
    }
    if (const XmlElement* arguments = call.request.Child("ArgumentList")) {
        call.arguments = *arguments;
    }
    if (message.parts.size() > 1) {
        call.hasBinary = true;
        call.binary = message.parts[1].data;
    }
    return call;
}

std::vector<std::string> Conformance::CheckCall(const HttpMessage& message, const RemoteCall& call)
{
    std::vector<std::string> problems;
    ExpectEqual("request line", message.startLine, "POST / HTTP/1.0", problems);
    ExpectHeaderNames(message, {"Content-Type", "User-Agent", "Content-Length"}, problems);
    ExpectMultipartOfClient(message, problems);
    if (message.parts.empty() || message.parts.size() > 2) {
        problems.push_back("remote call with " + std::to_string(message.parts.size()) + " parts");
        return problems;
    }
    ExpectPartHeaders(message.parts[0], "from-data; name=\"call\"; id=1", "call", problems);

    const XmlElement& request = call.request;
    std::string layout;
    for (const XmlElement& child : request.children) {
        layout += child.name + " ";
    }
    const std::string expectedLayout = call.hasTarget ? "Kind Target ArgumentList " : "Kind ArgumentList ";
    ExpectEqual("Request children", layout, expectedLayout, problems);
    if (call.method.empty()) {
        problems.push_back("Request without a method in Kind");
    }
    if (call.hasTarget) {
        std::string targetLayout;
        for (const XmlElement& child : request.Child("Target")->children) {
            targetLayout += child.name + " ";
        }
        ExpectEqual("Target children", targetLayout, "Kind Id ", problems);
        if (call.targetKind.empty() || call.targetId.empty()) {
            problems.push_back("Target with an empty Kind or Id");
        }
    }
    if (!request.name.empty()) {
        ExpectEqual("call XML", message.parts[0].data, request.Write(), problems);
    }

    const bool binaryMethod = EndsWith(call.method, "_2");
    if (call.hasBinary) {
        ExpectPartHeaders(message.parts[1], "from-data; name=\"binary\"", "binary", problems);
        if (!binaryMethod) {
            problems.push_back("binary part with method '" + call.method + "'");
        }
        const std::vector<std::string> offsets = call.Arguments("BinaryDataOffset");
        const std::vector<std::string> sizes = call.Arguments("Size");
        if (offsets.size() != 1 || offsets[0] != "1") {
            problems.push_back("BinaryDataOffset is not one element with the text 1");
        }
        if (sizes.size() != 1 || sizes[0] != std::to_string(call.binary.size())) {
            problems.push_back("Size does not give the binary part's " + std::to_string(call.binary.size()) +
                               " bytes");
        }
    } else if (binaryMethod) {
        problems.push_back("method '" + call.method + "' without a binary part");
    }
    return problems;
}

std::vector<std::string> Conformance::CheckAudio(const HttpMessage& message)
{
    std::vector<std::string> problems;
    ExpectEqual("request line", message.startLine, "POST / HTTP/1.0", problems);
    ExpectHeaderNames(message, {"Content-Type", "User-Agent", "Content-Length"}, problems);
    ExpectEqual("Content-Type", message.Value("Content-Type"), "audiodata", problems);
    return problems;
}

std::vector<std::string> Conformance::CheckConnect(const HttpMessage& message)
{
    std::vector<std::string> problems;
    ExpectEqual("request line", message.startLine, "CONNECT " + message.target + " HTTP/1.1", problems);
    ExpectHeaderNames(message, {"Host", "User-Agent"}, problems);
    ExpectEqual("Host", message.Value("Host"), message.target, problems);
    return problems;
}

std::vector<std::string> Conformance::CheckAcknowledgement(const HttpMessage& message, std::string& success)
{
    std::vector<std::string> problems;
    success.clear();
    const std::string expectedLine = "HTTP/1.0 " + std::to_string(message.status) + " " +
                                     (message.status == 200   ? "OK"
                                      : message.status == 400 ? "Bad Request"
                                                              : "Forbidden");
    if (message.status != 200 && message.status != 400 && message.status != 403) {
        problems.push_back("answer with status " + std::to_string(message.status));
    }
    ExpectEqual("status line", message.startLine, expectedLine, problems);
    ExpectHeaderNames(message, {"Date", "User-Agent", "Content-Type", "Content-Length"}, problems);
    if (!IsHttpDate(message.Value("Date"))) {
        problems.push_back("Date '" + message.Value("Date") + "' is not an RFC 1123 date in GMT");
    }
    if (message.status != 200) {
        ExpectEqual("Content-Type", message.Value("Content-Type"), "text/plain", problems);
        return problems;
    }
    ExpectMultipartOfClient(message, problems);
    if (message.parts.size() != 1) {
        problems.push_back("answer with " + std::to_string(message.parts.size()) + " parts, expected 1");
        return problems;
    }
    const HttpPart& part = message.parts[0];
    ExpectPartHeaders(part, "from-data; name=\"return\"; id=1", "return", problems);
    try {
        const XmlElement response = XmlElement::Parse(part.data);
        if (response.name != "Response" || response.children.size() != 1 || !response.Child("Success")) {
            problems.push_back("return part is not a Response holding only Success");
        }
        success = response.ChildText("Success");
        if (success != "1" && success != "0") {
            problems.push_back("Success is '" + success + "', expected 1 or 0");
        }
        ExpectEqual("return XML", part.data, response.Write(), problems);
    } catch (const XmlError& error) {
        problems.push_back(std::string("return part is not XML: ") + error.what());
    }
    return problems;
}

bool Conformance::IsClientBoundary(const std::string& boundary)
{
    return boundary.size() == 31 && boundary.compare(0, 3, "---") == 0 && Digits(boundary, 3, 17) &&
           boundary[20] == '+' && Digits(boundary, 21, 10);
}

bool Conformance::IsHttpDate(const std::string& date)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // "Www, DD Mon YYYY HH:MM:SS GMT"
    if (date.size() != 29) {
        return false;
    }
    bool day = false;
    for (const char* name : kDays) {
        day = day || date.compare(0, 3, name) == 0;
    }
    bool month = false;
    for (const char* name : kMonths) {
        month = month || date.compare(8, 3, name) == 0;
    }
    return day && month && date.compare(3, 2, ", ") == 0 && Digits(date, 5, 2) && date[7] == ' ' &&
           date[11] == ' ' && Digits(date, 12, 4) && date[16] == ' ' && Digits(date, 17, 2) && date[19] == ':' &&
           Digits(date, 20, 2) && date[22] == ':' && Digits(date, 23, 2) && date.compare(25, 4, " GMT") == 0;
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
