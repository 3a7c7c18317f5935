#include "support/loopback/Reply.h"

#include "support/loopback/HttpWriter.h"
#include "support/loopback/ProtocolXml.h"

#include <utility>

namespace Orvane {
namespace Test {
namespace Loopback {

namespace {

Reply OfKind(Reply::Kind kind)
{
    Reply reply;
    reply.kind = kind;
    return reply;
}

} // namespace

Reply Reply::Default()
{
    return OfKind(Kind::Default);
}

Reply Reply::Ok(std::vector<XmlElement> valueChildren)
{
    Reply reply = OfKind(Kind::Success);
    reply.value = std::move(valueChildren);
    return reply;
}

Reply Reply::SuccessText(std::string text)
{
    Reply reply = OfKind(Kind::Success);
    reply.successText = std::move(text);
    return reply;
}

Reply Reply::Failure(const std::string& type, int errorNumber, const std::string& message)
{
    return Failure(ProtocolXml::Exception(type, std::to_string(errorNumber), message));
}

Reply Reply::Failure(XmlElement exceptionElement)
{
    Reply reply = OfKind(Kind::Failure);
    reply.exception = std::move(exceptionElement);
    return reply;
}

Reply Reply::Status(int statusCode)
{
    Reply reply = OfKind(Kind::Status);
    reply.status = statusCode;
    return reply;
}

Reply Reply::HeadersOnly()
{
    return OfKind(Kind::HeadersOnly);
}

Reply Reply::Documents(std::vector<std::string> partDocuments)
{
    Reply reply = OfKind(Kind::Documents);
    reply.documents = std::move(partDocuments);
    return reply;
}

Reply Reply::MalformedXml()
{
    return Documents({"<Response>\n\t<Success>1</Success>\n\t<Value></Valeu>\n</Response>\n"});
}

Reply Reply::Raw(std::string bytes)
{
    Reply reply = OfKind(Kind::Raw);
    reply.raw = std::move(bytes);
    return reply;
}

Reply Reply::Burst(const std::vector<Notice>& notices)
{
    const XmlElement response("Response", std::vector<XmlElement>{XmlElement("Success", "1"), XmlElement("Value")});
    std::string bytes = HttpWriter::MultipartReply({HttpWriter::Part("form-data; name=\"response\"", response.Write())});
    for (const Notice& notice : notices) {
        std::vector<std::string> parts;
        for (const std::string& document : notice.parts) {
            parts.push_back(HttpWriter::Part(notice.disposition, document));
        }
        bytes += HttpWriter::MultipartRequest(notice.method, notice.target, parts);
    }
    return Raw(std::move(bytes));
}

Reply Reply::Close()
{
    return OfKind(Kind::Close);
}

Reply Reply::Reset()
{
    return OfKind(Kind::Reset);
}

Reply Reply::Silent()
{
    return OfKind(Kind::Silent);
}

Reply& Reply::Held()
{
    held = true;
    return *this;
}

Reply& Reply::Before(Notice notice)
{
    before.push_back(std::move(notice));
    return *this;
}

Reply& Reply::Then(Notice notice)
{
    after.push_back(std::move(notice));
    return *this;
}

Reply& Reply::ThenClose()
{
    afterwards = Afterwards::Close;
    return *this;
}

Reply& Reply::ThenReset()
{
    afterwards = Afterwards::Reset;
    return *this;
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
