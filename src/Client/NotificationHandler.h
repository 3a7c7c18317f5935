#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <boost/function.hpp>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/thread.hpp>

#include "Client/Exception.h"
#include "Client/Result/NbestReader.h"
#include "Orvane/GrammarListener.h"
#include "Orvane/RecognizerListener.h"
#include "Utility/Http/RequestInformation.h"
#include "Utility/Http/RequestListener.h"
#include "Utility/Http/Respondent.h"
#include "Utility/OwnedThread.h"
#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {

// Receives the server's notifications on the connection's receiving thread, queues them
// and acknowledges each request at once; its own thread then delivers them, one at a
// time and in order, to the grammar listeners (chosen by grammar id) and the recognizer
// listener, and reports the end of a recognition through the completion hook. The end of
// the connection takes its turn in the same queue: whatever was read before it is
// delivered first.
//
// Locks (see docs/threads.md): registry lock before listener lock; the queue lock and the
// hook lock are leaves. Grammar listeners are called under the registry lock, the
// recognizer listener under the listener lock, the hook under none.
class NotificationHandler : public Utility::Http::RequestListener, private boost::noncopyable {
public:
    // Called with null when a recognition completed, else with the error that ended it;
    // the error stays the handler's.
    typedef boost::function<void(Exception*)> CompletionHook;
    // Told to hold the reading (`hold` true) when the undelivered notifications reach
    // kMaxQueued or their bodies kMaxQueuedBytes, and to resume it once no more than half
    // of each is left; told to hold the receive and response-wait timers (`holdTimers`)
    // while anything received waits for delivery or is being delivered, except while a
    // remote call is in progress, whose wait nothing may stretch (the connection holds
    // the receive timer on its own while the reading is held). Called with no lock of the
    // handler held, on any thread that changed the state.
    typedef boost::function<void(bool hold, bool holdTimers)> BacklogFunction;
    // Something to do on the handler's thread in the queue's order.
    typedef boost::function<void()> Task;

    static const std::size_t kMaxQueued = 256;
    static const std::uint64_t kMaxQueuedBytes = 16 * 1024 * 1024;
    // The bounds while the handler's own thread is inside a call of the client, whose reply
    // sits behind notifications that only that thread delivers: the undelivered ones, and
    // the body bytes of those queued since the call began.
    static const std::size_t kMaxQueuedInCall = 32 * kMaxQueued;
    static const std::uint64_t kMaxBytesInCall = 8 * 1024 * 1024;

    // A call of the client in progress for the scope's life (null handler: nothing). On
    // the handler's own thread, inside a listener, reading goes on up to kMaxQueuedInCall
    // undelivered notifications. A `remote` call, on any thread, keeps the response-wait
    // timer running while reading is held, so that it ends within the response time.
    class CallScope : private boost::noncopyable {
    public:
        CallScope(const boost::shared_ptr<NotificationHandler>& handler, bool remote);
        ~CallScope();

    private:
        const boost::shared_ptr<NotificationHandler> handler_;
        const bool own_;
        const bool remote_;
    };

    // Builds the handler and starts its thread. When the last shared pointer goes, the
    // thread delivers what is still queued and ends; dropped on that thread itself (from
    // inside a listener call) it is not joined but frees the handler when it ends.
    static boost::shared_ptr<NotificationHandler> CreateInstance(const CompletionHook& hook, int encodingMode);

    // A notification request: every body part is parsed and its notifications queued,
    // then the request is answered with one "return" part, whose Success is "0" when a
    // part could not be read (the parts before it stay queued).
    void OnReceived(Utility::Http::Respondent& respondent, const Utility::Http::RequestInformation& request) override;
    // Transport failure: the hook receives error 5002 with the code's message (5006 for
    // a connection that ended in the middle of a message), after what came before it.
    void OnError(int kind, const boost::system::error_code& error) override;
    // End of the connection: the hook receives error 5006, after what came before it.
    void OnClosed() override;
    // Runs `task` on the handler's thread after the notifications queued before it; at
    // once on the calling thread when the handler is stopping.
    void Defer(const Task& task);

    void NotifyRequest(const Utility::Http::RequestInformation& request);
    void CreateResponseBody(std::ostream& out, bool success);

    // The function that stops and resumes the receiving while the queue is full (null:
    // none). Nothing is ever dropped: the queue only stops growing once the server is
    // slowed down.
    void SetBacklogFunction(const BacklogFunction& function);
    // True on the handler's own thread.
    bool IsOwnThread() const;

    // The recognizer listener (null: none); not owned.
    void SetListener(RecognizerListener* listener);
    // Adds, replaces or (null) removes the listener of a grammar id; the empty id serves
    // every grammar id without a listener of its own. Error 7000 by pointer on failure.
    void SetGrammarListener(std::string grammarId, GrammarListener* listener);
    // Removes the listener of a grammar id only while it is `listener`: a grammar that goes
    // leaves another grammar's listener under the same id in place.
    void RemoveGrammarListener(const std::string& grammarId, GrammarListener* listener);
    // Called with the registry lock held.
    GrammarListener* GetGrammarListener(const std::string& grammarId);
    // The text of the notification's Target/Id; Utility::Exception when it has none.
    const std::string& GetTargetId(const boost::shared_ptr<Utility::Xml::Node>& notification);

    // The thread body: delivers queued notifications until the queue is empty and the
    // handler is stopping.
    void Run();
    void NotifyStartPoint(const std::string& grammarId, const boost::shared_ptr<Utility::Xml::Node>& arguments);
    // `results` holds the results read with the document (null: read from `arguments`).
    void NotifyEndPoint(const std::string& grammarId, const std::string& recognitionId,
                        const boost::shared_ptr<Utility::Xml::Node>& arguments, Result::NbestReader* results);
    void NotifyTempPoint(const std::string& grammarId, const std::string& recognitionId,
                         const boost::shared_ptr<Utility::Xml::Node>& arguments, Result::NbestReader* results);
    void NotifySentenceEnd();
    void NotifyCompleted();
    void NotifyError(const boost::shared_ptr<Utility::Xml::Node>& arguments);
    void NotifyPatternMatch(const boost::shared_ptr<Utility::Xml::Node>& arguments);

private:
    // What the backlog function is to be told.
    struct Hold {
        bool reading;
        bool timers;
        bool operator==(const Hold& other) const { return reading == other.reading && timers == other.timers; }
        bool operator!=(const Hold& other) const { return !(*this == other); }
    };

    // A notification waiting to be delivered, with the results read from its document;
    // the last one of a document also holds that document's size (else 0). Or, without a
    // notification, a task.
    struct Queued {
        boost::shared_ptr<Utility::Xml::Node> notification;
        boost::shared_ptr<Result::NbestReader> results;
        std::size_t documentBytes;
        Task task;
    };

    // How an end point and a temporary point differ.
    struct ResultEvent {
        void (GrammarListener::*deliver)(double, const char*, Orvane::Result::Nbest*);
        const char* notice;
        const char* failure;
        const char* failureLog;
    };

    NotificationHandler(const CompletionHook& hook, int encodingMode);
    ~NotificationHandler() override;

    // The deleter of the handler's shared pointers.
    static void Dispose(NotificationHandler* handler);
    void ThreadMain();
    // One notification; nothing leaves it.
    void Deliver(const boost::shared_ptr<Utility::Xml::Node>& notification, Result::NbestReader* results);
    void Dispatch(const boost::shared_ptr<Utility::Xml::Node>& notification, Result::NbestReader* results);
    void NotifyResult(const ResultEvent& event, const std::string& grammarId, const std::string& recognitionId,
                      const boost::shared_ptr<Utility::Xml::Node>& arguments, Result::NbestReader* results);
    // Calls `deliver` with the grammar listener of `grammarId` under the registry lock;
    // nothing when the id has none.
    template <typename Call>
    void WithGrammarListener(const std::string& grammarId, const Call& deliver);
    // Hands `error` to the recognizer listener under the listener lock (released when
    // there is none, or when the listener left it to the default).
    void TellError(Exception* error);
    // Queues the hook's call with `error` (taken over) behind what was received.
    void DeferHook(Exception* error);
    // Prints and logs a failed delivery and gives the recognizer listener error 7000.
    void ReportFailure(const char* failure, const std::string& logText);
    void CallHook(Exception* error);
    // The hold that the queue and the calls in progress call for; under the queue lock.
    Hold WantedHold() const;
    // Tells the backlog function of a change, until it has heard the present state.
    void TellBacklog();
    // A call begins (`enter`) or ends: `own` on the handler's thread, `remote` a remote call.
    void CountCall(bool own, bool remote, bool enter);

    RecognizerListener* listener_;
    std::map<std::string, GrammarListener*> registry_;
    bool running_;
    boost::recursive_mutex queueLock_;
    boost::condition_variable_any queueCondition_;
    std::deque<Queued> queue_;
    // Body bytes of the documents whose notifications are not all delivered.
    std::uint64_t queuedBytes_;
    // The handler's thread is delivering one taken from the queue.
    bool delivering_;
    BacklogFunction backlog_;
    bool backlogged_;
    // Calls in progress on the handler's thread, and remote calls on any thread.
    std::size_t ownCalls_;
    std::size_t remoteCalls_;
    // Body bytes of the notifications queued since the handler's thread entered a call.
    std::uint64_t callBytes_;
    // The hold last handed to the backlog function.
    Hold told_;
    Utility::OwnedThread thread_;
    boost::recursive_mutex listenerLock_;
    boost::recursive_mutex registryLock_;
    boost::mutex hookLock_;
    CompletionHook hook_;
    const int encodingMode_;
    // Set on the handler thread when the last reference went there: it frees the handler.
    bool freeOnExit_;
};

} // namespace Client
} // namespace Orvane
