#pragma once

#include "support/loopback/HttpMessage.h"
#include "support/loopback/XmlElement.h"

#include <cstddef>
#include <string>
#include <vector>

namespace Orvane {
namespace Test {
namespace Loopback {

// A remote call as decoded from its "call" part (and "binary" part).
struct RemoteCall {
    std::string method; // Request/Kind
    bool hasTarget = false;
    std::string targetKind;
    std::string targetId;
    XmlElement request;   // the whole Request element
    XmlElement arguments; // its ArgumentList
    bool hasBinary = false;
    std::string binary;

    // Texts of the ArgumentList children of that name, in order.
    std::vector<std::string> Arguments(const std::string& name) const;
};

enum class MessageKind {
    Call,            // a multipart POST carrying a remote call
    Audio,           // an audio post
    Connect,         // a proxy tunnel request
    Acknowledgement, // the client's answer to a notification
    Other,           // any other request
};

const char* ToString(MessageKind kind);

// One message the server received, with what it checked and answered.
struct Received {
    MessageKind kind = MessageKind::Other;
    std::size_t connection = 0;
    HttpMessage http;
    RemoteCall call;                // Call
    std::string success;            // Acknowledgement: text of Success, empty when missing
    std::size_t notification = 0;   // Acknowledgement: which notification of the connection it answers
    std::string reply;              // the bytes written in answer; empty while none
    std::size_t arrivedBeforeReply = 0; // messages of any connection received when the reply was written
    std::vector<std::string> problems; // where the message differs from the protocol

    bool Clean() const { return problems.empty(); }
    std::string Problems() const;
};

struct ConnectionRecord {
    bool open = true;        // the server's socket is still open
    bool peerClosed = false; // the client closed its side (FIN)
    bool peerReset = false;  // the client reset the connection
    std::string audio;       // audio bytes of this connection, in order
    std::size_t notificationsSent = 0;
    std::size_t notificationsWaiting = 0; // queued behind an unanswered notification
    std::size_t held = 0;                 // replies held back
    std::vector<std::string> errors;      // framing errors; the server closed the connection
};

// Everything the server has received, in arrival order.
struct Recording {
    std::vector<Received> messages;
    std::vector<ConnectionRecord> connections;
    std::vector<std::string> serverErrors; // failures of the server itself

    // Copies, so that they outlive a temporary snapshot.
    std::vector<Received> Of(MessageKind kind) const;
    // Calls of that method; every call when `method` is empty.
    std::vector<Received> Calls(const std::string& method = std::string()) const;
    std::vector<Received> Acknowledgements() const { return Of(MessageKind::Acknowledgement); }
    std::size_t Count(MessageKind kind) const;
    std::size_t CallCount(const std::string& method = std::string()) const;
    // Audio bytes of all connections, connection by connection.
    std::string Audio() const;
    std::size_t HeldReplies() const;
    std::vector<std::string> Errors() const;
    // Problems of every message, one line each; empty when all were clean.
    std::string AllProblems() const;
};

} // namespace Loopback
} // namespace Test
} // namespace Orvane
