#include "Utility/Tcp/Connector.h"

#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/lexical_cast.hpp>

#include "Utility/Log/ApplicationLoggerManager.h"
#include "Utility/Tcp/Connection.h"
#include "Utility/Tcp/Errors.h"
#include "Utility/Tcp/WsConnection.h"

namespace Orvane {
namespace Utility {
namespace Tcp {

using boost::asio::ip::tcp;

Connector::Connector() : port(0), receiveBufferSize(0) {}

Connector::~Connector() = default;

boost::shared_ptr<Connection> Connector::Connect(int timeout)
{
    try {
        const bool hasDeadline = timeout >= 0;
        const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(hasDeadline ? timeout : 0);
        const tcp::endpoint endpoint = ResolveAddress(hasDeadline, deadline);
        return Connect(endpoint, hasDeadline, deadline);
    } catch (const Exception&) {
        throw;
    } catch (const std::exception& e) {
        throw MakeError(Errors::kConnectException, e.what());
    }
}

tcp::endpoint Connector::ResolveAddress(bool hasDeadline, Deadline deadline)
{
    boost::asio::io_context io;
    tcp::resolver resolver(io);
    boost::asio::steady_timer timer(io);
    Step step;
    tcp::endpoint endpoint;

    resolver.async_resolve(host, boost::lexical_cast<std::string>(port), tcp::resolver::address_configured,
                           [&](const boost::system::error_code& error, const tcp::resolver::results_type& results) {
                               timer.cancel();
                               HandleResolve(step, endpoint, error, results);
                           });
    if (hasDeadline) {
        timer.expires_at(deadline);
        timer.async_wait([&](const boost::system::error_code& error) {
            // The lookup itself cannot be interrupted: stop waiting for it.
            HandleTimeout(step, error, [&] { io.stop(); });
        });
    }
    io.run();
    if (step.failure) {
        std::rethrow_exception(step.failure);
    }
    return endpoint;
}

void Connector::HandleResolve(Step& step, tcp::endpoint& endpoint, const boost::system::error_code& error,
                              const tcp::resolver::results_type& results)
{
    if (step.done) {
        return;
    }
    step.done = true;
    if (error || results.empty()) {
        const boost::system::error_code cause = error ? error : boost::asio::error::host_not_found;
        step.failure = std::make_exception_ptr(MakeError(Errors::kResolveFailed, host, port, cause));
        return;
    }
    // Only the first address is tried.
    endpoint = results.begin()->endpoint();
    ORVANE_LOG_TRACE("名前解決が完了しました。接続先=%1%", endpoint);
}

boost::shared_ptr<Connection> Connector::Connect(const tcp::endpoint& endpoint, bool hasDeadline, Deadline deadline)
{
    const boost::shared_ptr<Connection> connection = Connection::CreateInstance(receiveBufferSize);
    Step step;
    {
        boost::asio::steady_timer timer(connection->io_);
        {
            boost::recursive_mutex::scoped_lock lock(connection->mutex_);
            connection->socket_.async_connect(endpoint, [&](const boost::system::error_code& error) {
                timer.cancel();
                HandleConnect(step, *connection, error);
            });
        }
        if (hasDeadline) {
            timer.expires_at(deadline);
            timer.async_wait([&](const boost::system::error_code& error) {
                HandleTimeout(step, error, [&] {
                    // The pending connect ends as aborted and its socket is released.
                    boost::recursive_mutex::scoped_lock lock(connection->mutex_);
                    boost::system::error_code ignored;
                    connection->socket_.close(ignored);
                });
            });
        }
        connection->io_.run();
        connection->io_.restart();
    }
    if (step.failure) {
        std::rethrow_exception(step.failure);
    }
    return connection;
}

void Connector::HandleConnect(Step& step, Connection& connection, const boost::system::error_code& error)
{
    if (step.done) {
        return;
    }
    step.done = true;
    if (error) {
        step.failure = std::make_exception_ptr(MakeError(Errors::kConnectFailed, host, port, error));
        boost::recursive_mutex::scoped_lock lock(connection.mutex_);
        boost::system::error_code ignored;
        connection.socket_.close(ignored);
        return;
    }
    ORVANE_LOG_TRACE("接続しました。接続先=%1%", connection.RemoteAddress());
}

template <typename Abandon>
void Connector::HandleTimeout(Step& step, const boost::system::error_code& error, Abandon abandon)
{
    if (error == boost::asio::error::operation_aborted || step.done) {
        return;
    }
    step.done = true;
    if (error) {
        step.failure = std::make_exception_ptr(MakeError(Errors::kConnectTimerFailed, host, port, error));
    } else {
        step.failure = std::make_exception_ptr(MakeError(Errors::kConnectTimedOut, host, port));
    }
    abandon();
}

boost::shared_ptr<WsConnection> Connector::WsConnect(int timeout)
{
    if (receiveBufferSize == 0) {
        throw MakeError(Errors::kReceiveBufferSizeArgument);
    }
    try {
        boost::shared_ptr<WsConnection> connection;
        try {
            connection.reset(new WsConnection(receiveBufferSize));
        } catch (const std::exception& e) {
            throw MakeError(Errors::kWsCreateFailed, e.what());
        }
        connection->Start(wsUri, proxyUri, timeout);
        return connection;
    } catch (const Exception&) {
        throw;
    } catch (const std::exception& e) {
        throw MakeError(Errors::kConnectException, e.what());
    }
}

} // namespace Tcp
} // namespace Utility
} // namespace Orvane
