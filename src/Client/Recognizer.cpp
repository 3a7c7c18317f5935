#include "Client/Recognizer.h"

#include <exception>
#include <stdexcept>

#include <boost/make_shared.hpp>

#include "Client/AcousticModel.h"
#include "Client/CompletionLink.h"
#include "Client/Error.h"
#include "Client/FailureReport.h"
#include "Client/FileContent.h"
#include "Client/Grammar.h"
#include "Client/LanguageModel.h"
#include "Client/NotificationHandler.h"
#include "Client/RequestSender.h"
#include "Utility/FormatText.h"
#include "Utility/Http/BodyPartInformation.h"
#include "Utility/Http/Controller.h"
#include "Utility/Http/Respondent.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace {

typedef boost::shared_ptr<Utility::Xml::Node> NodePtr;
typedef boost::recursive_mutex::scoped_lock Lock;

bool Missing(const char* text) { return text == nullptr || *text == '\0'; }

NodePtr Arguments() { return Utility::Xml::Node::CreateInstance("ArgumentList"); }

NodePtr Strings(const char* first, const char* second = nullptr)
{
    NodePtr arguments = Arguments();
    arguments->children.push_back(Utility::Xml::Node::CreateInstance("String", first));
    if (second != nullptr) {
        arguments->children.push_back(Utility::Xml::Node::CreateInstance("String", second));
    }
    return arguments;
}

// BinaryDataOffset 1 and Size: the announcement of a binary part, after `arguments`' own.
NodePtr Binary(NodePtr arguments, unsigned int size)
{
    arguments->children.push_back(Utility::Xml::Node::CreateInstance("BinaryDataOffset", "1"));
    arguments->children.push_back(Utility::Xml::Node::CreateInstance("Size", size));
    return arguments;
}

// Logs `text` at level 3 and returns error 7000 with it as detail.
Exception* Rejected(const char* text)
{
    ORVANE_LOG(3, text);
    return Error::Internal(text);
}

// A load's server error is logged; other failures are the calling operation's to report.
const FailureReport kLoadFailure = {4, "認識リソースのロードに失敗しました。Type=%1%, Errno=%2%, Errmsg=%3%", nullptr,
                                    nullptr, false};

const FailureReport kPrepareFailure = {4, nullptr, "参照データの準備、設定に失敗しました。原因=%1%",
                                       "参照データの準備、設定に失敗しました。", true};

void RequireMethod(const char* method)
{
    if (Missing(method)) {
        ORVANE_LOG(3, "準備の方法が指定されていません。");
        throw Error::Internal("メソッドが指定されていません。");
    }
}

// What each family of resources says.
struct ResourceTexts {
    const char* file;     // no file name
    const char* image;    // no image
    const char* name;     // no name
    const char* fileLog;  // level 2, with the file name
    const char* nameLog;  // level 2, with the name
    const char* build;    // level 2 for an image
    const char* causeLog; // level 4, with the failure's text
    const char* failure;  // detail of error 7000
    const char* loadMethod;
    const char* attachMethod;
};

template <typename Proxy>
const ResourceTexts& TextsOf();

template <>
const ResourceTexts& TextsOf<AcousticModel>()
{
    static const ResourceTexts texts = {"音響モデルファイルが指定されていません。",
                                        "音響モデルイメージが指定されていません。",
                                        "音響モデル名が指定されていません。",
                                        "音響モデルクラスを構築します。file=%1%",
                                        "音響モデルクラスを構築します。name=%1%",
                                        "音響モデルクラスを構築します。",
                                        "音響モデルクラスの構築に失敗しました。原因=%1%",
                                        "音響モデルクラスの構築に失敗しました。",
                                        "Recognizer::LoadAcousticModel_2",
                                        "Recognizer::AttachAcousticModel"};
    return texts;
}

template <>
const ResourceTexts& TextsOf<LanguageModel>()
{
    static const ResourceTexts texts = {"言語モデルファイルが指定されていません。",
                                        "言語モデルイメージが指定されていません。",
                                        "言語モデル名が指定されていません。",
                                        "言語モデルクラスを構築します。file=%1%",
                                        "言語モデルクラスを構築します。name=%1%",
                                        "言語モデルクラスを構築します。",
                                        "言語モデルクラスの構築に失敗しました。原因=%1%",
                                        "言語モデルクラスの構築に失敗しました。",
                                        "Recognizer::LoadLanguageModel_2",
                                        "Recognizer::AttachLanguageModel"};
    return texts;
}

template <>
const ResourceTexts& TextsOf<Grammar>()
{
    static const ResourceTexts texts = {"文法ファイルが指定されていません。",
                                        "文法イメージが指定されていません。",
                                        "文法名が指定されていません。",
                                        "文法クラスを構築します。file=%1%",
                                        "文法クラスを構築します。name=%1%",
                                        "文法クラスを構築します。",
                                        "文法クラスの構築に失敗しました。原因=%1%",
                                        "文法クラスの構築に失敗しました。",
                                        "Recognizer::LoadGrammar_2",
                                        "Recognizer::AttachGrammar"};
    return texts;
}

// Client errors pass unlogged (the load logs them); others become 7000 with the failure text.
template <typename Proxy>
FailureReport BuildFailure()
{
    const ResourceTexts& texts = TextsOf<Proxy>();
    return FailureReport{4, nullptr, texts.causeLog, texts.failure, false};
}

} // namespace

Recognizer::Recognizer(const boost::shared_ptr<Utility::Http::Controller>& controller,
                       const boost::shared_ptr<RequestSender>& sender, int encodingMode)
    : target_("", "", sender), encodingMode_(encodingMode)
{
    ORVANE_LOG_TRACE("認識器クラスを構築します。");
    link_ = boost::make_shared<CompletionLink>(this);
    const boost::shared_ptr<CompletionLink> link = link_;
    handler_ = NotificationHandler::CreateInstance([link](Exception* error) { link->Call(error); }, encodingMode_);
    // Undelivered notifications beyond the handler's bound stop the reading until its
    // thread has caught up; the handler may outlive the controller.
    const boost::weak_ptr<Utility::Http::Controller> weak = controller;
    handler_->SetBacklogFunction([weak](bool hold, bool holdTimers) {
        if (const boost::shared_ptr<Utility::Http::Controller> live = weak.lock()) {
            live->HoldReceive(hold, holdTimers);
        }
    });
    sender->SetNotificationHandler(handler_);
    controller->GetRespondent()->SetListener(handler_);
}

Recognizer::~Recognizer()
{
    ORVANE_LOG_TRACE("認識器クラスを破棄します。");
}

void Recognizer::Release()
{
    ORVANE_LOG(2, "認識器のリリース処理を行います。");
    // Nothing calls into this object once it is gone: the handler may live on in grammars
    // and still drain queued notifications.
    link_->Cut();
    handler_->SetListener(nullptr);
    // With a reply still owed to a call given up, the release would only queue behind
    // it; closing the connection ends the server's recognizer all the same.
    if (!target_.Sender()->IsReplyOwed()) {
        target_.ReleaseRemote("Recognizer::Release");
    }
    target_.Sender()->Stop();
    delete this;
}

void Recognizer::SetListener(RecognizerListener* listener)
{
    ORVANE_LOG(2, "認識処理通知クラスの設定を行います。");
    handler_->SetListener(listener);
}

int Recognizer::GetState()
{
    return completion_.GetState();
}

int Recognizer::GetWaiterCount()
{
    return completion_.GetWaiterCount();
}

NodePtr Recognizer::Remote(const char* startLog, const char* method, const FailureReport& failure,
                           const NodePtr& arguments)
{
    if (startLog != nullptr) {
        ORVANE_LOG(2, startLog);
    }
    return failure.Guard([&] { return target_.Call(method, arguments); });
}

void Recognizer::RequireRunning(const char* detail)
{
    const int state = completion_.StateHeld();
    if (state != Recognizing && state != Completing) {
        throw Error::InvalidState(detail);
    }
}

void Recognizer::Begin(const char* detail, const char* startLog, const char* method, const FailureReport& failure)
{
    const NotificationHandler::CallScope call(handler_, false);
    Lock lock(completion_.Mutex());
    if (completion_.StateHeld() != Idle) {
        throw Error::InvalidState(detail);
    }
    Remote(startLog, method, failure, Arguments());
    completion_.Begin();
}

void Recognizer::Recognize()
{
    Begin("Recognizeリクエストを実行できる状態ではありません。", "音声認識処理を開始します。", "Recognizer::Recognize",
          ORVANE_CLIENT_FAILURE(4, "音声認識処理の開始に失敗しました。"));
}

void Recognizer::PatternMatch()
{
    Begin("PatternMatchリクエストを実行できる状態ではありません。", "音声パターンマッチ処理を開始します。",
          "Recognizer::PatternMatch", ORVANE_CLIENT_FAILURE(4, "音声パターンマッチ処理の開始に失敗しました。"));
}

void Recognizer::AsyncComplete()
{
    const NotificationHandler::CallScope call(handler_, false);
    Lock lock(completion_.Mutex());
    RequireRunning("AsyncCompleteリクエストを実行できる状態ではありません。");
    if (completion_.StateHeld() == Completing) {
        return;
    }
    completion_.StartCompleting();
    Remote("音声認識処理の完了を指示します。", "Recognizer::AsyncComplete",
           ORVANE_CLIENT_FAILURE(4, "音声認識処理の完了の指示に失敗しました。"), Arguments());
}

void Recognizer::Complete(double seconds)
{
    const NotificationHandler::CallScope call(handler_, false);
    Lock lock(completion_.Mutex());
    RequireRunning("Completeリクエストを実行できる状態ではありません。");
    if (completion_.StateHeld() == Recognizing) {
        completion_.StartCompleting();
        Remote("音声認識処理を完了します。", "Recognizer::AsyncComplete",
               ORVANE_CLIENT_FAILURE(4, "音声認識処理の完了に失敗しました。"), Arguments());
    }
    // The lock is held once here; the wait releases it while it sleeps.
    std::string error;
    if (!completion_.Wait(seconds, error)) {
        throw Error::RecognitionTimeout();
    }
    if (!error.empty()) {
        throw Error::Internal(error);
    }
}

void Recognizer::Complete()
{
    Complete(0.0);
}

void Recognizer::ExecuteCompletedEvent(Exception* error)
{
    Lock lock(completion_.Mutex());
    if (completion_.StateHeld() != Completing) {
        return;
    }
    std::string text;
    if (error != nullptr) {
        try {
            text = Utility::detail::FormatText(
                "音声認識の完了中に例外が発生しました。エラー種別=%1% エラー番号=%2% メッセージ=%3%", error->GetType(),
                error->GetErrorNo(), error->GetErrorMessage());
        } catch (const std::exception& e) {
            text = e.what();
        }
    }
    completion_.Finish(text);
}

void Recognizer::Abort()
{
    const NotificationHandler::CallScope call(handler_, false);
    Lock lock(completion_.Mutex());
    RequireRunning("Abortリクエストを実行できる状態ではありません。");
    Remote("音声認識を中断します。", "Recognizer::Abort", ORVANE_CLIENT_FAILURE(4, "音声認識処理の中断に失敗しました。"),
           Arguments());
    // The lock was held across the call, so no completion event came in between.
    if (completion_.StateHeld() == Recognizing) {
        completion_.Cancel();
    } else {
        completion_.Finish("音声認識の完了中に中断されました。");
    }
}

void Recognizer::Resume()
{
    Remote("音声認識を再開します。", "Recognizer::Resume", ORVANE_CLIENT_FAILURE(4, "音声認識処理の再開に失敗しました。"),
           Arguments());
}

void Recognizer::SetParameter(const char* name, const char* value)
{
    if (Missing(name)) {
        throw Rejected("パラメータ名が指定されていません。");
    }
    if (Missing(value)) {
        throw Rejected("パラメータ値が指定されていません。");
    }
    if (std::string(name).compare(0, 5, "QUOR:") == 0) {
        throw Error::Internal("不正なパラメータが指定されました。");
    }
    Remote(nullptr, "Recognizer::SetParameter", ORVANE_CLIENT_FAILURE(4, "パラメータの設定に失敗しました。"),
           Strings(name, value));
}

const char* Recognizer::GetParameter(const char* name)
{
    if (Missing(name)) {
        throw Rejected("パラメータ名が指定されていません。");
    }
    if (std::string(name).compare(0, 5, "QUOR:") == 0) {
        throw Error::Internal("不正なパラメータが指定されました。");
    }
    const NodePtr reply = Remote(nullptr, "Recognizer::GetParameter",
                                 ORVANE_CLIENT_FAILURE(4, "パラメータの取得に失敗しました。"), Strings(name));
    const NodePtr value = reply ? reply->Child("Value") : NodePtr();
    const NodePtr text = value ? value->Child("String") : NodePtr();
    if (!text) {
        ORVANE_LOG(4, "応答電文の形式が不正なため、パラメータを取得出来ません。");
        throw Error::MissingNode();
    }
    parameterValue_ = text->text;
    return parameterValue_.c_str();
}

void Recognizer::PushSpeech(const char* data, unsigned int size)
{
    static const FailureReport kFailure = ORVANE_CLIENT_FAILURE(4, "音声データの登録に失敗しました。");
    ORVANE_LOG(2, "音声データの登録を行います。");
    ORVANE_LOG_TRACE("リクエストの送信を行います。size=%1%", size);
    kFailure.Guard([&] {
        if (size == 0) {
            throw std::out_of_range("PushSpeech: no speech bytes");
        }
        if (data == nullptr) {
            throw std::invalid_argument("PushSpeech: no speech data");
        }
        // The requester copies the bytes before SendAudio returns.
        target_.Sender()->SendAudio(
            Utility::Http::BodyPartInformation(reinterpret_cast<const unsigned char*>(data), size));
    });
}

void Recognizer::SetParameterFile(const char*) { throw Error::Unsupported(); }
void Recognizer::PushFeatureParameter(unsigned int, int, const float*, bool) { throw Error::Unsupported(); }
void Recognizer::SetPatternMatchModel(Orvane::AcousticModel*) { throw Error::Unsupported(); }
void Recognizer::Record() { throw Error::Unsupported(); }
void Recognizer::GetWaveform() { throw Error::Unsupported(); }
void Recognizer::GetAnalyzeParameter(const char*) { throw Error::Unsupported(); }
void Recognizer::SetPortNo(unsigned short) { throw Error::Unsupported(); }
void Recognizer::NotifyStartable() { throw Error::Unsupported(); }

NodePtr Recognizer::LoadResource(const std::string& method, const char* data, unsigned int size)
{
    ORVANE_LOG_TRACE("認識リソースのロードを行います。method=%1%, size=%2%", method, size);
    return kLoadFailure.Guard([&] { return target_.Call(method, Binary(Arguments(), size), data, size); });
}

NodePtr Recognizer::LoadResource(const std::string& method, const char* name)
{
    ORVANE_LOG_TRACE("認識リソースのロードを行います。method=%1%, resource=%2%", method, name);
    return kLoadFailure.Guard([&] { return target_.Call(method, Strings(name)); });
}

void Recognizer::ReadResourceFile(const char* file, std::vector<char>& data)
{
    FileContent::ReadResource(file, data);
}

template <typename Proxy>
Proxy* Recognizer::CreateResourceInstance(const NodePtr& reply)
{
    const NodePtr value = reply ? reply->Child("Value") : NodePtr();
    const NodePtr target = value ? value->Child("Target") : NodePtr();
    const NodePtr id = target ? target->Child("Id") : NodePtr();
    if (!id) {
        ORVANE_LOG(4, "応答電文の形式が不正なため、認識リソースを構築出来ません。");
        throw Error::MissingNode();
    }
    return new Proxy(id->text, target_.Sender());
}

Grammar* Recognizer::CreateResourceDmyInstance()
{
    return new Grammar("", target_.Sender());
}

Orvane::Grammar* Recognizer::Finish(Grammar* grammar)
{
    grammar->SetNotificationHandler(handler_);
    return grammar;
}

Orvane::AcousticModel* Recognizer::Finish(AcousticModel* model)
{
    return model;
}

Orvane::LanguageModel* Recognizer::Finish(LanguageModel* model)
{
    return model;
}

template <typename Proxy>
Proxy* Recognizer::LoadFile(const char* file)
{
    const ResourceTexts& texts = TextsOf<Proxy>();
    if (Missing(file)) {
        throw Rejected(texts.file);
    }
    return BuildFailure<Proxy>().Guard([&] {
        std::vector<char> bytes;
        ReadResourceFile(file, bytes);
        ORVANE_LOG(2, texts.fileLog, file);
        return CreateResourceInstance<Proxy>(
            LoadResource(texts.loadMethod, bytes.data(), static_cast<unsigned int>(bytes.size())));
    });
}

template <typename Proxy>
Proxy* Recognizer::LoadImage(const char* image, unsigned int size)
{
    const ResourceTexts& texts = TextsOf<Proxy>();
    if (image == nullptr || size == 0) {
        throw Rejected(texts.image);
    }
    ORVANE_LOG(2, texts.build);
    return BuildFailure<Proxy>().Guard(
        [&] { return CreateResourceInstance<Proxy>(LoadResource(texts.loadMethod, image, size)); });
}

template <typename Proxy>
Proxy* Recognizer::Attach(const char* name)
{
    const ResourceTexts& texts = TextsOf<Proxy>();
    if (Missing(name)) {
        throw Rejected(texts.name);
    }
    ORVANE_LOG(2, texts.nameLog, name);
    return BuildFailure<Proxy>().Guard(
        [&] { return CreateResourceInstance<Proxy>(LoadResource(texts.attachMethod, name)); });
}

Orvane::AcousticModel* Recognizer::LoadAcousticModel(const char* file)
{
    return Finish(LoadFile<AcousticModel>(file));
}

Orvane::AcousticModel* Recognizer::LoadAcousticModel(const char* image, unsigned int size)
{
    return Finish(LoadImage<AcousticModel>(image, size));
}

Orvane::AcousticModel* Recognizer::AttachAcousticModel(const char* name)
{
    return Finish(Attach<AcousticModel>(name));
}

Orvane::LanguageModel* Recognizer::LoadLanguageModel(const char* file)
{
    return Finish(LoadFile<LanguageModel>(file));
}

Orvane::LanguageModel* Recognizer::LoadLanguageModel(const char* image, unsigned int size)
{
    return Finish(LoadImage<LanguageModel>(image, size));
}

Orvane::LanguageModel* Recognizer::AttachLanguageModel(const char* name)
{
    return Finish(Attach<LanguageModel>(name));
}

Orvane::Grammar* Recognizer::LoadGrammar(const char* file)
{
    return Finish(LoadFile<Grammar>(file));
}

Orvane::Grammar* Recognizer::LoadGrammar(const char* image, unsigned int size)
{
    return Finish(LoadImage<Grammar>(image, size));
}

Orvane::Grammar* Recognizer::AttachGrammar(const char* name)
{
    const ResourceTexts& texts = TextsOf<Grammar>();
    if (name == nullptr) {
        throw Rejected(texts.name);
    }
    ORVANE_LOG(2, texts.nameLog, name);
    // The empty name is a local grammar: nothing is sent.
    return Finish(BuildFailure<Grammar>().Guard([&] {
        return *name == '\0' ? CreateResourceDmyInstance()
                             : CreateResourceInstance<Grammar>(LoadResource(texts.attachMethod, name));
    }));
}

Orvane::Grammar* Recognizer::ShareGrammar(Orvane::Grammar*)
{
    static const FailureReport kFailure = {4, nullptr, "文法クラスの構築に失敗しました。原因=%1%",
                                           "ロード済み文法クラスの共有に失敗しました。", true};
    return Finish(kFailure.Guard([&] { return CreateResourceDmyInstance(); }));
}

void Recognizer::Prepare(const char* method, const char* file)
{
    RequireMethod(method);
    if (Missing(file)) {
        throw Rejected("音声ファイルが指定されていません。");
    }
    kPrepareFailure.Guard([&] {
        const std::vector<char> payload = FileContent::ReadSpeech(file);
        ORVANE_LOG(2, "参照データを準備、設定します。file=%1%", file);
        const unsigned int size = static_cast<unsigned int>(payload.size());
        target_.Call("Recognizer::Prepare_2", Binary(Strings(method), size), payload.data(), size);
    });
}

void Recognizer::Prepare(const char* method, const char* data, unsigned int size)
{
    RequireMethod(method);
    if (data == nullptr || size == 0) {
        throw Rejected("音声データが指定されていません。");
    }
    ORVANE_LOG(2, "参照データを準備、設定します。");
    kPrepareFailure.Guard([&] { target_.Call("Recognizer::Prepare_2", Binary(Strings(method), size), data, size); });
}

} // namespace Client
} // namespace Orvane
