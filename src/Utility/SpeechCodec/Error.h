#pragma once

#include <string>

#include "Utility/ErrorText.h"
#include "Utility/Exception.h"

namespace Orvane {
namespace Utility {
namespace SpeechCodec {

using ::Orvane::Utility::ErrorText;

// Every error number and message text of the speech codec.
namespace Errors {

constexpr const char* kType = "Orvane::Utility::SpeechCodec";

constexpr ErrorText kUnknownCodec{1, "規定外のコーデック名が指定されました.コーデック名=[%1%]"};
constexpr ErrorText kInvalidMode{3, "モードの指定が不正です．値=[%1%]"};
constexpr ErrorText kInvalidSamplingFrequency{4, "サンプリング周波数の指定が不正です．値=[%1%]"};
constexpr ErrorText kCreationFailed{7, "エンコーダの作成に失敗しました．対象=[%1%] サンプリング周波数[%2%] 原因=[%3%]"};
constexpr ErrorText kUnsupportedCodec{9, "エンコードモジュールで未サポートのコーデック[%1%]です．"};
constexpr ErrorText kEncodeFailed{10, "エンコードに失敗しました．原因=[%1%]"};

} // namespace Errors

// The speech codec's errors by name, one function per entry of the table above; each
// returns the exception for the caller to throw by value.
class Error {
public:
    static const char* const Type;

    static Exception UnknownCodec(const std::string& name);                                         // 1
    static Exception InvalidMode(const std::string& mode);                                          // 3
    static Exception InvalidSamplingFrequency(double frequency);                                    // 4
    static Exception CreationFailed(const char* codec, double frequency, const char* cause);        // 7
    static Exception CreationFailed(const std::string& codec, double frequency, const char* cause); // 7
    static Exception UnsupportedCodec(const std::string& name);                                     // 9
    static Exception EncodeFailed(const char* cause);                                               // 10
};

} // namespace SpeechCodec
} // namespace Utility
} // namespace Orvane
