#pragma once

#include <cstdint>
#include <deque>

#include "Helper/VoiceFilter.h"

namespace Orvane {
namespace Helper {

// Joins every 12 blocks into one, in arrival order; at a stop without discard the blocks
// still held go on as one shorter block.
class CombineFilter : public VoiceFilter {
public:
    static const int GroupSize = 12;

    CombineFilter();

    void OnStart() override;
    void OnStop(bool discard) override;
    void OnInput(boost::shared_ptr<DataBuffer> block) override;

private:
    void Flush();

    std::deque<boost::shared_ptr<DataBuffer>> held_;
    int heldCount_;
    uint64_t heldBytes_;
};

} // namespace Helper
} // namespace Orvane
