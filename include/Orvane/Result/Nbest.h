#pragma once

#include "Orvane/Framework.h"
#include "Orvane/Result/Sentence.h"

namespace Orvane {
namespace Result {

// A recognition result: candidate sentences in order, with text and XML forms.
// GetSentence and Duplicate return new objects that the caller releases; GetSentence
// throws 4000 for an index out of range, Duplicate 7000 when it cannot copy. The texts of
// ToString and ToXML stay valid until the next call of either on this result or one of its
// duplicates, or until the last of them is released.
class ORVANE_EXPORT Nbest : public Framework {
public:
    void Release() override = 0;
    virtual Nbest* Duplicate() = 0;
    virtual Sentence* GetSentence(int index) = 0;
    virtual int GetCount() = 0;
    virtual const char* ToString() = 0;
    virtual const char* ToXML() = 0;
    // Not supported: each throws error 7001.
    virtual void GetGender() = 0;
    virtual void GetStartNumSamples() = 0;
    virtual void GetEndNumSamples() = 0;
    virtual void GetFilterFlag() = 0;
};

} // namespace Result
} // namespace Orvane
