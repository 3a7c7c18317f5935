#include "Client/Result/NbestReader.h"

#include <utility>

#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace Result {
namespace {

typedef std::vector<const Utility::Xml::Node*> OpenElements;

// True when the innermost open elements are named as `names`, outermost first.
bool Within(const OpenElements& open, std::initializer_list<const char*> names)
{
    if (open.size() < names.size()) {
        return false;
    }
    auto element = open.end() - static_cast<std::ptrdiff_t>(names.size());
    for (const char* name : names) {
        if ((*element++)->name != name) {
            return false;
        }
    }
    return true;
}

} // namespace

void NbestReader::Failure::Catch()
{
    try {
        throw;
    } catch (Orvane::Exception* error) {
        object_.reset(error);
    } catch (...) {
        error_ = std::current_exception();
    }
}

void NbestReader::Failure::Raise()
{
    if (object_) {
        throw object_.release();
    }
    if (error_) {
        std::exception_ptr error;
        std::swap(error, error_);
        std::rethrow_exception(error);
    }
}

bool NbestReader::Take(const OpenElements& open, const boost::shared_ptr<Utility::Xml::Node>& element)
{
    if (element->name == "Word" && Within(open, {"ArgumentList", "Nbest", "Sentence"})) {
        TakeWord(open.back(), open[open.size() - 2], *element);
        return true;
    }
    if (element->name == "Sentence" && Within(open, {"ArgumentList", "Nbest"})) {
        TakeSentence(element.get(), open.back(), *element);
        return true;
    }
    if (element->name == "Nbest" && Within(open, {"ArgumentList"})) {
        NbestRead& read = results_[element.get()];
        read.done = true;
        if (!read.failure.Failed()) {
            read.result.reset(new NbestImpl(std::move(read.sentences)));
        }
    }
    return false;
}

void NbestReader::TakeWord(const Utility::Xml::Node* sentence, const Utility::Xml::Node* nbest,
                           Utility::Xml::Node& word)
{
    SentenceRead& read = sentences_[sentence];
    if (read.failure.Failed() || results_[nbest].failure.Failed()) {
        return;
    }
    try {
        boost::shared_ptr<WordImpl> impl(new WordImpl(word, true));
        read.words.push_back(boost::shared_ptr<Word>(new Word(impl)));
        ORVANE_LOG_TRACE("単語クラスを構築します。");
    } catch (...) {
        read.failure.Catch();
    }
}

void NbestReader::TakeSentence(const Utility::Xml::Node* sentence, const Utility::Xml::Node* nbest,
                               const Utility::Xml::Node& element)
{
    SentenceRead read;
    const auto found = sentences_.find(sentence);
    if (found != sentences_.end()) {
        read = std::move(found->second);
        sentences_.erase(found);
    }
    NbestRead& result = results_[nbest];
    if (result.failure.Failed()) {
        return;
    }
    try {
        // The score before the words, as reading the element does.
        const double score = SentenceImpl::ReadScore(element);
        read.failure.Raise();
        boost::shared_ptr<SentenceImpl> impl(new SentenceImpl(score, std::move(read.words)));
        result.sentences.push_back(boost::shared_ptr<Sentence>(new Sentence(impl)));
        ORVANE_LOG_TRACE("文クラスを構築します。");
    } catch (...) {
        result.failure.Catch();
    }
}

boost::shared_ptr<NbestImpl> NbestReader::Result(const Utility::Xml::Node& nbest)
{
    const auto found = results_.find(&nbest);
    if (found == results_.end() || !found->second.done) {
        return boost::shared_ptr<NbestImpl>();
    }
    found->second.failure.Raise();
    return found->second.result;
}

} // namespace Result
} // namespace Client
} // namespace Orvane
