#include "Client/Grammar.h"

#include <stdexcept>

#include "Client/AcousticModel.h"
#include "Client/Error.h"
#include "Client/FailureReport.h"
#include "Client/LanguageModel.h"
#include "Client/NotificationHandler.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace {

typedef boost::shared_ptr<Utility::Xml::Node> NodePtr;

NodePtr Arguments() { return Utility::Xml::Node::CreateInstance("ArgumentList"); }

} // namespace

const char* const Grammar::KindName = "Grammar";

Grammar::Grammar(const std::string& id, const boost::shared_ptr<RequestSender>& sender)
    : reference_(KindName, id, sender), listener_(nullptr)
{
    ORVANE_LOG_TRACE("文法クラスを構築します。");
}

Grammar::~Grammar()
{
    ORVANE_LOG_TRACE("文法クラスを破棄します。");
}

void Grammar::SetNotificationHandler(const boost::shared_ptr<NotificationHandler>& handler)
{
    handler_ = handler;
}

void Grammar::Release()
{
    ORVANE_LOG(2, "文法のリリース処理を行います。id=%1%", reference_.Id());
    if (!reference_.Id().empty()) {
        reference_.ReleaseRemote("Grammar::Release");
    }
    // The registry keeps no pointer to a listener that only this grammar knew of; another
    // grammar's listener under the same id stays.
    if (handler_ && listener_ != nullptr) {
        handler_->RemoveGrammarListener(reference_.Id(), listener_);
    }
    delete this;
}

void Grammar::SetListener(GrammarListener* listener)
{
    ORVANE_LOG(2, "文法依存通知クラスの設定を行います。");
    handler_->SetGrammarListener(reference_.Id(), listener);
    listener_ = listener;
}

void Grammar::Remote(const char* startLog, const char* method, const FailureReport& failure,
                     const NodePtr& arguments)
{
    ORVANE_LOG(2, startLog, reference_.Id());
    failure.Guard([&] { reference_.Call(method, arguments); });
}

void Grammar::Activate()
{
    Remote("文法を認識対象に設定します。id=%1%", "Grammar::Activate",
           ORVANE_CLIENT_FAILURE(4, "文法を認識対象に設定できませんでした。"), Arguments());
}

void Grammar::Deactivate()
{
    Remote("文法を認識対象から除外します。id=%1%", "Grammar::Deactivate",
           ORVANE_CLIENT_FAILURE(4, "文法を認識対象から除外できませんでした。"), Arguments());
}

void Grammar::SetAcousticParameter(int index, const char* value)
{
    static const FailureReport kFailure = {4,
                                           "マルチパート音響モデルパラメータの設定に失敗しました。Type=%1% Errno=%2% %3%",
                                           "マルチパート音響モデルパラメータの設定に失敗しました。原因=%1%",
                                           "音響モデルパラメータの設定に失敗しました。", true};
    ORVANE_LOG(2, "マルチパート音響モデルのパラメータの設定を行います。id=%1%", reference_.Id());
    kFailure.Guard([&] {
        if (value == nullptr) {
            throw std::invalid_argument("value is null");
        }
        NodePtr arguments = Arguments();
        arguments->children.push_back(Utility::Xml::Node::CreateInstance("Integer", index));
        arguments->children.push_back(Utility::Xml::Node::CreateInstance("String", value));
        reference_.Call("Grammar::SetAcousticParameter", arguments);
    });
}

void Grammar::SetModels(Orvane::AcousticModel* acoustic, Orvane::LanguageModel* language)
{
    static const FailureReport kFailure = ORVANE_CLIENT_FAILURE(4, "音響モデルと言語モデルの設定に失敗しました。");
    // The arguments are checked before the start record, inside the guarded steps.
    const NodePtr arguments = kFailure.Guard([&] {
        if (acoustic == nullptr) {
            ORVANE_LOG(3, "音響モデルは省略できません。");
            throw Error::Internal("音響モデルが指定されていません。");
        }
        const AcousticModel* acousticProxy = dynamic_cast<const AcousticModel*>(acoustic);
        if (acousticProxy == nullptr) {
            ORVANE_LOG(3, "指定された音響モデルはQuorの音響モデルのインスタンスではありません。%1%",
                       static_cast<const void*>(acoustic));
            throw Error::Internal("不正な音響モデルが指定されました。");
        }
        NodePtr list = Arguments();
        list->children.push_back(acousticProxy->Reference().Target());
        if (language == nullptr) {
            NodePtr target = Utility::Xml::Node::CreateInstance("Target");
            target->children.push_back(Utility::Xml::Node::CreateInstance("Kind", LanguageModel::KindName));
            target->children.push_back(Utility::Xml::Node::CreateInstance("Id", "0"));
            list->children.push_back(target);
        } else {
            const LanguageModel* languageProxy = dynamic_cast<const LanguageModel*>(language);
            if (languageProxy == nullptr) {
                ORVANE_LOG(3, "指定された言語モデルはQuorの言語モデルのインスタンスではありません。%1%",
                           static_cast<const void*>(language));
                throw Error::Internal("不正な言語モデルが指定されました。");
            }
            list->children.push_back(languageProxy->Reference().Target());
        }
        return list;
    });
    Remote("音響モデルと言語モデルの設定を行います。id=%1%", "Grammar::SetModels", kFailure, arguments);
}

void Grammar::SetName(const char*)
{
}

void Grammar::GetXmlResult()
{
    throw Error::Unsupported();
}

} // namespace Client
} // namespace Orvane
