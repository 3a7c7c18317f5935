#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/system/error_code.hpp>

#include "Utility/Exception.h"
#include "Utility/Tcp/ConnectionFunctions.h"
#include "support/WaitFor.h"

namespace Orvane {
namespace Test {

// One call of a connection's received function.
struct Delivery {
    std::string data;        // every unconsumed byte it was shown
    unsigned int received;   // the count that had just arrived
    boost::system::error_code error;
};

// Records what a connection reports: the calls of its received function and the timer
// expiries. A hook runs inside the received function, on the connection's loop thread
// (the thread inside Run for TCP, the WebSocket thread for WebSocket).
class ConnectionRecorder {
public:
    typedef std::function<void(const Delivery&)> Hook;

    Utility::Tcp::ReceivedFunction Received()
    {
        return [this](const unsigned char* data, unsigned int length, unsigned int received,
                      const boost::system::error_code& error) {
            const Delivery delivery{data && length ? std::string(reinterpret_cast<const char*>(data), length)
                                                   : std::string(),
                                    received, error};
            Hook hook;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                deliveries_.push_back(delivery);
                hook = hook_;
            }
            if (hook) {
                hook(delivery);
            }
        };
    }

    Utility::Tcp::TimeoutFunction Timeout(const std::string& name)
    {
        return [this, name] {
            std::lock_guard<std::mutex> lock(mutex_);
            ++timeouts_[name];
        };
    }

    void SetHook(Hook hook)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook_ = hook;
    }

    std::vector<Delivery> Deliveries()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return deliveries_;
    }

    // The bytes shown by the latest successful delivery.
    std::string Data()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = deliveries_.rbegin(); it != deliveries_.rend(); ++it) {
            if (!it->error) {
                return it->data;
            }
        }
        return std::string();
    }

    std::vector<boost::system::error_code> Errors()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<boost::system::error_code> errors;
        for (const Delivery& delivery : deliveries_) {
            if (delivery.error) {
                errors.push_back(delivery.error);
            }
        }
        return errors;
    }

    int Timeouts(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return timeouts_[name];
    }

private:
    std::mutex mutex_;
    std::vector<Delivery> deliveries_;
    std::map<std::string, int> timeouts_;
    Hook hook_;
};

// Runs a connection's Run on its own thread, as the HTTP controller's thread does, and
// keeps what Run raised. The destructor closes the connection and joins the thread.
template <typename ConnectionType>
class LoopRunner {
public:
    LoopRunner(boost::shared_ptr<ConnectionType> connection, Utility::Tcp::ReceivedFunction received)
        : connection_(connection), finished_(false), errorNo_(0)
    {
        thread_ = std::thread([this, received] {
            try {
                connection_->Run(received);
            } catch (const Utility::Exception& e) {
                std::lock_guard<std::mutex> lock(mutex_);
                errorNo_ = e.GetErrorNo();
                error_ = e.what();
            } catch (const std::exception& e) {
                std::lock_guard<std::mutex> lock(mutex_);
                errorNo_ = -1;
                error_ = e.what();
            }
            finished_ = true;
        });
    }

    ~LoopRunner()
    {
        connection_->Close();
        thread_.join();
    }

    LoopRunner(const LoopRunner&) = delete;
    LoopRunner& operator=(const LoopRunner&) = delete;

    bool WaitUntilFinished(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        return WaitFor([this] { return finished_.load(); }, timeout);
    }

    bool Finished() const { return finished_.load(); }

    // The thread that calls Run.
    std::thread::id ThreadId() const { return thread_.get_id(); }

    int ErrorNo()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return errorNo_;
    }

    std::string Error()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return error_;
    }

private:
    boost::shared_ptr<ConnectionType> connection_;
    std::atomic<bool> finished_;
    std::mutex mutex_;
    int errorNo_;
    std::string error_;
    std::thread thread_;
};

} // namespace Test
} // namespace Orvane
