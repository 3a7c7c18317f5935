#pragma once

#include "Orvane/Framework.h"

namespace Orvane {

// A failure reported by the library, thrown as a pointer. The catcher reads the triple
// and frees the object with Release.
class ORVANE_EXPORT Exception : public Framework {
public:
    void Release() override = 0;
    // The texts are the exception's own, valid until its Release. None of these throws.
    virtual const char* GetType() = 0;
    virtual int GetErrorNo() = 0;
    virtual const char* GetErrorMessage() = 0;
};

} // namespace Orvane
