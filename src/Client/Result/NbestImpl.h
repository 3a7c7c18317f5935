#pragma once

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "Client/Result/Sentence.h"
#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {
namespace Result {

// The data of one N-best result: its sentences in document order and the caches of its
// text and XML forms. Shared by an N-best and its duplicates; it has no lock, so those
// are used by one thread at a time.
class NbestImpl {
public:
    // Reads every Sentence child of the element (whose own name is not checked); other
    // children are ignored. A failing sentence or word fails the whole result.
    explicit NbestImpl(const boost::shared_ptr<Utility::Xml::Node>& element);
    // A result of sentences read already.
    explicit NbestImpl(std::vector<boost::shared_ptr<Sentence>> sentences);
    NbestImpl(const NbestImpl&) = delete;
    NbestImpl& operator=(const NbestImpl&) = delete;
    virtual ~NbestImpl();

    const std::vector<boost::shared_ptr<Sentence>>& GetSentences() const { return sentences_; }

    // The written forms of the first sentence's words joined: of each label the text
    // before its first ";", with "<sp>" tokens and blanks removed. Valid until the next
    // call on this data.
    const char* ToString();
    // One line of XML: Nbest, Sentence (Score, Word...), Word (Label, StartPoint,
    // EndPoint, Phoneme, Score); words whose label holds "<" are left out. Valid until the
    // next call on this data.
    const char* ToXML();

private:
    std::vector<boost::shared_ptr<Sentence>> sentences_;
    std::string text_;
    std::string xml_;
};

} // namespace Result
} // namespace Client
} // namespace Orvane
