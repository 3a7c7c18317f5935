#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {
namespace Result {

// The data of one recognized word, shared by every Word object made for it.
class WordImpl {
public:
    // Reads a Word element: Label, StartPoint and EndPoint are required (error 4000 by
    // pointer); a missing Phoneme reads as "" and a missing Score as 0.0. A number that
    // is not a whole decimal text throws boost::bad_lexical_cast.
    explicit WordImpl(const boost::shared_ptr<Utility::Xml::Node>& element);
    // The same, moving the texts out of an element that nothing else reads.
    WordImpl(Utility::Xml::Node& element, bool takeTexts);
    WordImpl(const WordImpl&) = delete;
    WordImpl& operator=(const WordImpl&) = delete;
    virtual ~WordImpl();

    const std::string& GetPhoneme() const { return phoneme_; }
    const std::string& GetLabel() const { return label_; }
    double GetScore() const { return score_; }
    double GetStartPoint() const { return startPoint_; }
    double GetEndPoint() const { return endPoint_; }

private:
    std::string phoneme_;
    std::string label_;
    double score_;
    double startPoint_;
    double endPoint_;
};

} // namespace Result
} // namespace Client
} // namespace Orvane
