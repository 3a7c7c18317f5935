#include "Client/Session.h"

#include <exception>

#include <boost/lexical_cast.hpp>
#include <boost/thread/exceptions.hpp>

#include "Client/Error.h"
#include "Client/NumberText.h"
#include "Client/Recognizer.h"
#include "Client/RequestSender.h"
#include "Utility/Exception.h"
#include "Utility/Http/Controller.h"
#include "Utility/Http/Requester.h"
#include "Utility/Log/ApplicationLoggerManager.h"
#include "Utility/Tcp/Connection.h"
#include "Utility/Tcp/Connector.h"
#include "Utility/Tcp/WsConnection.h"
#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {
namespace {

const char* const kConnectTimer = "QUOR:ConnectTimer";
const char* const kReceiveTimer = "QUOR:ReceiveTimer";
const char* const kSendTimer = "QUOR:SendTimer";
const char* const kResponseTimer = "QUOR:ResponseTimer";
const char* const kVersionName = "QUOR:Version";
const char* const kVersion = "3.0.0.0 [Nov 25 2015 05:18:16]";
const char* const kPrefix = "QUOR:";
const unsigned int kReceiveBufferSize = 32768;

bool Missing(const char* text) { return text == nullptr || *text == '\0'; }

// The number reader of the port fields: decimal, within 16 bits; a leading "-" gives the
// value modulo 65536.
unsigned short ReadPort(const char* text) { return boost::lexical_cast<unsigned short>(text); }

std::string Text(const char* text) { return text != nullptr ? text : ""; }

} // namespace

Session::Session(int encodingMode)
    : listener_(nullptr), port_(0), wsRoute_(false), proxyPort_(0), encodingMode_(encodingMode)
{
    ORVANE_LOG_TRACE("セッションを構築します。");
    parameters_[kConnectTimer] = "3000";
    parameters_[kReceiveTimer] = "5000";
    parameters_[kSendTimer] = "5000";
    parameters_[kResponseTimer] = "10000";
}

Session::~Session()
{
    ORVANE_LOG_TRACE("セッションを破棄します。");
}

void Session::Release()
{
    ORVANE_LOG(2, "セッションのリリース処理を行います。");
    SetListener(nullptr);
    delete this;
}

void Session::SetListener(SessionListener* listener)
{
    ORVANE_LOG(2, "セッション処理用通知クラスの設定を行います。");
    // Every sender this session made, not only the latest: a recognizer of an earlier
    // Connect must not call a listener that its owner has replaced or freed.
    for (auto sender = senders_.begin(); sender != senders_.end();) {
        if (boost::shared_ptr<RequestSender> live = sender->lock()) {
            live->SetListener(listener);
            ++sender;
        } else {
            sender = senders_.erase(sender);
        }
    }
    listener_ = listener;
}

int Session::ConvertTimerValue(const char* value)
{
    int number = 0;
    try {
        number = detail::ReadInt(Text(value));
    } catch (const boost::bad_lexical_cast&) {
        number = 0;
    }
    if (number <= 0) {
        throw Error::Internal("タイマに不正な値が指定されました。");
    }
    return number;
}

void Session::SetParameter(const char* name, const char* value)
{
    if (Missing(name)) {
        throw Error::Internal("パラメータ名が指定されていません。");
    }
    if (Missing(value)) {
        throw Error::Internal("パラメータ値が指定されていません。");
    }
    ORVANE_LOG_TRACE("パラメータの設定を行います。name=%1%, value=%2%", name, value);
    try {
        const std::string key(name);
        void (Utility::Http::Controller::*apply)(int) = nullptr;
        if (key == kReceiveTimer) {
            apply = &Utility::Http::Controller::SetReceiveTimer;
        } else if (key == kSendTimer) {
            apply = &Utility::Http::Controller::SetSendTimer;
        } else if (key == kResponseTimer) {
            apply = &Utility::Http::Controller::SetResponseTimer;
        } else if (key != kConnectTimer) {
            throw Error::Internal("未サポートのパラメータが指定されました。" + key);
        }
        const int number = ConvertTimerValue(value);
        // The text and the running controller's limit change together.
        boost::recursive_mutex::scoped_lock lock(parameterLock_);
        parameters_[key] = value;
        if (apply != nullptr && controller_) {
            ((*controller_).*apply)(number);
        }
    } catch (Orvane::Exception*) {
        throw;
    } catch (const std::exception& e) {
        throw Error::Internal(std::string("パラメータの設定に失敗しました。") + e.what());
    }
}

const char* Session::GetParameter(const char* name)
{
    if (Missing(name)) {
        throw Error::Internal("パラメータ名が指定されていません。");
    }
    ORVANE_LOG_TRACE("パラメータの取得を行います。name=%1%", name);
    try {
        const std::string key(name);
        if (key == kVersionName) {
            return kVersion;
        }
        boost::recursive_mutex::scoped_lock lock(parameterLock_);
        const auto found = parameters_.find(key);
        if (key.compare(0, std::char_traits<char>::length(kPrefix), kPrefix) != 0 || found == parameters_.end()) {
            throw Error::Internal("未知のパラメータが指定されました。" + key);
        }
        parameterAnswer_ = found->second;
        return parameterAnswer_.c_str();
    } catch (Orvane::Exception*) {
        throw;
    } catch (const std::exception& e) {
        throw Error::Internal(std::string("パラメータの取得に失敗しました。") + e.what());
    }
}

void Session::StoreProxy(const char* proxyHost, const char* proxyPort)
{
    proxyHost_ = Text(proxyHost);
    // A null proxy host is no proxy host; its port need not be given then.
    proxyPort_ = proxyPort != nullptr ? ReadPort(proxyPort) : 0;
}

void Session::SetServerInformation(const char* ws_proxy_uri, const char* user_agent, const char* proxy_host,
                                   const char* proxy_port)
{
    if (Missing(ws_proxy_uri)) {
        throw Error::CannotConnect("WSプロキシサーバのURIが指定されていません。");
    }
    if (Missing(user_agent)) {
        throw Error::CannotConnect("ユーザエージェントが指定されていません。");
    }
    if (proxy_host != nullptr && Missing(proxy_port)) {
        throw Error::CannotConnect("プロキシのポート番号が指定されていません。");
    }
    ORVANE_LOG_TRACE("接続先情報を設定します。ws_proxy_uri=%1%, user_agent=%2%", ws_proxy_uri, user_agent);
    userAgent_ = user_agent;
    wsUri_ = ws_proxy_uri;
    address_ = ws_proxy_uri;
    try {
        StoreProxy(proxy_host, proxy_port);
    } catch (const std::exception& e) {
        throw Error::Internal(std::string("接続先情報の設定に失敗しました。") + e.what());
    }
    wsRoute_ = true;
}

void Session::InsertServerInformation(int index, const char* ip_address, const char* port, const char* user_agent,
                                      const char* proxy_host, const char* proxy_port)
{
    if (Missing(ip_address)) {
        throw Error::CannotConnect("接続先のIPアドレスが指定されていません。");
    }
    if (Missing(port)) {
        throw Error::CannotConnect("接続先のポート番号が指定されていません。");
    }
    if (Missing(user_agent)) {
        throw Error::CannotConnect("ユーザエージェントが指定されていません。");
    }
    if (proxy_host != nullptr && Missing(proxy_port)) {
        throw Error::CannotConnect("プロキシのポート番号が指定されていません。");
    }
    ORVANE_LOG_TRACE("接続先情報を挿入します。index=%1%, ip_address=%2%, port=%3%, user_agent=%4%", index, ip_address,
                     port, user_agent);
    const char* const badPort = "ポート番号に不正な値が指定されました。";
    try {
        userAgent_ = user_agent;
        address_ = std::string(ip_address) + ":" + port;
        try {
            port_ = ReadPort(port);
        } catch (const boost::bad_lexical_cast&) {
            throw Error::CannotConnect(badPort);
        }
        StoreProxy(proxy_host, proxy_port);
        if (port_ == 0) {
            throw Error::CannotConnect(badPort);
        }
        Entry entry(ip_address, port);
        if (index == -1) {
            servers_.push_back(entry);
        } else if (index >= 0 && static_cast<std::size_t>(index) <= servers_.size()) {
            servers_.insert(servers_.begin() + index, entry);
        } else {
            throw Error::Internal("インデックスに不正な値が指定されました。");
        }
    } catch (Orvane::Exception*) {
        throw;
    } catch (const std::exception& e) {
        throw Error::Internal(std::string("接続先情報の挿入に失敗しました。") + e.what());
    }
}

void Session::ClearServerInformation()
{
    ORVANE_LOG_TRACE("接続先情報をクリアします。");
    servers_.clear();
}

void Session::InsertResourceInformation(const char* type, const char* name)
{
    if (Missing(type)) {
        throw Error::Internal("認識リソース識別情報が指定されていません。");
    }
    if (Missing(name)) {
        throw Error::Internal("認識リソース名が指定されていません。");
    }
    ORVANE_LOG_TRACE("リソース情報を挿入します。type=%1%, name=%2%", type, name);
    try {
        const std::string kind(type);
        if (kind != "AcousticModel" && kind != "LanguageModel" && kind != "Grammar") {
            throw Error::Internal("不正なリソース識別子が指定されました。" + kind);
        }
        resources_.push_back(Entry(kind, name));
    } catch (Orvane::Exception*) {
        throw;
    } catch (const std::exception& e) {
        throw Error::Internal(std::string("リソース情報の挿入に失敗しました。") + e.what());
    }
}

void Session::ClearResourceInformation()
{
    ORVANE_LOG_TRACE("リソース情報をクリアします。");
    resources_.clear();
}

int Session::TimerValue(const char* name)
{
    boost::recursive_mutex::scoped_lock lock(parameterLock_);
    return detail::ReadInt(parameters_.at(name));
}

boost::shared_ptr<Utility::Tcp::Connection> Session::ConnectServer()
{
    const int limit = TimerValue(kConnectTimer);
    Utility::Tcp::Connector connector;
    connector.receiveBufferSize = kReceiveBufferSize;
    if (!proxyHost_.empty()) {
        // One connection to the proxy; the tunnel to the server is asked for afterwards.
        connector.host = proxyHost_;
        connector.port = proxyPort_;
        try {
            return connector.Connect(limit);
        } catch (const std::exception& e) {
            throw Error::CannotConnect(e.what());
        }
    }
    // Each failure's text names the server and the system error.
    std::string failures;
    for (const Entry& entry : servers_) {
        try {
            Utility::Tcp::Connector attempt;
            attempt.receiveBufferSize = kReceiveBufferSize;
            attempt.host = entry.first;
            attempt.port = ReadPort(entry.second.c_str());
            boost::shared_ptr<Utility::Tcp::Connection> connection = attempt.Connect(limit);
            ORVANE_LOG_TRACE("[%1% : %2%]に接続しました。", entry.first, entry.second);
            return connection;
        } catch (const std::exception& e) {
            ORVANE_LOG(4, "サーバへの接続に失敗しました。ip_address=%1%, port=%2%, 原因=%3%", entry.first,
                       entry.second, e.what());
            failures += e.what();
        }
    }
    throw Error::CannotConnect("接続可能なサーバがありません。" + failures);
}

boost::shared_ptr<Utility::Tcp::WsConnection> Session::ConnectWsServer()
{
    const int limit = TimerValue(kConnectTimer);
    Utility::Tcp::Connector connector;
    connector.port = 0;
    connector.receiveBufferSize = kReceiveBufferSize;
    connector.wsUri = wsUri_;
    if (!proxyHost_.empty()) {
        connector.proxyUri = "http://" + proxyHost_ + ":" + std::to_string(proxyPort_);
    }
    try {
        return connector.WsConnect(limit);
    } catch (const std::exception& e) {
        throw Error::CannotConnect(e.what());
    }
}

Orvane::Recognizer* Session::Connect(const char* name)
{
    ORVANE_LOG(2, "サーバへの接続を行います。");
    if (wsRoute_) {
        return Open(ConnectWsServer(), name);
    }
    return Open(ConnectServer(), name);
}

template <typename ConnectionPointer>
Orvane::Recognizer* Session::Open(const ConnectionPointer& connection, const char* name)
{
    // Only what this call made is stopped and closed on a failure: the controller and
    // sender of an earlier Connect belong to the recognizer made then.
    boost::shared_ptr<RequestSender> sender;
    try {
        const int receiveTimer = TimerValue(kReceiveTimer);
        const int sendTimer = TimerValue(kSendTimer);
        const int responseTimer = TimerValue(kResponseTimer);
        boost::shared_ptr<Utility::Http::Controller> controller;
        try {
            controller = Utility::Http::Controller::CreateInstance(connection, userAgent_, receiveTimer, sendTimer,
                                                                   responseTimer);
        } catch (const std::exception& e) {
            throw Error::Internal(std::string("HTTP制御クラスのインスタンス生成に失敗しました。") + e.what());
        }
        {
            boost::recursive_mutex::scoped_lock lock(parameterLock_);
            controller_ = controller;
        }
        sender = RequestSender::CreateInstance(controller, encodingMode_);
        sender_ = sender;
        senders_.push_back(sender);
        sender->SetListener(listener_);
        controller->GetRequester()->SetListener(sender);
        try {
            controller->Start();
        } catch (const Utility::Exception& e) {
            throw Error::Internal(std::string("送受信処理の開始に失敗しました。") + e.what());
        }
        if (!wsRoute_ && !proxyHost_.empty()) {
            sender->SendConnect(address_, true);
        }
        boost::shared_ptr<Utility::Xml::Node> arguments = Utility::Xml::Node::CreateInstance("ArgumentList");
        if (!Missing(name)) {
            arguments->children.push_back(Utility::Xml::Node::CreateInstance("String", name));
        }
        sender->Send("CreateRecognizer", "", "", arguments);
        return new Recognizer(controller, sender, encodingMode_);
    } catch (...) {
        if (sender) {
            sender->Stop();
        }
        connection->Close();
        try {
            throw;
        } catch (Orvane::Exception*) {
            throw;
        } catch (const boost::thread_interrupted&) {
            throw;
        } catch (const std::exception& e) {
            throw Error::CannotConnect(e.what());
        }
    }
}

} // namespace Client
} // namespace Orvane
