#include "Utility/Tcp/WsCloseCategory.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

const WsCloseCategory& WsCloseCategory::GetInstance()
{
    static const WsCloseCategory* const instance = new WsCloseCategory();
    return *instance;
}

const char* WsCloseCategory::name() const noexcept { return "WebSocket close"; }

std::string WsCloseCategory::message(int value) const
{
    return "サーバがWebSocket接続を閉じました。クローズコード=" + std::to_string(value);
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
