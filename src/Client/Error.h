#pragma once

#include <string>

#include <boost/system/error_code.hpp>

#include "Client/Exception.h"
#include "Utility/ErrorText.h"
#include "Utility/Exception.h"

namespace Orvane {
namespace Client {

using ::Orvane::Utility::ErrorText;

// Every error number and message text of the recognition client.
namespace Errors {

constexpr const char* kType = "Orvane::Client";

constexpr ErrorText kUserAgentRefused{1010, "許可されていないUserAgentが指定されています。"};
constexpr ErrorText kInvalidState{2000, "状態が不正です。詳細=%1%"};
constexpr ErrorText kRecognitionTimeout{3002, "音声認識処理がタイムアウトしました。"};
constexpr ErrorText kInvalidResponse{4000, "受信したレスポンスが不正です。詳細=%1%"};
constexpr ErrorText kMissingNode{4001, "受信したレスポンスに期待されたノードが存在しません。"};
constexpr ErrorText kInvalidRequest{4002, "受信したリクエストが不正です。詳細=%1%"};
constexpr ErrorText kServerFault{4004, "音声認識サーバが異常な状態です。詳細=%1%"};
constexpr ErrorText kCannotConnect{5000, "音声認識サーバに接続できません。詳細=%1%"};
constexpr ErrorText kCommunicationFailed{5002, "通信で異常が発生しました。詳細=%1%"};
constexpr ErrorText kDisconnected{5006, "コネクションが切断されました。"};
constexpr ErrorText kDisconnectedBecause{5006, "コネクションが切断されました。詳細=%1%"};
constexpr ErrorText kInternal{7000, "内部エラーが発生しました。詳細=%1%"};
constexpr ErrorText kUnsupported{7001, "指定された処理は未サポートです。"};

// Internal: a reply, notification or error element lacks a child it must have.
constexpr ErrorText kMissingElement{3, "必要な要素が存在しません。要素=%1%/%2%"};

} // namespace Errors

// The client's errors by name, one function per entry of the table above. Each returns a
// new exception of type "Orvane::Client" for the caller to throw (or hand on) by pointer.
class Error {
public:
    static const char* const Type;

    static Exception* UserAgentRefused();                             // 1010
    static Exception* InvalidState(const std::string& detail);        // 2000
    static Exception* RecognitionTimeout();                           // 3002
    static Exception* InvalidResponse(const std::string& detail);     // 4000
    static Exception* MissingNode();                                  // 4001
    static Exception* InvalidRequest(const std::string& detail);      // 4002
    static Exception* ServerFault(const std::string& detail);         // 4004
    static Exception* CannotConnect(const std::string& detail);       // 5000
    static Exception* CommunicationFailed(const std::string& detail); // 5002
    static Exception* Disconnected();                                 // 5006
    // 5006 for the end of the connection in the middle of a message, or for a WebSocket
    // close of the server that says why, with the cause in the detail; 5002 with the
    // code's message for any other transport failure.
    static Exception* TransportFailure(const boost::system::error_code& error);
    static Exception* Internal(const std::string& detail);            // 7000
    static Exception* Unsupported();                                  // 7001

    // The internal error for a reply, notification or error element that lacks a child
    // it must have; the caller reports it as a malformed message.
    static Utility::Exception MissingElement(const std::string& parent, const std::string& child);
};

} // namespace Client
} // namespace Orvane
