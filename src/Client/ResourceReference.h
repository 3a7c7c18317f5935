#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {

class RequestSender;

// A remote object as the client names it: its kind and id, and the request sender that
// carries its calls. The recognizer is one with an empty kind and id (its calls carry no
// Target); grammars and models are ones with the id that the server gave them.
class ResourceReference {
public:
    ResourceReference(const std::string& kind, const std::string& id, const boost::shared_ptr<RequestSender>& sender);

    const std::string& Kind() const { return kind_; }
    const std::string& Id() const { return id_; }
    const boost::shared_ptr<RequestSender>& Sender() const { return sender_; }

    // A remote call addressed to this object; waits for the reply.
    boost::shared_ptr<Utility::Xml::Node> Call(const std::string& method,
                                               const boost::shared_ptr<Utility::Xml::Node>& arguments) const;
    // The same with a binary part of `size` bytes.
    boost::shared_ptr<Utility::Xml::Node> Call(const std::string& method,
                                               const boost::shared_ptr<Utility::Xml::Node>& arguments,
                                               const char* data, unsigned int size) const;
    // The remote release: a failure is logged at level 3 and goes no further.
    void ReleaseRemote(const std::string& method) const;

    // The element Target with this object's kind and id.
    boost::shared_ptr<Utility::Xml::Node> Target() const;

private:
    std::string kind_;
    std::string id_;
    boost::shared_ptr<RequestSender> sender_;
};

} // namespace Client
} // namespace Orvane
