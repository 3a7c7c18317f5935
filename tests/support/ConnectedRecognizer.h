#pragma once

#include <cstddef>
#include <string>

#include "Client/Recognizer.h"
#include "support/LoopbackSession.h"
#include "support/Owned.h"
#include "support/RecordingListeners.h"
#include "support/loopback/LoopbackServer.h"

namespace Orvane {
namespace Test {

// A recognizer connected over TCP to a loopback server, with a recording recognizer
// listener. Members end in reverse order: recognizer, session, listener, server.
class ConnectedRecognizer {
public:
    ConnectedRecognizer()
    {
        server.Start();
        session = LoopbackSession(server);
        recognizer.reset(session->Connect(nullptr));
        recognizer->SetListener(&listener);
    }

    Client::Recognizer& Client() { return static_cast<Client::Recognizer&>(*recognizer); }
    int State() { return Client().GetState(); }
    // Everything the server received so far.
    std::size_t ReceivedCount() const { return server.Snapshot().messages.size(); }
    std::size_t Calls(const std::string& method) const { return server.Snapshot().CallCount(method); }
    // The last call of `method`.
    Loopback::RemoteCall LastCall(const std::string& method) const
    {
        const std::vector<Loopback::Received> calls = server.Snapshot().Calls(method);
        return calls.empty() ? Loopback::RemoteCall() : calls.back().call;
    }

    Loopback::LoopbackServer server;
    EventLog log;
    RecordingRecognizerListener listener{log};
    Owned<Orvane::Session> session;
    Owned<Orvane::Recognizer> recognizer;
};

} // namespace Test
} // namespace Orvane
