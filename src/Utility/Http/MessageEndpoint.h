#pragma once

#include <exception>

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "Utility/Http/Errors.h"
#include "Utility/Http/SendFunction.h"

namespace Orvane {
namespace Utility {
namespace Http {

// What the requester and the respondent share: the send function that takes their
// messages, the listener that their received messages go to, and their state.
//
// Its mutex guards all three; nothing is called while it is held.
template <typename Listener>
class MessageEndpoint : private boost::noncopyable {
public:
    virtual ~MessageEndpoint();

    // Installs the send function, once; error 1 for an empty one, 2 for a second one.
    void SetSendFunction(const SendFunction& function);

    void SetListener(const boost::shared_ptr<Listener>& listener);
    boost::shared_ptr<Listener> GetListener() const;
    // The controller sets the ended state when the connection failed or closed.
    void SetState(int state);
    int GetState() const;

protected:
    explicit MessageEndpoint(int state);

    // A new message buffer filled by `write`; whatever it raises becomes `error`.
    template <typename Writer>
    static boost::shared_ptr<Tcp::Buffer> WriteMessage(const Writer& write, const ErrorText& error);

    // Hands `buffer` to `send`; whatever it raises becomes `error`.
    static void HandOver(const SendFunction& send, const boost::shared_ptr<Tcp::Buffer>& buffer,
                         const ErrorText& error);

    mutable boost::recursive_mutex mutex_;
    SendFunction sendFunction_;
    int state_;

private:
    boost::shared_ptr<Listener> listener_;
};

template <typename Listener>
template <typename Writer>
boost::shared_ptr<Tcp::Buffer> MessageEndpoint<Listener>::WriteMessage(const Writer& write, const ErrorText& error)
{
    static const unsigned int kGrowthUnit = 1024;
    boost::shared_ptr<Tcp::Buffer> buffer;
    try {
        buffer.reset(new Tcp::Buffer(kGrowthUnit, nullptr, 0));
        write(*buffer);
    } catch (const std::exception& e) {
        throw MakeError(error, e.what());
    }
    return buffer;
}

} // namespace Http
} // namespace Utility
} // namespace Orvane
