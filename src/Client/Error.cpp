#include "Client/Error.h"

namespace Orvane {
namespace Client {

const char* const Error::Type = "Orvane::Client";

Exception* Error::UserAgentRefused()
{
    return new Exception(Type, 1010, "許可されていないUserAgentが指定されています。");
}

Exception* Error::InvalidState(const std::string& detail)
{
    return new Exception(Type, 2000, "状態が不正です。詳細=%s", detail);
}

Exception* Error::RecognitionTimeout()
{
    return new Exception(Type, 3002, "音声認識処理がタイムアウトしました。");
}

Exception* Error::InvalidResponse(const std::string& detail)
{
    return new Exception(Type, 4000, "受信したレスポンスが不正です。詳細=%s", detail);
}

Exception* Error::MissingNode()
{
    return new Exception(Type, 4001, "受信したレスポンスに期待されたノードが存在しません。");
}

Exception* Error::InvalidRequest(const std::string& detail)
{
    return new Exception(Type, 4002, "受信したリクエストが不正です。詳細=%s", detail);
}

Exception* Error::ServerFault(const std::string& detail)
{
    return new Exception(Type, 4004, "音声認識サーバが異常な状態です。詳細=%s", detail);
}

Exception* Error::CannotConnect(const std::string& detail)
{
    return new Exception(Type, 5000, "音声認識サーバに接続できません。詳細=%s", detail);
}

Exception* Error::CommunicationFailed(const std::string& detail)
{
    return new Exception(Type, 5002, "通信で異常が発生しました。詳細=%s", detail);
}

Exception* Error::Disconnected()
{
    return new Exception(Type, 5006, "コネクションが切断されました。");
}

Exception* Error::Internal(const std::string& detail)
{
    return new Exception(Type, 7000, "内部エラーが発生しました。詳細=%s", detail);
}

Exception* Error::Unsupported()
{
    return new Exception(Type, 7001, "指定された処理は未サポートです。");
}

Utility::Exception Error::MissingElement(const std::string& parent, const std::string& child)
{
    return Utility::Exception(Type, 3, "必要な要素が存在しません。要素=%1%/%2%", parent, child);
}

} // namespace Client
} // namespace Orvane
