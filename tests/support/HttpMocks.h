#pragma once

// Mock listeners of the HTTP layer and a send function that records what it is given.

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <gmock/gmock.h>

#include "Utility/Http/RequestInformation.h"
#include "Utility/Http/RequestListener.h"
#include "Utility/Http/Respondent.h"
#include "Utility/Http/ResponseInformation.h"
#include "Utility/Http/ResponseListener.h"
#include "Utility/Tcp/Buffer.h"

namespace Orvane {
namespace Test {

class MockResponseListener : public Utility::Http::ResponseListener {
public:
    MOCK_METHOD(void, OnReceived, (const Utility::Http::ResponseInformation& response), (override));
    MOCK_METHOD(void, OnError, (int kind, const boost::system::error_code& error), (override));
    MOCK_METHOD(void, OnClosed, (), (override));
};

class MockRequestListener : public Utility::Http::RequestListener {
public:
    MOCK_METHOD(void, OnReceived,
                (Utility::Http::Respondent & respondent, const Utility::Http::RequestInformation& request),
                (override));
    MOCK_METHOD(void, OnError, (int kind, const boost::system::error_code& error), (override));
    MOCK_METHOD(void, OnClosed, (), (override));
};

// Keeps the bytes of every buffer handed to it; raises `failure` instead when it is set.
class RecordingSender {
public:
    void operator()(boost::shared_ptr<Utility::Tcp::Buffer> buffer)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure.empty()) {
            throw std::runtime_error(failure);
        }
        messages_.emplace_back(buffer->storage.begin(), buffer->storage.begin() + buffer->dataLength);
    }

    std::vector<std::string> Messages() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

    std::string failure;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
};

} // namespace Test
} // namespace Orvane
