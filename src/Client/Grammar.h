#pragma once

#include <string>

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include "Client/ResourceReference.h"
#include "Orvane/Grammar.h"

namespace Orvane {
namespace Client {

class NotificationHandler;
class RequestSender;
struct FailureReport;

// The client's proxy of a grammar: one that the server holds under an id, or a local one
// (empty id) whose calls carry no Target. Its listener is registered in the recognizer's
// notification handler under the grammar's id; the handler is shared, so it lives as long
// as any grammar of the recognizer.
class Grammar : public Orvane::Grammar, private boost::noncopyable {
public:
    static const char* const KindName;

    Grammar(const std::string& id, const boost::shared_ptr<RequestSender>& sender);

    // Set by the recognizer before the application has the grammar.
    void SetNotificationHandler(const boost::shared_ptr<NotificationHandler>& handler);

    void Release() override;
    void SetListener(GrammarListener* listener) override;
    void SetModels(Orvane::AcousticModel* acoustic, Orvane::LanguageModel* language) override;
    void Activate() override;
    void Deactivate() override;
    void SetAcousticParameter(int index, const char* value) override;
    void SetName(const char* name) override;
    void GetXmlResult() override;

    const ResourceReference& Reference() const { return reference_; }

private:
    virtual ~Grammar();

    // One remote operation: its start record, the call, and its failure report.
    void Remote(const char* startLog, const char* method, const FailureReport& failure,
                const boost::shared_ptr<Utility::Xml::Node>& arguments);

    ResourceReference reference_;
    boost::shared_ptr<NotificationHandler> handler_;
    // The listener that this grammar registered last (null: none).
    GrammarListener* listener_;
};

} // namespace Client
} // namespace Orvane
