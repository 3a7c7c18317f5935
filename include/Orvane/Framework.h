#pragma once

#include "Orvane/Export.h"

namespace Orvane {

// Root of every public interface. Objects of the library are never deleted through an
// interface pointer: they end with Release.
class ORVANE_EXPORT Framework {
public:
    virtual void Release() = 0;
};

} // namespace Orvane
