#pragma once

#include "Orvane/Framework.h"

namespace Orvane {

// A language model loaded or attached on a recognizer.
class ORVANE_EXPORT LanguageModel : public Framework {
public:
    // Releases the server's language model, blocking until the reply or the response timer; a
    // failure is only logged, nothing is thrown.
    void Release() override = 0;
};

} // namespace Orvane
