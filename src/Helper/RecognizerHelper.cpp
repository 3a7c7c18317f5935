#include "Helper/RecognizerHelper.h"

#include <exception>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/bind/bind.hpp>
#include <boost/thread/locks.hpp>

#include "Client/NotificationHandler.h"
#include "Client/Recognizer.h"
#include "Helper/Error.h"
#include "Helper/Parameters.h"
#include "Helper/VoiceBuffer.h"

namespace Orvane {
namespace Helper {
namespace {
const char* const PrepareThreadFailed = "PrepareThreadの実行に失敗しました。";
const char* const SenderThreadFailed = "SenderThreadの実行に失敗しました。";

template <typename Object>
void ReleaseQuietly(Object* object)
{
    if (object == nullptr) {
        return;
    }
    try {
        object->Release();
    } catch (Orvane::Exception* error) {
        error->Release();
    } catch (...) {
    }
}

template <typename Object, typename Listener>
void ClearListener(Object* object, Listener* none)
{
    if (object == nullptr) {
        return;
    }
    try {
        object->SetListener(none);
    } catch (Orvane::Exception* error) {
        error->Release();
    } catch (...) {
    }
}

// Any failure as a helper error in `encoding`: the client's own errors are wrapped, an
// interruption passes on, anything else becomes 7000.
Orvane::Exception* CurrentError(int encoding, const char* otherwise)
{
    try {
        throw;
    } catch (Orvane::Exception* error) {
        return Error::Adopt(encoding, error);
    } catch (const boost::thread_interrupted&) {
        throw;
    } catch (const std::exception& e) {
        return Error::Internal(encoding, e.what());
    } catch (...) {
        return Error::Internal(encoding, otherwise);
    }
}
} // namespace

RecognizerHelper::RecognizerHelper(boost::shared_ptr<Parameters> parameters)
    : session_(nullptr), recognizer_(nullptr), grammar_(nullptr), listener_(nullptr), parameters_(parameters),
      sessionErrors_(*this), callsInProgress_(0), state_(Idle), encoding_(parameters->GetCharacterSetID()),
      characterSet_(parameters->GetCharacterSet()), senderStop_(false), prepared_(false)
{
    sessionTimers_["QUOR:SendTimer"] = parameters->Get("send_timer");
    sessionTimers_["QUOR:ReceiveTimer"] = parameters->Get("receive_timer");
    sessionTimers_["QUOR:ResponseTimer"] = parameters->Get("response_timer");
}

RecognizerHelper::~RecognizerHelper() = default;

void RecognizerHelper::Prepare()
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    if (state_ != Idle) {
        throw Error::InvalidState(encoding_, "音声認識の準備を行えません。");
    }
    state_ = Preparing;
    // Started under the lock, so a Destroy either refuses this call or finds the thread.
    try {
        preparingThread_.Start(boost::bind(&RecognizerHelper::PrepareThread, this));
    } catch (const std::exception&) {
        throw Error::Internal(encoding_, PrepareThreadFailed);
    }
}

void RecognizerHelper::Start(boost::shared_ptr<VoiceBuffer> buffer)
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    if (state_ != Preparing) {
        throw Error::InvalidState(encoding_, "音声認識を開始できません。");
    }
    state_ = Streaming;
    voiceBuffer_ = buffer;
    // Cleared before the thread exists: a Destroy right after this call is never missed.
    senderStop_ = false;
    try {
        senderThread_.Start(boost::bind(&RecognizerHelper::SenderThread, this));
    } catch (const std::exception&) {
        throw Error::Internal(encoding_, SenderThreadFailed);
    }
}

void RecognizerHelper::PrepareThread()
{
    try {
        Connect();
        boost::this_thread::interruption_point();
        Orvane::Recognizer* recognizer = nullptr;
        {
            boost::lock_guard<boost::mutex> lock(mutex_);
            recognizer = recognizer_;
        }
        if (recognizer == nullptr) {
            throw Error::InvalidState(encoding_, "認識開始リクエストを発行できません。");
        }
        Recognize(*recognizer);
        boost::this_thread::interruption_point();
        // Set before the report: an error that comes right after it is not ignored.
        prepared_ = true;
        ReportPrepared(nullptr);
    } catch (const boost::thread_interrupted&) {
        // Destroy ended the preparation: nobody waits for a report.
    } catch (...) {
        try {
            ReportPrepared(CurrentError(encoding_, PrepareThreadFailed));
        } catch (...) {
        }
    }
}

void RecognizerHelper::ReportPrepared(Orvane::Exception* error)
{
    RecognizerHelperListener* const listener = listener_;
    if (listener != nullptr) {
        listener->Prepared(error);
    } else if (error != nullptr) {
        error->Release();
    }
}

void RecognizerHelper::Connect()
{
    const Parameters& parameters = *parameters_;
    const std::string host = parameters.GetHost();
    const std::string port = parameters.Get("server_port");
    const std::string userAgent = parameters.GetUserAgent();
    const std::string proxyHost = parameters.GetProxyHost();
    const std::string proxyPort = parameters.Get("proxy_port");
    const std::string wsProxyUri = parameters.GetWsProxyUri();
    const std::string connectTimer = parameters.Get("connection_timeout");

    // Each object is stored as soon as it exists, so that Destroy releases it whatever
    // fails later.
    Orvane::Session* session = CreateSession2(characterSet_.c_str());
    if (session == nullptr) {
        throw Error::Internal(encoding_, PrepareThreadFailed);
    }
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        session_ = session;
    }
    session->SetListener(&sessionErrors_);

    std::map<std::string, std::string> timers = sessionTimers_;
    timers.insert(std::make_pair(std::string("QUOR:ConnectTimer"), connectTimer));
    for (const auto& timer : timers) {
        session->SetParameter(timer.first.c_str(), timer.second.c_str());
    }
    // A proxy is named only with a host: an empty one means none.
    const char* const proxy = proxyHost.empty() ? nullptr : proxyHost.c_str();
    const char* const proxyPortText = proxyHost.empty() ? nullptr : proxyPort.c_str();
    if (parameters.UseWebSocket()) {
        session->SetServerInformation(wsProxyUri.c_str(), userAgent.c_str(), proxy, proxyPortText);
    } else {
        session->InsertServerInformation(-1, host.c_str(), port.c_str(), userAgent.c_str(), proxy, proxyPortText);
    }

    Orvane::Recognizer* recognizer = session->Connect(nullptr);
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        recognizer_ = recognizer;
    }
    if (recognizer == nullptr) {
        throw Error::CannotConnect(encoding_, "");
    }
    recognizer->SetListener(this);
    Orvane::Grammar* grammar = recognizer->AttachGrammar("");
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        grammar_ = grammar;
    }
    if (grammar != nullptr) {
        grammar->SetListener(this);
    }
}

void RecognizerHelper::Recognize(Orvane::Recognizer& recognizer)
{
    const Parameters& parameters = *parameters_;
    const std::string codec = parameters.GetCodec();
    const std::string userId = parameters.GetUserId();
    const std::string& serverVad = parameters.Get("serverside_vad_mode");

    std::map<std::string, std::string> options;
    options["RODI:UserDefine"] = userId;
    if (!boost::algorithm::iequals(codec, "NONE_SPECIFY")) {
        options["RODI:SpeechFormat"] = codec;
    }
    if (boost::algorithm::iequals(serverVad, "true")) {
        options["RODI:VoiceDetectionON"] = serverVad;
        options["RODI:NoiseReductionON"] = parameters.Get("noise_reduction_mode");
        options["RODI:ContinuousSpeech"] = parameters.Get("continuous_mode");
        options["RODI:OstrelEnvMode"] = parameters.Get("ostrel_env_mode");
    }
    for (const auto& option : options) {
        // The recognizer refuses an empty value; the user set it as user_id.
        if (option.first == "RODI:UserDefine" && option.second.empty()) {
            throw Error::Internal(encoding_, "パラメータ値が指定されていません。(user_id)");
        }
        recognizer.SetParameter(option.first.c_str(), option.second.c_str());
    }
    recognizer.Recognize();
}

void RecognizerHelper::SenderThread()
{
    boost::shared_ptr<VoiceBuffer> buffer;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        buffer = voiceBuffer_;
    }
    try {
        Send(buffer);
    } catch (const boost::thread_interrupted&) {
        return;
    } catch (...) {
        RecognizerHelperListener* const listener = listener_;
        try {
            Orvane::Exception* error = CurrentError(encoding_, SenderThreadFailed);
            if (listener != nullptr) {
                listener->RecognitionError(error);
            } else {
                error->Release();
            }
        } catch (...) {
        }
        return;
    }
    RecognizerHelperListener* const listener = listener_;
    if (listener != nullptr) {
        listener->FinishPushSpeech();
    }
}

void RecognizerHelper::Send(boost::shared_ptr<VoiceBuffer> buffer)
{
    if (!buffer) {
        return;
    }
    // Destroy releases the recognizer only after this thread has ended.
    Orvane::Recognizer* recognizer = nullptr;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        recognizer = recognizer_;
    }
    const boost::shared_ptr<VoiceBuffer::BlockQueue> queue = buffer->GetQueue();
    boost::shared_ptr<DataBuffer> block;
    while (queue->Pop(block)) {
        if (senderStop_) {
            return;
        }
        if (recognizer != nullptr && block) {
            recognizer->PushSpeech(block->GetData(), block->GetSize());
        }
        block.reset();
    }
}

Orvane::Recognizer* RecognizerHelper::EnterCall()
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    if (recognizer_ != nullptr) {
        ++callsInProgress_;
    }
    return recognizer_;
}

void RecognizerHelper::LeaveCall()
{
    boost::lock_guard<boost::mutex> lock(mutex_);
    if (--callsInProgress_ == 0) {
        callsDone_.notify_all();
    }
}

bool RecognizerHelper::EndInput(bool abort)
{
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if (state_ != Streaming) {
            return false;
        }
        state_ = abort ? Idle : Completing;
    }
    Orvane::Recognizer* recognizer = EnterCall();
    if (recognizer == nullptr) {
        return true;
    }
    try {
        if (abort) {
            recognizer->Abort();
        } else {
            recognizer->AsyncComplete();
        }
    } catch (...) {
        LeaveCall();
        throw;
    }
    LeaveCall();
    return true;
}

void RecognizerHelper::AfterReceived(const boost::function<void()>& task)
{
    boost::shared_ptr<Client::NotificationHandler> handler;
    Orvane::Recognizer* const recognizer = EnterCall();
    if (recognizer != nullptr) {
        // The session made it: always the client's own recognizer.
        const Client::Recognizer* const client = dynamic_cast<const Client::Recognizer*>(recognizer);
        if (client != nullptr) {
            handler = client->GetNotificationHandler();
        }
        LeaveCall();
    }
    // Outside the call: a handler that is stopping runs the task here, and the task may end
    // in a teardown that waits for the calls in progress.
    if (handler) {
        handler->Defer(task);
    } else {
        task();
    }
}

void RecognizerHelper::Destroy()
{
    boost::this_thread::disable_interruption noInterruption;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        state_ = Destroyed;
        senderStop_ = true;
    }
    // A reply wait is an interruption point: a preparation held by the server ends now.
    preparingThread_.Join(true);

    Orvane::Session* session = nullptr;
    Orvane::Recognizer* recognizer = nullptr;
    Orvane::Grammar* grammar = nullptr;
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        std::swap(session, session_);
        std::swap(recognizer, recognizer_);
        std::swap(grammar, grammar_);
    }
    senderThread_.Join(true);
    {
        boost::unique_lock<boost::mutex> lock(mutex_);
        while (callsInProgress_ > 0) {
            callsDone_.wait(lock);
        }
    }
    ClearListener(session, static_cast<Orvane::SessionListener*>(nullptr));
    ClearListener(grammar, static_cast<Orvane::GrammarListener*>(nullptr));
    ClearListener(recognizer, static_cast<Orvane::RecognizerListener*>(nullptr));
    ReleaseQuietly(grammar);
    ReleaseQuietly(recognizer);
    ReleaseQuietly(session);
}

void RecognizerHelper::Error(Orvane::Exception* error)
{
    if (error == nullptr) {
        return;
    }
    RecognizerHelperListener* const listener = listener_;
    if (!prepared_ || listener == nullptr) {
        // The preparing thread reports its own failure; earlier errors are not ours.
        error->Release();
        return;
    }
    listener->RecognitionError(Error::Adopt(encoding_, error));
}

void RecognizerHelper::SentenceEnd()
{
    RecognizerHelperListener* const listener = listener_;
    if ((state_ & (Streaming | Completing)) != 0 && listener != nullptr) {
        listener->SentenceEnd();
    }
}

void RecognizerHelper::Completed()
{
    {
        boost::lock_guard<boost::mutex> lock(mutex_);
        if ((state_ & (Streaming | Completing)) == 0) {
            return;
        }
        state_ = Idle;
    }
    RecognizerHelperListener* const listener = listener_;
    if (listener != nullptr) {
        listener->FinishRecognition();
    }
}

void RecognizerHelper::StartPoint(double time)
{
    RecognizerHelperListener* const listener = listener_;
    if (listener != nullptr) {
        listener->StartPoint(time);
    }
}

void RecognizerHelper::EndPoint(double time, const char* /*id*/, Orvane::Result::Nbest* result)
{
    RecognizerHelperListener* const listener = listener_;
    if (listener != nullptr) {
        listener->RecognitionResult(result);
        listener->EndPoint(time);
    }
}

void RecognizerHelper::TempPoint(double time, const char* /*id*/, Orvane::Result::Nbest* result)
{
    RecognizerHelperListener* const listener = listener_;
    if (listener != nullptr) {
        listener->TempPoint(time, result);
    }
}

} // namespace Helper
} // namespace Orvane
