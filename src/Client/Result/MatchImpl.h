#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {
namespace Result {

// The data of one pattern-match result.
class MatchImpl {
public:
    // Reads a Match element: Name and Score are required (error 4000 by pointer); a
    // score that is not a whole decimal text throws boost::bad_lexical_cast.
    explicit MatchImpl(const boost::shared_ptr<Utility::Xml::Node>& element);
    MatchImpl(const MatchImpl&) = delete;
    MatchImpl& operator=(const MatchImpl&) = delete;
    virtual ~MatchImpl();

    const std::string& GetName() const { return name_; }
    double GetScore() const { return score_; }

private:
    std::string name_;
    double score_;
};

} // namespace Result
} // namespace Client
} // namespace Orvane
