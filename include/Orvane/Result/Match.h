#pragma once

#include "Orvane/Framework.h"

namespace Orvane {
namespace Result {

// A pattern-match result.
class ORVANE_EXPORT Match : public Framework {
public:
    void Release() override = 0;
    virtual const char* GetName() = 0;
    virtual double GetScore() = 0;
};

} // namespace Result
} // namespace Orvane
