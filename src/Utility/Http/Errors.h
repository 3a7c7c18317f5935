#pragma once

#include "Utility/ErrorText.h"

namespace Orvane {
namespace Utility {
namespace Http {

using ::Orvane::Utility::ErrorText;

// Every error number and message text of the HTTP layer. Throw sites name the entry.
namespace Errors {

constexpr const char* kType = "Orvane::Utility::Http";

// 1: rejected arguments
constexpr ErrorText kSendFunctionArgument{1, "引数(send_function)が不正です。"};
constexpr ErrorText kConnectionArgument{1, "引数(connection_pointer)が不正です。"};
constexpr ErrorText kWsConnectionArgument{1, "引数(ws_connection_pointer)が不正です。"};

// 2: wrong state
constexpr ErrorText kSendFunctionAlreadySet{2, "既に送信関数は設定されています。"};
constexpr ErrorText kSendFunctionNotSet{2, "送信関数は設定されていません。"};
constexpr ErrorText kRequestNotSendable{2, "リクエストを送信できる状態ではありません。状態=%1%"};
constexpr ErrorText kResponseNotSendable{2, "レスポンスを送信できる状態ではありません。状態=%1%"};
constexpr ErrorText kNoResponseListener{
    2, "レスポンスリスナが登録されていない状態でレスポンス電文を受信しました。"};
constexpr ErrorText kNoRequestListener{
    2, "リクエストリスナが登録されていない状態でリクエスト電文を受信しました。"};
constexpr ErrorText kRequestBeforeAnswer{2, "レスポンス電文の応答前にリクエストを受信しました。状態=%1%"};
constexpr ErrorText kParseNotComplete{2, "解析が完了していません。"};
constexpr ErrorText kParseAlreadyComplete{2, "解析が既に完了しています。"};
constexpr ErrorText kParsedNotResponse{2, "解析対象がレスポンス電文ではありません。"};
constexpr ErrorText kNotStartable{2, "開始処理を行える状態ではありません。"};
constexpr ErrorText kNotSendable{2, "送信処理を行える状態ではありません。"};

// 3: malformed received message or header value
constexpr ErrorText kNoMethodOrVersionField{3, "メソッド名またはHTTPバージョンのフィールドを特定できません。"};
constexpr ErrorText kNoStatusOrUriField{3, "ステータスコードまたはURIのフィールドを特定できません。"};
constexpr ErrorText kBadVersion{3, "HTTPバージョンの形式が不正です。"};
constexpr ErrorText kBadStatusCode{3, "ステータスコードの形式が不正です。原因=[%1%]"};
constexpr ErrorText kStartLineNotCrlf{3, "リクエストラインまはたステータスラインの改行がCRLFではありません。"};
constexpr ErrorText kHeaderLineNotCrlf{3, "ヘッダラインの改行がCRLFではありません。"};
constexpr ErrorText kNoHeaderSeparator{3, "ヘッダ名と値の区切り文字が存在しません。"};
constexpr ErrorText kBadContentLength{3, "Content-Lengthの形式が不正です。原因=[%1%]"};
constexpr ErrorText kBadPartLengthValue{3, "マルチパート電文のコンテントレングスの値が不正です。"};
constexpr ErrorText kBadMultipart{3, "マルチパート電文の形式が不正です。"};
constexpr ErrorText kBoundaryMismatch{3, "バウンダリ文字列が不一致です。"};
constexpr ErrorText kPartHeaderNotCrlf{3, "マルチパート電文のボディ部のヘッダラインの改行がCRLFではありません。"};
constexpr ErrorText kNoPartHeaderSeparator{3, "マルチパート電文のボディ部のヘッダ名と値の区切り文字が存在しません。"};
constexpr ErrorText kBadPartContentLength{3, "マルチパート電文のボディ部のContent-Lengthの形式が不正です。原因=[%1%]"};
constexpr ErrorText kNoPartDataSeparator{3, "マルチパート電文のボディ部のデータ区切りが存在しません。"};
constexpr ErrorText kPartDataNotCrlf{3, "マルチパート電文のボディ部のデータの終端がCRLFではありません。"};
constexpr ErrorText kNoParameterSeparator{3, "パラメータの名前と値の区切り文字が存在しません。ヘッダ値=%1%"};
constexpr ErrorText kEmptyParameterName{3, "パラメータ名が空文字列です。"};
constexpr ErrorText kEmptyParameterValue{3, "パラメータ値が空文字列です。"};
// Bounds on what a peer can make the receive buffer hold.
constexpr ErrorText kHeaderBlockTooLarge{3, "ヘッダ部のサイズが上限を超えています。上限=%1%バイト"};
constexpr ErrorText kMessageTooLarge{3, "HTTP電文のサイズが上限を超えています。上限=%1%バイト"};
constexpr ErrorText kConflictingContentLength{3, "Content-Lengthが複数あり、値が一致しません。値=%1%, %2%"};

// 5: invalid value given to a message writer
constexpr ErrorText kInvalidStatusCode{5, "指定されたステータスコードは不正です。値=%1%"};
constexpr ErrorText kInvalidContentType{5, "指定されたコンテントタイプは不正です。値=%1%"};
constexpr ErrorText kInvalidBoundary{5, "バウンダリ文字列が不正です。"};
constexpr ErrorText kInvalidFieldCharacter{5, "%1%に使用できない文字(CR, LF, NUL)が含まれています。"};
constexpr ErrorText kInvalidBodyPart{5, "ボディパートのデータが不正です。"};
constexpr ErrorText kMessageTooLong{5, "電文のサイズが上限を超えています。サイズ=%1%"};

// 6: missing header or parameter
constexpr ErrorText kMissingValue{6, "%1%が存在しません。"};

// 7: thread creation
constexpr ErrorText kThreadStartFailed{7, "HTTP制御処理スレッドの生成処理で例外が発生しました。原因=[%1%]"};

// 40, 42: building the controller
constexpr ErrorText kControllerCreateFailed{40, "HTTP制御クラスのインスタンス生成に失敗しました。原因=[%1%]"};
constexpr ErrorText kRequesterCreateFailed{42, "リクエスタクラスのインスタンス生成に失敗しました。原因=[%1%]"};

// 44-47: building, sending or parsing a message failed
constexpr ErrorText kBuildRequestFailed{44, "リクエスト電文の作成処理で例外が発生しました。原因=[%1%]"};
constexpr ErrorText kBuildResponseFailed{44, "レスポンス電文の作成処理で例外が発生しました。原因=[%1%]"};
constexpr ErrorText kBuildMultipartResponseFailed{44, "レスポンス電文の作成処理で例外が発生しました。。原因=[%1%]"};
constexpr ErrorText kSendRequestFailed{45, "リクエスト電文の送信処理で例外が発生しました。原因=[%1%]"};
constexpr ErrorText kSendResponseFailed{45, "レスポンス電文の送信処理で例外が発生しました。原因=[%1%]"};
constexpr ErrorText kSendMultipartResponseFailed{46, "レスポンス電文の送信処理で例外が発生しました。原因=[%1%]"};
constexpr ErrorText kParseFailed{47, "HTTP電文がパースできませんでした。原因=[%1%]"};

} // namespace Errors

// The layer's exception for `error`, its placeholders filled from `args`.
template <typename... Args>
Exception MakeError(const ErrorText& error, const Args&... args)
{
    return ::Orvane::Utility::MakeError(Errors::kType, error, args...);
}

} // namespace Http
} // namespace Utility
} // namespace Orvane
