#pragma once

#include <string>

#include "Utility/ErrorText.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

using ::Orvane::Utility::ErrorText;

// Every error number and message text of the transport. Throw sites name the entry.
namespace Errors {

constexpr const char* kType = "Orvane::Utility::Tcp";

// 1: rejected arguments
constexpr ErrorText kReceiveBufferSizeArgument{1, "引数(receive_buffer_size)が不正です。"};
constexpr ErrorText kReceivedCallbackArgument{1, "引数(received_callback)が不正です。"};
constexpr ErrorText kBufferArgument{1, "引数(buffer)が不正です。"};
constexpr ErrorText kReceiveTimeoutCallbackArgument{1, "引数(receive_timeout_callback)が不正です。"};
constexpr ErrorText kEtcTimeoutCallbackArgument{1, "引数(etc_timeout_callback)が不正です。"};

// 2: wrong state
constexpr ErrorText kNotConnected{2, "コネクションは接続状態ではありません。"};

// 4: access outside a buffer
constexpr ErrorText kReceiveOutOfRange{
    4, "範囲外へのアクセスが発生しました。バッファサイズ=%1%, データ長=%2% + %3%"};
constexpr ErrorText kChunkOutOfRange{
    4, "範囲外へのアクセスが発生しました。バッファサイズ=%1%, 開始オフセット=%2%, 取得バッファ長=%3%"};
constexpr ErrorText kSentOutOfRange{
    4, "範囲外へのアクセスが発生しました。データ長=%1%, 送信完了データサイズ=%2% + %3%"};

// 20: timers
constexpr ErrorText kStartReceiveTimerFailed{20, "受信タイマの開始に失敗しました。リモートホスト=%1%, 原因=[%2%]"};
constexpr ErrorText kStopReceiveTimerFailed{20, "受信タイマの解除に失敗しました。リモートホスト=%1%, 原因=[%2%]"};
constexpr ErrorText kStartEtcTimerFailed{20, "ユーザタイマの開始に失敗しました。リモートホスト=%1%, 原因=[%2%]"};
constexpr ErrorText kWsStartReceiveTimerFailed{20, "受信タイマの開始に失敗しました。リモートホスト=%1% %2%"};
constexpr ErrorText kWsStopReceiveTimerFailed{20, "受信タイマの解除に失敗しました。リモートホスト=%1% %2%"};
constexpr ErrorText kWsStartEtcTimerFailed{20, "ユーザタイマの開始に失敗しました。リモートホスト=%1% %2%"};
constexpr ErrorText kTimerWaitFailed{20, "タイマ監視が失敗しました。リモートホスト=%1%"};
constexpr ErrorText kConnectTimerFailed{20, "接続のタイマ監視が失敗しました。接続先=%1%:%2%, 原因=[%3%]"};

// 21-23: connecting
constexpr ErrorText kResolveFailed{21, "接続先の名前解決ができませんでした。接続先=%1%:%2%, 原因=[%3%]"};
constexpr ErrorText kConnectFailed{22, "接続処理が失敗しました。接続先=%1%:%2%, 原因=[%3%]"};
constexpr ErrorText kConnectException{22, "接続処理中に例外が発生しました。原因=[%1%]"};
constexpr ErrorText kWsConnectFailed{22, "接続に失敗しました。リモートホスト=%1% %2% (%3%)"};
constexpr ErrorText kConnectTimedOut{23, "接続処理がタイムアウトしました。接続先=%1%:%2%"};

// 24-27: sending, creating and running a connection
constexpr ErrorText kSendFailed{24, "送信処理に失敗しました。リモートホスト=%1%, 原因=[%2%]"};
constexpr ErrorText kWsSendFailed{24, "送信処理に失敗しました。リモートホスト=%1% %2%"};
constexpr ErrorText kCreateFailed{25, "コネクションクラスのインスタンス生成に失敗しました。原因=[%1%]"};
constexpr ErrorText kWsCreateFailed{25, "コネクションクラスのインスタンス生成に失敗しました。%1%"};
constexpr ErrorText kRunPrepareFailed{
    26, "コネクションの送受信処理の準備処理に失敗しました。リモートホスト=%1%, 原因=[%2%]"};
constexpr ErrorText kRunFailed{27, "コネクションの送受信処理中に例外が発生しました。リモートホスト=%1%, 原因=[%2%]"};

} // namespace Errors

// The transport's exception for `error`, its placeholders filled from `args`.
template <typename... Args>
Exception MakeError(const ErrorText& error, const Args&... args)
{
    return ::Orvane::Utility::MakeError(Errors::kType, error, args...);
}

// The description of the exception being handled, for the "原因" of a message.
std::string CurrentExceptionText();

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
