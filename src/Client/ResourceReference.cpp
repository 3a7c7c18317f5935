#include "Client/ResourceReference.h"

#include <exception>

#include "Client/RequestSender.h"
#include "Orvane/Exception.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {

ResourceReference::ResourceReference(const std::string& kind, const std::string& id,
                                     const boost::shared_ptr<RequestSender>& sender)
    : kind_(kind), id_(id), sender_(sender)
{
}

boost::shared_ptr<Utility::Xml::Node> ResourceReference::Call(
    const std::string& method, const boost::shared_ptr<Utility::Xml::Node>& arguments) const
{
    return sender_->Send(method, kind_, id_, arguments);
}

boost::shared_ptr<Utility::Xml::Node> ResourceReference::Call(
    const std::string& method, const boost::shared_ptr<Utility::Xml::Node>& arguments, const char* data,
    unsigned int size) const
{
    return sender_->Send(method, kind_, id_, arguments, reinterpret_cast<const unsigned char*>(data), size, true);
}

void ResourceReference::ReleaseRemote(const std::string& method) const
{
    try {
        Call(method, Utility::Xml::Node::CreateInstance("ArgumentList"));
    } catch (Orvane::Exception* error) {
        ORVANE_LOG(3, "リソースの解放に失敗しました。Type=%1%, Errno=%2%, Errmsg=%3%", error->GetType(),
                   error->GetErrorNo(), error->GetErrorMessage());
        error->Release();
    } catch (const std::exception& e) {
        ORVANE_LOG(3, "リソースの解放に失敗しました。原因=%1%", e.what());
    } catch (...) {
        ORVANE_LOG(3, "リソースの解放に失敗しました。");
    }
}

boost::shared_ptr<Utility::Xml::Node> ResourceReference::Target() const
{
    boost::shared_ptr<Utility::Xml::Node> target = Utility::Xml::Node::CreateInstance("Target");
    target->children.push_back(Utility::Xml::Node::CreateInstance("Kind", kind_.c_str()));
    target->children.push_back(Utility::Xml::Node::CreateInstance("Id", id_.c_str()));
    return target;
}

} // namespace Client
} // namespace Orvane
