#pragma once

#include "Orvane/Framework.h"

namespace Orvane {

// A language model loaded or attached on a recognizer.
class ORVANE_EXPORT LanguageModel : public Framework {
public:
    void Release() override = 0;
};

} // namespace Orvane
