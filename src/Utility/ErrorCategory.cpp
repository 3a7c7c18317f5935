#include "Utility/ErrorCategory.h"

namespace Orvane {
namespace Utility {

const ErrorCategory& ErrorCategory::GetInstance()
{
    static const ErrorCategory* const instance = new ErrorCategory();
    return *instance;
}

const char* ErrorCategory::name() const noexcept { return "Pellum"; }

std::string ErrorCategory::message(int value) const
{
    switch (value) {
    case MessageMalformed:
        return "受信したHTTP電文の形式が不正です。";
    case MessageTooLarge:
        return "受信したHTTP電文のサイズが上限(ヘッダ部64KiB、電文64MiB)を超えています。";
    case MessageTruncated:
        return "HTTP電文の受信途中で接続が切断されました。";
    case MessageStalled:
        return "HTTP電文の受信が途中で止まり、受信タイマが満了しました。";
    default:
        return "Pellum error";
    }
}

} // namespace Utility
} // namespace Orvane
