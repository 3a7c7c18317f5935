#pragma once

#include "Orvane/Framework.h"

namespace Orvane {

// An acoustic model loaded or attached on a recognizer.
class ORVANE_EXPORT AcousticModel : public Framework {
public:
    // Releases the server's acoustic model, blocking until the reply or the response timer; a
    // failure is only logged, nothing is thrown.
    void Release() override = 0;
};

} // namespace Orvane
