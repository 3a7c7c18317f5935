#pragma once

#include "Orvane/Framework.h"

namespace Orvane {

// An acoustic model loaded or attached on a recognizer.
class ORVANE_EXPORT AcousticModel : public Framework {
public:
    void Release() override = 0;
};

} // namespace Orvane
