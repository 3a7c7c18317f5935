#pragma once

#include <string>

#include "Client/Exception.h"
#include "Helper/Exception.h"
#include "Utility/ErrorText.h"

namespace Orvane {
namespace Helper {

using ::Orvane::Utility::ErrorText;

// Every error number and message text of the client helper. The helper's errors are of
// the client's type ("Orvane::Client"); 2000, 5000 and 7000 are the client's own entries.
namespace Errors {

constexpr ErrorText kNoServerAddress{1000, "サーバアドレスが指定されていません。"};
constexpr ErrorText kInvalidServerPort{1001, "サーバポート番号が指定されていないか不正な値です。"};
constexpr ErrorText kInvalidCompleteTimeout{1002, "認識結果取得タイムアウト時間が不正な値です。"};
constexpr ErrorText kInvalidRecognitionTimeout{1003, "音声入力タイムアウト時間が不正な値です。"};
constexpr ErrorText kInvalidSentenceTimeout{1004, "音声区間検出タイムアウト時間が不正な値です。"};
constexpr ErrorText kInvalidOstrelEnvMode{1005, "音声区間検出モード値が不正な値です。"};
constexpr ErrorText kNoUserAgent{1009, "UserAgentが指定されていません。"};
constexpr ErrorText kInvalidOption{1011, "その他の認識オプションが不正です。詳細=%1%"};
constexpr ErrorText kSpeechStartNotDetected{3000, "音声区間の始端が検出できません。"};
constexpr ErrorText kSpeechEndNotDetected{3001, "音声区間の終端が検出できません。"};
constexpr ErrorText kCaptureDeviceFailed{6000, "音声キャプチャデバイスが開始できません。詳細=%1%"};
// The flat interface's own failures, in English.
constexpr ErrorText kFlatInternal{7000, "internal error occurred. detail=%1%"};

} // namespace Errors

// The helper's errors, one function per error number. Each returns a new helper error
// over a client error of type "Orvane::Client", for the caller to throw (or hand on) by
// pointer; `encoding` is the code the helper was created with.
class Error {
public:
    // Takes over `error` and wraps it.
    static Exception* Wrap(int encoding, Client::Exception* error);
    // Takes over any error and gives it in `encoding` (Exception::ForEncoding).
    static Orvane::Exception* Adopt(int encoding, Orvane::Exception* error);

    static Exception* NoServerAddress(int encoding);                            // 1000
    static Exception* InvalidServerPort(int encoding);                          // 1001
    static Exception* InvalidCompleteTimeout(int encoding);                     // 1002
    static Exception* InvalidRecognitionTimeout(int encoding);                  // 1003
    static Exception* InvalidSentenceTimeout(int encoding);                     // 1004
    static Exception* InvalidOstrelEnvMode(int encoding);                       // 1005
    static Exception* NoUserAgent(int encoding);                                // 1009
    static Exception* InvalidOption(int encoding, const std::string& detail);   // 1011
    static Exception* InvalidState(int encoding, const std::string& detail);    // 2000
    static Exception* SpeechStartNotDetected(int encoding);                     // 3000
    static Exception* SpeechEndNotDetected(int encoding);                       // 3001
    static Exception* CannotConnect(int encoding, const std::string& detail);   // 5000
    static Exception* CaptureDeviceFailed(int encoding, const std::string& detail); // 6000
    static Exception* Internal(int encoding, const std::string& detail);        // 7000
    // The flat interface's 7000, "internal error occurred. detail=..." (a client error:
    // its text is the same in every encoding).
    static Client::Exception* FlatInternal(const std::string& detail);
};

} // namespace Helper
} // namespace Orvane
