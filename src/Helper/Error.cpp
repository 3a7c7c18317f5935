#include "Helper/Error.h"

#include "Client/Error.h"

namespace Orvane {
namespace Helper {
namespace {
// A helper error over a new client error `number`: its message, or a format and its detail.
template <typename... Text>
Exception* Make(int encoding, int number, const Text&... text)
{
    return Error::Wrap(encoding, new Client::Exception(Client::Error::Type, number, text...));
}
} // namespace

Exception* Error::Wrap(int encoding, Client::Exception* error)
{
    boost::shared_ptr<Client::Exception> held = Exception::Hold(error);
    return new Exception(encoding, held);
}

Orvane::Exception* Error::Adopt(int encoding, Orvane::Exception* error)
{
    return Exception::ForEncoding(encoding, error);
}

Exception* Error::NoServerAddress(int encoding)
{
    return Make(encoding, 1000, "サーバアドレスが指定されていません。");
}

Exception* Error::InvalidServerPort(int encoding)
{
    return Make(encoding, 1001, "サーバポート番号が指定されていないか不正な値です。");
}

Exception* Error::InvalidCompleteTimeout(int encoding)
{
    return Make(encoding, 1002, "認識結果取得タイムアウト時間が不正な値です。");
}

Exception* Error::InvalidRecognitionTimeout(int encoding)
{
    return Make(encoding, 1003, "音声入力タイムアウト時間が不正な値です。");
}

Exception* Error::InvalidSentenceTimeout(int encoding)
{
    return Make(encoding, 1004, "音声区間検出タイムアウト時間が不正な値です。");
}

Exception* Error::InvalidOstrelEnvMode(int encoding)
{
    return Make(encoding, 1005, "音声区間検出モード値が不正な値です。");
}

Exception* Error::NoUserAgent(int encoding)
{
    return Make(encoding, 1009, "UserAgentが指定されていません。");
}

Exception* Error::InvalidOption(int encoding, const std::string& detail)
{
    return Make(encoding, 1011, "その他の認識オプションが不正です。詳細=%s", detail);
}

Exception* Error::InvalidState(int encoding, const std::string& detail)
{
    return Wrap(encoding, Client::Error::InvalidState(detail));
}

Exception* Error::SpeechStartNotDetected(int encoding)
{
    return Make(encoding, 3000, "音声区間の始端が検出できません。");
}

Exception* Error::SpeechEndNotDetected(int encoding)
{
    return Make(encoding, 3001, "音声区間の終端が検出できません。");
}

Exception* Error::CannotConnect(int encoding, const std::string& detail)
{
    return Wrap(encoding, Client::Error::CannotConnect(detail));
}

Exception* Error::CaptureDeviceFailed(int encoding, const std::string& detail)
{
    return Make(encoding, 6000, "音声キャプチャデバイスが開始できません。詳細=%s", detail);
}

Exception* Error::Internal(int encoding, const std::string& detail)
{
    return Wrap(encoding, Client::Error::Internal(detail));
}

} // namespace Helper
} // namespace Orvane
