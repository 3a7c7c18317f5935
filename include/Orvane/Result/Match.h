#pragma once

#include "Orvane/Framework.h"

namespace Orvane {
namespace Result {

// A pattern-match result; its getters do not throw, and the name is valid while it lives.
class ORVANE_EXPORT Match : public Framework {
public:
    void Release() override = 0;
    virtual const char* GetName() = 0;
    virtual double GetScore() = 0;
};

} // namespace Result
} // namespace Orvane
