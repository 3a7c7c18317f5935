#include "Utility/Http/MessageEndpoint.h"

#include "Utility/Http/RequestListener.h"
#include "Utility/Http/ResponseListener.h"

namespace Orvane {
namespace Utility {
namespace Http {

template <typename Listener>
MessageEndpoint<Listener>::MessageEndpoint(int state) : state_(state)
{
}

template <typename Listener>
MessageEndpoint<Listener>::~MessageEndpoint() = default;

template <typename Listener>
void MessageEndpoint<Listener>::HandOver(const SendFunction& send, const boost::shared_ptr<Tcp::Buffer>& buffer,
                                         const ErrorText& error)
{
    try {
        send(buffer);
    } catch (const std::exception& e) {
        throw MakeError(error, e.what());
    }
}

template <typename Listener>
void MessageEndpoint<Listener>::SetSendFunction(const SendFunction& function)
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    if (!function) {
        throw MakeError(Errors::kSendFunctionArgument);
    }
    if (sendFunction_) {
        throw MakeError(Errors::kSendFunctionAlreadySet);
    }
    sendFunction_ = function;
}

template <typename Listener>
void MessageEndpoint<Listener>::SetListener(const boost::shared_ptr<Listener>& listener)
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    listener_ = listener;
}

template <typename Listener>
boost::shared_ptr<Listener> MessageEndpoint<Listener>::GetListener() const
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    return listener_;
}

template <typename Listener>
void MessageEndpoint<Listener>::SetState(int state)
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    state_ = state;
}

template <typename Listener>
int MessageEndpoint<Listener>::GetState() const
{
    boost::recursive_mutex::scoped_lock lock(mutex_);
    return state_;
}

// The requester's and the respondent's.
template class MessageEndpoint<ResponseListener>;
template class MessageEndpoint<RequestListener>;

} // namespace Http
} // namespace Utility
} // namespace Orvane
