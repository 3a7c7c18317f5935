#include "Vad/sbm_error_code.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "Orvane/Vad/SpeechBoundaryManager.h"
#include "Orvane/Vad/VadEngine.h"

namespace {

constexpr std::size_t kMaxDetail = 412;

thread_local int t_code = 0;
thread_local char t_message[kSbmErrorMessageSize] = "";

// Texts of the manager's own codes; any other code carries the detection layer's message.
const char* CodeText(int code)
{
    switch (code) {
    case 0: return "";
    case SBM_ERR_MEMORY: return "メモリ不足により処理の続行が不可能 ";
    case SBM_ERR_INTERNAL: return "INTERNAL エラー ";
    case SBM_ERR_NULL: return "引数不正（NULL） ";
    case SBM_ERR_RANGE: return "引数不正（範囲） ";
    case SBM_ERR_UNDEFINED_ENV: return "定義されていない環境変数 ";
    case SBM_ERR_OVERFLOW: return "内部バッファサイズを超えるデータが入力された";
    case SBM_ERR_VALUE: return "引数不正（値）";
    case SBM_ERR_STATE: return "ありえないVAD状態遷移";
    default: {
        const char* text = GetVADLastErrorMessage();
        return text != nullptr ? text : "";
    }
    }
}

const char* BaseName(const char* file)
{
    const char* slash = std::strrchr(file, '/');
    if (slash == nullptr) {
        slash = std::strrchr(file, '\\');
    }
    return slash != nullptr ? slash + 1 : "";
}

void Store(const std::string& message)
{
    const std::size_t n = message.size() < kSbmErrorMessageSize ? message.size() : kSbmErrorMessageSize - 1;
    std::memcpy(t_message, message.data(), n);
    t_message[n] = '\0';
}

void Record(int code, const char* file, int line, const std::string& detail)
{
    std::string filePart;
    if (file != nullptr && file[0] != '\0') {
        filePart = std::string("FILE:") + BaseName(file);
    }
    const std::string linePart = "LINE:" + std::to_string(line);
    const std::string head = std::to_string(code) + " " + CodeText(code);
    t_code = code;
    // The message and its terminator must fit the record; otherwise the short form.
    if (head.size() + filePart.size() + linePart.size() + detail.size() + 2 < kSbmErrorMessageSize) {
        Store(head + filePart + " " + linePart + " " + detail);
    } else {
        Store(std::to_string(code) + "  エラーメッセージが長すぎる  " + filePart + " " + linePart);
    }
}

} // namespace

void _SetSBMNoError()
{
    t_code = 0;
    t_message[0] = '\0';
}

void _SetSBMError(int code, const char* file, int line)
{
    Record(code, file, line, std::string());
}

void _SetSBMErrorDetail(int code, const char* file, int line, const char* format, ...)
{
    std::string detail;
    if (format != nullptr && format[0] != '\0') {
        char buffer[kSbmErrorMessageSize];
        va_list args;
        va_start(args, format);
        const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        if (length < 0 || static_cast<std::size_t>(length) > kMaxDetail) {
            detail = "フォーマットが長すぎる";
        } else {
            detail = buffer;
        }
    }
    Record(code, file, line, detail);
}

extern "C" {

int GetSBMLastError(void)
{
    return t_code;
}

const char* GetSBMLastErrorMessage(void)
{
    return t_message[0] != '\0' ? t_message : nullptr;
}

} // extern "C"
