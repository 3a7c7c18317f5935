#include "Helper/CombineFilter.h"

#include <cstring>
#include <limits>

namespace Orvane {
namespace Helper {

CombineFilter::CombineFilter() : heldCount_(0), heldBytes_(0) {}

void CombineFilter::OnStart()
{
    heldCount_ = 0;
    heldBytes_ = 0;
}

void CombineFilter::OnInput(boost::shared_ptr<DataBuffer> block)
{
    if (!block) {
        return;
    }
    // A joined block counts its bytes in 32 bits.
    if (heldBytes_ + block->GetSize() > std::numeric_limits<uint32_t>::max()) {
        Flush();
    }
    held_.push_back(block);
    heldBytes_ += block->GetSize();
    if (++heldCount_ >= GroupSize) {
        Flush();
    }
}

void CombineFilter::OnStop(bool discard)
{
    if (discard) {
        held_.clear();
        heldBytes_ = 0;
        heldCount_ = 0;
        return;
    }
    if (!held_.empty()) {
        Flush();
    }
}

void CombineFilter::Flush()
{
    boost::shared_ptr<DataBuffer> joined(new DataBuffer(static_cast<uint32_t>(heldBytes_)));
    char* out = joined->GetData();
    for (const auto& block : held_) {
        if (block->GetSize() > 0) {
            std::memcpy(out, block->GetData(), block->GetSize());
            out += block->GetSize();
        }
    }
    held_.clear();
    heldBytes_ = 0;
    heldCount_ = 0;
    Emit(joined);
}

} // namespace Helper
} // namespace Orvane
