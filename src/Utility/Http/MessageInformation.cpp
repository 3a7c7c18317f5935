#include "Utility/Http/MessageInformation.h"

#include "Utility/Http/HeaderText.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Utility {
namespace Http {

MessageInformation::MessageInformation() = default;

MessageInformation::~MessageInformation() = default;

void MessageInformation::AddHeader(const unsigned char* name, unsigned int nameLength,
                                   const unsigned char* value, unsigned int valueLength)
{
    std::string key;
    std::string text;
    if (!detail::InsertHeader(headers, name, name + nameLength, value, value + valueLength, key, text)) {
        ORVANE_LOG_TRACE("重複するヘッダ名のヘッダが存在します。ヘッダ名=%1%,ヘッダ値=%2%", key, text);
    }
}

} // namespace Http
} // namespace Utility
} // namespace Orvane
