#pragma once

#include <boost/shared_ptr.hpp>

#include "Client/Result/SentenceImpl.h"
#include "Orvane/Result/Sentence.h"

namespace Orvane {
namespace Client {
namespace Result {

// One candidate sentence. GetWord makes a new Word over the word's shared data, which
// the caller releases.
class Sentence : public Orvane::Result::Sentence {
public:
    explicit Sentence(boost::shared_ptr<SentenceImpl> impl);
    Sentence(const Sentence&) = delete;
    Sentence& operator=(const Sentence&) = delete;

    void Release() override;
    // Error 4000 by pointer for an index outside 0 to GetCount() - 1.
    Orvane::Result::Word* GetWord(int index) override;
    int GetCount() override;
    double GetScore() override;
    virtual ~Sentence();

    const boost::shared_ptr<SentenceImpl>& GetImpl() const { return impl_; }

private:
    boost::shared_ptr<SentenceImpl> impl_;
};

} // namespace Result
} // namespace Client
} // namespace Orvane
