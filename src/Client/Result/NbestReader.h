#pragma once

#include <exception>
#include <map>
#include <vector>

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include "Client/Released.h"
#include "Orvane/Exception.h"
#include "Client/Result/NbestImpl.h"
#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Client {
namespace Result {

// Reads the results of a notification document while the document is parsed, so that a
// large result never stands as a whole element tree beside the objects made from it: the
// Word and Sentence elements of each Nbest element in an ArgumentList become the result's
// words and sentences as soon as each is read, and leave the tree. The Nbest element
// stays, without them, and its result waits here until its notification is delivered.
// What reading a result raised is kept and raised when the result is taken, in the order
// in which reading the whole element would have raised it.
// Used by one thread at a time: the receiving thread fills it, the notification thread
// takes from it.
class NbestReader : private boost::noncopyable {
public:
    // The parser's element hook: true when it took the element.
    bool Take(const std::vector<const Utility::Xml::Node*>& open, const boost::shared_ptr<Utility::Xml::Node>& element);

    // The result read for an Nbest element of the document; null when it was not read
    // here (read it from the element then). Raises what reading it raised, once: an error
    // object that the caller then owns, or the standard exception.
    boost::shared_ptr<NbestImpl> Result(const Utility::Xml::Node& nbest);

private:
    // The first failure of a reading.
    class Failure {
    public:
        // Keeps the exception being handled.
        void Catch();
        bool Failed() const { return object_ || error_; }
        void Raise();

    private:
        detail::Released<Orvane::Exception> object_;
        std::exception_ptr error_;
    };

    struct SentenceRead {
        std::vector<boost::shared_ptr<Word>> words;
        Failure failure;
    };
    struct NbestRead {
        std::vector<boost::shared_ptr<Sentence>> sentences;
        Failure failure;
        boost::shared_ptr<NbestImpl> result;
        bool done = false;
    };

    void TakeWord(const Utility::Xml::Node* sentence, const Utility::Xml::Node* nbest, Utility::Xml::Node& word);
    void TakeSentence(const Utility::Xml::Node* sentence, const Utility::Xml::Node* nbest,
                      const Utility::Xml::Node& element);

    // Sentences being read, by element; an entry goes when its element has been read.
    std::map<const Utility::Xml::Node*, SentenceRead> sentences_;
    // Results, by the Nbest element that stays in the document.
    std::map<const Utility::Xml::Node*, NbestRead> results_;
};

} // namespace Result
} // namespace Client
} // namespace Orvane
