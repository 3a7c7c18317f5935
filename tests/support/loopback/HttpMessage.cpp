#include "support/loopback/HttpMessage.h"

#include <algorithm>
#include <cctype>

namespace Orvane {
namespace Test {
namespace Loopback {

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

const HttpHeader* FindHeader(const std::vector<HttpHeader>& headers, const std::string& name)
{
    const std::string wanted = Lower(name);
    for (const HttpHeader& header : headers) {
        if (Lower(header.name) == wanted) {
            return &header;
        }
    }
    return nullptr;
}

std::string HttpMessage::Value(const std::string& name) const
{
    const HttpHeader* header = Find(name);
    return header ? header->value : std::string();
}

std::string HttpMessage::MediaType() const
{
    std::string type = Value("Content-Type");
    type = type.substr(0, type.find(';'));
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) {
        type.pop_back();
    }
    return Lower(type);
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
