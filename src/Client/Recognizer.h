#pragma once

#include <string>
#include <vector>

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include "Client/CompletionWait.h"
#include "Client/ResourceReference.h"
#include "Orvane/Recognizer.h"

namespace Orvane {
namespace Utility {
namespace Http {
class Controller;
} // namespace Http
} // namespace Utility

namespace Client {

class AcousticModel;
class CompletionLink;
class Exception;
class Grammar;
class LanguageModel;
class NotificationHandler;
class RequestSender;
struct FailureReport;

// The client side of one recognizer on the server. Each step of a recognition is a
// remote call through the session's request sender; speech goes out as audio posts; the
// recognizer's notification handler delivers the server's notifications to the listeners
// and reports the end of a recognition through the completion hook.
//
// States: 0 idle, 1 recognizing, 2 completing, 3 completed (only while the end of a
// completion waits for the waiters to leave); CompletionWait keeps them with their table.
// Its lock is recursive and held across the blocking calls of Recognize, PatternMatch,
// AsyncComplete, Complete and Abort; the completion wait and the ends of a completion
// release it while they sleep. Those calls are scoped for the notification handler
// before they take the lock: a listener's call waiting for it lets the reading go on.
class Recognizer : public Orvane::Recognizer, private boost::noncopyable {
public:
    enum State {
        Idle = CompletionWait::Idle,
        Recognizing = CompletionWait::Recognizing,
        Completing = CompletionWait::Completing,
        Completed = CompletionWait::Completed
    };

    // Creates and starts the notification handler and installs it as the request listener
    // of the controller's respondent; keeps no reference to the controller.
    Recognizer(const boost::shared_ptr<Utility::Http::Controller>& controller,
               const boost::shared_ptr<RequestSender>& sender, int encodingMode);

    void Release() override;
    void SetListener(RecognizerListener* listener) override;
    Orvane::AcousticModel* LoadAcousticModel(const char* file) override;
    Orvane::AcousticModel* LoadAcousticModel(const char* image, unsigned int size) override;
    Orvane::LanguageModel* LoadLanguageModel(const char* file) override;
    Orvane::LanguageModel* LoadLanguageModel(const char* image, unsigned int size) override;
    Orvane::Grammar* LoadGrammar(const char* file) override;
    Orvane::Grammar* LoadGrammar(const char* image, unsigned int size) override;
    Orvane::AcousticModel* AttachAcousticModel(const char* name) override;
    Orvane::LanguageModel* AttachLanguageModel(const char* name) override;
    Orvane::Grammar* AttachGrammar(const char* name) override;
    void SetParameter(const char* name, const char* value) override;
    const char* GetParameter(const char* name) override;
    void SetParameterFile(const char* file) override;
    void Recognize() override;
    void PushSpeech(const char* data, unsigned int size) override;
    void PushFeatureParameter(unsigned int, int, const float*, bool) override;
    void Complete(double seconds) override;
    void Complete() override;
    void Abort() override;
    void Resume() override;
    void AsyncComplete() override;
    void SetPatternMatchModel(Orvane::AcousticModel* model) override;
    void Prepare(const char* method, const char* file) override;
    void Prepare(const char* method, const char* data, unsigned int size) override;
    void PatternMatch() override;
    void Record() override;
    void GetWaveform() override;
    void GetAnalyzeParameter(const char*) override;
    void SetPortNo(unsigned short) override;
    void NotifyStartable() override;
    Orvane::Grammar* ShareGrammar(Orvane::Grammar* grammar) override;

    // The end of a completion, through the completion hook: null for a completion without
    // error. Acts only in the completing state; `error` stays its caller's.
    void ExecuteCompletedEvent(Exception* error);

    // The binary load and the load by name; both return the reply element.
    boost::shared_ptr<Utility::Xml::Node> LoadResource(const std::string& method, const char* data, unsigned int size);
    boost::shared_ptr<Utility::Xml::Node> LoadResource(const std::string& method, const char* name);
    // Reads a whole resource file; error 7000 for a file that cannot be opened or read, is
    // empty, or holds 4 GiB or more.
    static void ReadResourceFile(const char* file, std::vector<char>& data);

    // The proxy for the resource that a load's reply names (Value/Target/Id), or 4001.
    template <typename Proxy>
    Proxy* CreateResourceInstance(const boost::shared_ptr<Utility::Xml::Node>& reply);

    int GetState();
    // The handler that delivers this recognizer's notifications; it outlives the recognizer
    // while a reference is held.
    const boost::shared_ptr<NotificationHandler>& GetNotificationHandler() const { return handler_; }
    // Threads inside the completion wait.
    int GetWaiterCount();

private:
    virtual ~Recognizer();

    // One remote call of the common shape: start record, call, failure report.
    boost::shared_ptr<Utility::Xml::Node> Remote(const char* startLog, const char* method, const FailureReport& failure,
                                                 const boost::shared_ptr<Utility::Xml::Node>& arguments);
    // Recognize and PatternMatch: from state 0 only, to state 1 once the server has replied.
    void Begin(const char* detail, const char* startLog, const char* method, const FailureReport& failure);
    // The first state check of the completing operations: 2000 with `detail` in state 0 or 3.
    void RequireRunning(const char* detail);
    template <typename Proxy>
    Proxy* LoadFile(const char* file);
    template <typename Proxy>
    Proxy* LoadImage(const char* image, unsigned int size);
    template <typename Proxy>
    Proxy* Attach(const char* name);
    // A grammar gets the handler before the application sees it; models pass unchanged.
    Orvane::Grammar* Finish(Grammar* grammar);
    Orvane::AcousticModel* Finish(AcousticModel* model);
    Orvane::LanguageModel* Finish(LanguageModel* model);
    Grammar* CreateResourceDmyInstance();

    ResourceReference target_;
    boost::shared_ptr<NotificationHandler> handler_;
    std::string parameterValue_;
    CompletionWait completion_;
    const int encodingMode_;
    boost::shared_ptr<CompletionLink> link_;
};

} // namespace Client
} // namespace Orvane
