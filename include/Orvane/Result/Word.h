#pragma once

#include "Orvane/Framework.h"

namespace Orvane {
namespace Result {

// One recognized word; its getters do not throw, and its texts are valid while it lives.
class ORVANE_EXPORT Word : public Framework {
public:
    void Release() override = 0;
    virtual const char* GetPhoneme() = 0;
    virtual const char* GetLabel() = 0;
    virtual double GetScore() = 0;
    virtual double GetStartPoint() = 0;
    virtual double GetEndPoint() = 0;
};

} // namespace Result
} // namespace Orvane
