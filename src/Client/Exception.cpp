#include "Client/Exception.h"

#include "Client/Error.h"
#include "Client/NumberText.h"
#include "Client/UnhandledError.h"
#include "Utility/FormatText.h"
#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {
namespace {
std::string Fill(const char* format, const char* detail)
{
    try {
        return Utility::detail::FormatText(format, detail);
    } catch (const std::exception&) {
        return format ? format : "";
    }
}

const std::string& ChildText(const Utility::Xml::Node& element, const char* name)
{
    boost::shared_ptr<Utility::Xml::Node> child = element.Child(name);
    if (!child) {
        throw Error::MissingElement(element.name, name);
    }
    return child->text;
}
} // namespace

Exception::Exception() : errorNo_(0) {}

Exception::Exception(const char* type, int errorNo, const char* message)
    : type_(type ? type : ""), errorNo_(errorNo), message_(message ? message : "")
{
}

Exception::Exception(const char* type, int errorNo, const char* format, const char* detail)
    : type_(type ? type : ""), errorNo_(errorNo), message_(Fill(format, detail))
{
}

Exception::Exception(const char* type, int errorNo, const char* format, const std::string& detail)
    : Exception(type, errorNo, format, detail.c_str())
{
}

Exception::Exception(const boost::shared_ptr<Utility::Xml::Node>& element) : errorNo_(0), fromServer_(true)
{
    type_ = ChildText(*element, "Type");
    errorNo_ = detail::ReadInt(ChildText(*element, "Errno"));
    message_ = ChildText(*element, "Errmsg");
}

Exception::~Exception() = default;

Exception* Exception::Copy() const
{
    Exception* copy = new Exception(type_.c_str(), errorNo_, message_.c_str());
    copy->fromServer_ = fromServer_;
    return copy;
}

Exception* Exception::CopyOf(Orvane::Exception& error)
{
    if (const Exception* client = dynamic_cast<const Exception*>(&error)) {
        return client->Copy();
    }
    return new Exception(error.GetType(), error.GetErrorNo(), error.GetErrorMessage());
}

void Exception::Release()
{
    UnhandledError::Forget(this);
    delete this;
}

const char* Exception::GetType() { return type_.c_str(); }

int Exception::GetErrorNo() { return errorNo_; }

const char* Exception::GetErrorMessage() { return message_.c_str(); }

const char* Exception::what() const noexcept { return message_.c_str(); }

} // namespace Client
} // namespace Orvane
