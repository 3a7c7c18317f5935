#pragma once

#include <boost/shared_ptr.hpp>

#include "Client/Result/WordImpl.h"
#include "Orvane/Result/Word.h"

namespace Orvane {
namespace Client {
namespace Result {

// One recognized word. Copies are new objects over the same shared data; each ends with
// its own Release.
class Word : public Orvane::Result::Word {
public:
    explicit Word(boost::shared_ptr<WordImpl> impl);
    Word(const Word&) = delete;
    Word& operator=(const Word&) = delete;

    void Release() override;
    const char* GetPhoneme() override;
    const char* GetLabel() override;
    double GetScore() override;
    double GetStartPoint() override;
    double GetEndPoint() override;
    virtual ~Word();

    const boost::shared_ptr<WordImpl>& GetImpl() const { return impl_; }

private:
    boost::shared_ptr<WordImpl> impl_;
};

} // namespace Result
} // namespace Client
} // namespace Orvane
