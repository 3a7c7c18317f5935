#pragma once

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <utility>

#include <boost/asio/associated_allocator.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/detail/handler_alloc_helpers.hpp>
#include <boost/asio/detail/handler_cont_helpers.hpp>
#include <boost/asio/detail/handler_invoke_helpers.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/function.hpp>
#include <boost/system/error_code.hpp>

namespace Orvane {
namespace Utility {
namespace Tcp {

// The TLS stream as websocketpp reads and writes it, showing every read's bytes to an
// observer before the reader gets them, telling it when the next read starts (the reader
// has then handled the bytes before), and telling it of a read that fails, before the
// reader hears of it. Writes pass through untouched.
class ReadCountingStream {
public:
    typedef boost::asio::ssl::stream<boost::asio::ip::tcp::socket> Next;
    typedef Next::executor_type executor_type;
    // Called on the thread that completes the read, with the bytes it brought.
    typedef boost::function<void(const unsigned char* data, std::size_t size)> ReadObserver;
    typedef boost::function<void()> ReadStartObserver;
    // Called with a read's error other than a cancellation: the end of the stream (EOF, a
    // TLS short read) or a failure of the socket.
    typedef boost::function<void(const boost::system::error_code& error)> ReadEndObserver;

    struct Observers {
        ReadObserver read;
        ReadStartObserver start;
        ReadEndObserver end;
    };

    ReadCountingStream() : next_(nullptr) {}

    void Observe(const Observers& observers) { observers_ = observers; }

    // The stream below, once it exists.
    void Attach(Next& next) { next_ = &next; }

    executor_type get_executor() { return next_->get_executor(); }

    template <typename Buffers, typename Handler>
    void async_read_some(const Buffers& buffers, Handler&& handler)
    {
        if (observers_.start) {
            observers_.start();
        }
        next_->async_read_some(buffers, Counted<Buffers, typename std::decay<Handler>::type>(
                                            buffers, std::forward<Handler>(handler), &observers_));
    }

    template <typename Buffers, typename Handler>
    auto async_write_some(const Buffers& buffers, Handler&& handler)
        -> decltype(std::declval<Next&>().async_write_some(buffers, std::forward<Handler>(handler)))
    {
        return next_->async_write_some(buffers, std::forward<Handler>(handler));
    }

    // The reader's handler with the observer in front; asio's hooks and associations
    // reach the reader's handler, so it runs where it would have run.
    template <typename Buffers, typename Handler>
    class Counted {
    public:
        Counted(const Buffers& buffers, Handler handler, const Observers* observers)
            : buffers_(buffers), handler_(std::move(handler)), observers_(observers)
        {
        }

        void operator()(const boost::system::error_code& error, std::size_t size)
        {
            if (!error && observers_->read) {
                Observe(size);
            } else if (error && error != boost::asio::error::operation_aborted && observers_->end) {
                observers_->end(error);
            }
            handler_(error, size);
        }

        Handler& Inner() { return handler_; }
        const Handler& Inner() const { return handler_; }

    private:
        void Observe(std::size_t size)
        {
            for (auto it = boost::asio::buffer_sequence_begin(buffers_);
                 size != 0 && it != boost::asio::buffer_sequence_end(buffers_); ++it) {
                const boost::asio::mutable_buffer buffer(*it);
                const std::size_t part = std::min(size, buffer.size());
                observers_->read(static_cast<const unsigned char*>(buffer.data()), part);
                size -= part;
            }
        }

        Buffers buffers_;
        Handler handler_;
        const Observers* observers_;
    };

private:
    Next* next_;
    Observers observers_;
};

template <typename Buffers, typename Handler>
inline void* asio_handler_allocate(std::size_t size, ReadCountingStream::Counted<Buffers, Handler>* handler)
{
    return boost_asio_handler_alloc_helpers::allocate(size, handler->Inner());
}

template <typename Buffers, typename Handler>
inline void asio_handler_deallocate(void* pointer, std::size_t size,
                                    ReadCountingStream::Counted<Buffers, Handler>* handler)
{
    boost_asio_handler_alloc_helpers::deallocate(pointer, size, handler->Inner());
}

template <typename Buffers, typename Handler>
inline bool asio_handler_is_continuation(ReadCountingStream::Counted<Buffers, Handler>* handler)
{
    return boost_asio_handler_cont_helpers::is_continuation(handler->Inner());
}

template <typename Function, typename Buffers, typename Handler>
inline void asio_handler_invoke(Function& function, ReadCountingStream::Counted<Buffers, Handler>* handler)
{
    boost_asio_handler_invoke_helpers::invoke(function, handler->Inner());
}

template <typename Function, typename Buffers, typename Handler>
inline void asio_handler_invoke(const Function& function, ReadCountingStream::Counted<Buffers, Handler>* handler)
{
    boost_asio_handler_invoke_helpers::invoke(function, handler->Inner());
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane

namespace boost {
namespace asio {

template <typename Buffers, typename Handler, typename Executor>
struct associated_executor<Orvane::Utility::Tcp::ReadCountingStream::Counted<Buffers, Handler>, Executor> {
    typedef typename associated_executor<Handler, Executor>::type type;
    static type get(const Orvane::Utility::Tcp::ReadCountingStream::Counted<Buffers, Handler>& handler,
                    const Executor& executor = Executor())
    {
        return associated_executor<Handler, Executor>::get(handler.Inner(), executor);
    }
};

template <typename Buffers, typename Handler, typename Allocator>
struct associated_allocator<Orvane::Utility::Tcp::ReadCountingStream::Counted<Buffers, Handler>, Allocator> {
    typedef typename associated_allocator<Handler, Allocator>::type type;
    static type get(const Orvane::Utility::Tcp::ReadCountingStream::Counted<Buffers, Handler>& handler,
                    const Allocator& allocator = Allocator())
    {
        return associated_allocator<Handler, Allocator>::get(handler.Inner(), allocator);
    }
};

} // namespace asio
} // namespace boost
