#pragma once

#include <string>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "Utility/Http/Controller.h"
#include "Utility/Http/Parser.h"
#include "support/ConnectionRigs.h"
#include "support/HttpRecorders.h"

namespace Orvane {
namespace Test {

// The controller's three timer values, in ms (negative: not armed).
struct ControllerTimers {
    int receive = -1;
    int send = 10000;
    int response = -1;
};

// An HTTP controller over the connection of a TcpRig or a WsRig, with recording listeners
// installed on its requester and respondent. Not started; stopped when it goes.
template <typename Rig>
struct ControllerRig {
    static constexpr const char* kUserAgent = "TessivalTest/1.0";

    template <typename... RigArguments>
    explicit ControllerRig(ControllerTimers timers = ControllerTimers(), RigArguments... arguments)
        : rig(arguments...),
          controller(Utility::Http::Controller::CreateInstance(rig.connection, kUserAgent, timers.receive,
                                                               timers.send, timers.response)),
          responses(boost::make_shared<RecordingResponseListener>()),
          requests(boost::make_shared<RecordingRequestListener>())
    {
        controller->GetRequester()->SetListener(responses);
        controller->GetRespondent()->SetListener(requests);
    }

    ~ControllerRig() { controller->Stop(); }

    ControllerRig(const ControllerRig&) = delete;
    ControllerRig& operator=(const ControllerRig&) = delete;

    // One whole message that the client sent, read at the peer (the client must send
    // nothing behind it meanwhile).
    std::string PeerReceivesMessage()
    {
        std::string bytes;
        Utility::Http::Parser parser;
        while (bytes.empty() ||
               !parser.Parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())) {
            bytes += rig.PeerReceivesSome();
        }
        return bytes;
    }

    Rig rig;
    boost::shared_ptr<Utility::Http::Controller> controller;
    boost::shared_ptr<RecordingResponseListener> responses;
    boost::shared_ptr<RecordingRequestListener> requests;
};

} // namespace Test
} // namespace Orvane
