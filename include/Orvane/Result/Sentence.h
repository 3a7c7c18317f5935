#pragma once

#include "Orvane/Framework.h"
#include "Orvane/Result/Word.h"

namespace Orvane {
namespace Result {

// One candidate sentence; GetWord returns a new object that the caller releases and throws
// 4000 for an index out of range.
class ORVANE_EXPORT Sentence : public Framework {
public:
    void Release() override = 0;
    virtual Word* GetWord(int index) = 0;
    virtual int GetCount() = 0;
    virtual double GetScore() = 0;
};

} // namespace Result
} // namespace Orvane
