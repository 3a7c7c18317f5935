#pragma once

#include <boost/shared_ptr.hpp>

#include "Helper/DataBuffer.h"

namespace Orvane {
namespace Helper {

// Receives every block a filter emits: the next filter, or the voice buffer.
class VoiceFilterListener {
public:
    virtual void OnFilterOutput(boost::shared_ptr<DataBuffer> /*block*/) {}

protected:
    ~VoiceFilterListener() = default;
};

} // namespace Helper
} // namespace Orvane
