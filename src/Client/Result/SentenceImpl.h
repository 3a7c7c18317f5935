#pragma once

#include <vector>

#include <boost/shared_ptr.hpp>

#include "Client/Result/Word.h"
#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {
namespace Result {

// The data of one candidate sentence: its words in document order and its score.
class SentenceImpl {
public:
    // Reads a Sentence element: Score is required (error 4000 by pointer), every Word
    // child is read in order, other children are ignored.
    explicit SentenceImpl(const boost::shared_ptr<Utility::Xml::Node>& element);
    // A sentence of words read already.
    SentenceImpl(double score, std::vector<boost::shared_ptr<Word>> words);

    // The score of a Sentence element, read as the constructor above reads it.
    static double ReadScore(const Utility::Xml::Node& element);
    SentenceImpl(const SentenceImpl&) = delete;
    SentenceImpl& operator=(const SentenceImpl&) = delete;
    virtual ~SentenceImpl();

    const std::vector<boost::shared_ptr<Word>>& GetWords() const { return words_; }
    double GetScore() const { return score_; }

private:
    std::vector<boost::shared_ptr<Word>> words_;
    double score_;
};

} // namespace Result
} // namespace Client
} // namespace Orvane
