#pragma once

#include "Utility/ErrorText.h"

namespace Orvane {
namespace Utility {
namespace Vad {

using ::Orvane::Utility::ErrorText;

// Every error number and message text of the detector and of its engine wrapper. Throw
// sites name the entry.
namespace Errors {

constexpr const char* kType = "Orvane::Utility::Vad";

// The detector's errors.
constexpr ErrorText kConfigNotFound{1, "OSTRELファイルが見つかりません．ファイル名=[%1%]"};
constexpr ErrorText kModelEmpty{2, "OSTRELファイルが空です．ファイル名=[%1%]"};
constexpr ErrorText kModelOpen{3, "OSTRELファイルのオープンに失敗しました．ファイル名=[%1%]"};
constexpr ErrorText kModelRead{4, "OSTRELファイルの読込に失敗しました．ファイル名=[%1%]"};
constexpr ErrorText kCreateFailed{6, "Detectorの生成に失敗しました．原因=[%1%]"};
constexpr ErrorText kDetectFailed{9, "OSTREL音声区間検出に失敗しました．原因=[%1%]"};
constexpr ErrorText kNoStartInTime{12, "指定時間内に音声始端を検知できませんでした．"};
constexpr ErrorText kNoEndInTime{13, "指定時間内に音声終端を検知できませんでした．"};

// Causes of errors 6 and 9 that the detector finds itself.
constexpr const char* kModelTooLarge = "OSTRELファイルが大きすぎます．";
constexpr const char* kNoInput = "入力データがありません。";
constexpr const char* kOutputTooLarge = "データサイズが規定値を超えています。";

// The engine wrapper's own messages (OSTRELError carries a message and no number).
constexpr const char* kUndefinedVariable = "定義されていない環境変数が指定されました";
constexpr const char* kUnsupportedVariable = "サポート外の環境変数が指定されました";
constexpr const char* kUntypedVariable = "環境変数の型が定義されていません";

} // namespace Errors

// The detector's exception for `error`, its placeholders filled from `args`.
template <typename... Args>
Exception MakeError(const ErrorText& error, const Args&... args)
{
    return ::Orvane::Utility::MakeError(Errors::kType, error, args...);
}

} // namespace Vad
} // namespace Utility
} // namespace Orvane
