#pragma once

#include <string>

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include "Client/ResourceReference.h"
#include "Orvane/LanguageModel.h"

namespace Orvane {
namespace Client {

class RequestSender;

// The client's proxy of a 言語モデル that the server holds under an id; made by the
// recognizer, ended by Release, which also releases it on the server.
class LanguageModel : public Orvane::LanguageModel, private boost::noncopyable {
public:
    static const char* const KindName;

    LanguageModel(const std::string& id, const boost::shared_ptr<RequestSender>& sender);

    void Release() override;

    const ResourceReference& Reference() const { return reference_; }

private:
    virtual ~LanguageModel();

    ResourceReference reference_;
};

} // namespace Client
} // namespace Orvane
