#pragma once

#include <boost/shared_ptr.hpp>

#include "Client/Result/MatchImpl.h"
#include "Orvane/Result/Match.h"
#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {
namespace Result {

// A pattern-match result. Duplicate makes a new object over the same shared data, which
// the caller releases.
class Match : public Orvane::Result::Match {
public:
    // Reads a Match element; what the reader throws passes on and no object results.
    explicit Match(const boost::shared_ptr<Utility::Xml::Node>& element);
    Match(const Match&) = delete;
    Match& operator=(const Match&) = delete;

    void Release() override;
    const char* GetName() override;
    double GetScore() override;
    virtual ~Match();
    virtual Match* Duplicate();

private:
    explicit Match(boost::shared_ptr<MatchImpl> impl);

    boost::shared_ptr<MatchImpl> impl_;
};

} // namespace Result
} // namespace Client
} // namespace Orvane
