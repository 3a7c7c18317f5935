#include "Vad/quillet_error_common.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "Orvane/Vad/VadEngine.h"

namespace {

constexpr std::size_t kMaxFormat = 412;

thread_local int t_code = 0;
thread_local char t_message[kVadErrorMessageSize] = "";

const char* CodeText(int code)
{
    switch (code) {
    case 0: return "";
    case VAD_ERR_UNDEFINED_ENV: return "定義されていない環境変数";
    case VAD_ERR_ENV_TYPE: return "定義とは異なる型の環境変数";
    case VAD_ERR_ENV_SIZE: return "環境変数のchar型の設定値の取得において領域サイズが足りない";
    case VAD_ERR_ENV_VALUE: return "環境変数の設定値エラー";
    case VAD_ERR_ENV_RULE: return "指定された設定値が条件と合致しない";
    case VAD_ERR_GMM_OPEN: return "GMMモデルファイルのオープンに失敗";
    case VAD_ERR_GMM_INVALID: return "無効な音声モデルの読み込み";
    case VAD_ERR_GMM_WRITE: return "音声モデルの書き込みに失敗";
    case VAD_ERR_NOT_STARTED: return "音声区間検出が開始していない";
    case VAD_ERR_TOO_LONG: return "音声時間長が長すぎる";
    case VAD_ERR_WAVE_WRITE: return "音声データの書き込みに失敗";
    case VAD_ERR_CONFIG_OPEN: return "コンフィグファイルのオープンに失敗";
    case VAD_ERR_OPTION: return "関数のオプション等に関連するエラー";
    case VAD_ERR_NULL: return "引数不正（NULL）";
    case VAD_ERR_RANGE: return "引数不正（範囲）";
    case VAD_ERR_COMBINATION: return "引数不正（組合せ）";
    case VAD_ERR_MEMORY: return "メモリ不足により処理の続行が不可能";
    case VAD_ERR_INTERNAL: return "INTERNAL エラー";
    default: return "不明なエラーコード";
    }
}

// What follows the last slash of `file`, else its last backslash, else nothing.
const char* BaseName(const char* file)
{
    const char* slash = std::strrchr(file, '/');
    if (slash == nullptr) {
        slash = std::strrchr(file, '\\');
    }
    return slash != nullptr ? slash + 1 : "";
}

void Record(int code, const char* file, int line, const char* detail)
{
    _SetNoError();
    t_code = code;

    std::string filePart;
    if (file != nullptr && file[0] != '\0') {
        filePart = std::string("FILE:") + BaseName(file);
    }
    const std::string linePart = "LINE:" + std::to_string(line);
    const std::string head = std::to_string(code) + " " + CodeText(code) + " ";
    std::string message;
    // The message and its terminator must fit the record.
    if (head.size() + std::strlen(detail) + filePart.size() + linePart.size() + 2 < kVadErrorMessageSize) {
        message = head + filePart + " " + linePart + " " + detail;
    } else {
        message = std::to_string(code) + "  エラーメッセージが長すぎる  " + filePart + " " + linePart;
    }
    const std::size_t n = message.size() < kVadErrorMessageSize ? message.size() : kVadErrorMessageSize - 1;
    std::memcpy(t_message, message.data(), n);
    t_message[n] = '\0';
}

} // namespace

void _SetNoError()
{
    t_code = 0;
    t_message[0] = '\0';
}

void _SetError(int code, const char* file, int line)
{
    Record(code, file, line, "");
}

void _SetErrorDetail(int code, const char* file, int line, const char* format, ...)
{
    // The detail is held to the record's size; a longer expansion is cut.
    char detail[kVadErrorMessageSize] = "";
    if (format != nullptr && format[0] != '\0') {
        if (std::strlen(format) > kMaxFormat) {
            std::snprintf(detail, sizeof detail, "%s", "フォーマットが長すぎる");
        } else {
            va_list args;
            va_start(args, format);
            std::vsnprintf(detail, sizeof detail, format, args);
            va_end(args);
        }
    }
    Record(code, file, line, detail);
}

extern "C" {

int GetVADLastError(void)
{
    return t_code;
}

const char* GetVADLastErrorMessage(void)
{
    return t_message;
}

} // extern "C"
