#include "Client/Result/SentenceImpl.h"

#include <utility>

#include "Client/Error.h"
#include "Client/NumberText.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace Result {

double SentenceImpl::ReadScore(const Utility::Xml::Node& element)
{
    boost::shared_ptr<Utility::Xml::Node> score = element.Child("Score");
    if (!score) {
        ORVANE_LOG_TRACE("認識結果にScoreタグが含まれていません。");
        throw Error::InvalidResponse("認識結果にScoreタグが含まれていません。");
    }
    return detail::ReadDouble(score->text);
}

SentenceImpl::SentenceImpl(double score, std::vector<boost::shared_ptr<Word>> words)
    : words_(std::move(words)), score_(score)
{
}

SentenceImpl::SentenceImpl(const boost::shared_ptr<Utility::Xml::Node>& element) : score_(ReadScore(*element))
{
    for (const boost::shared_ptr<Utility::Xml::Node>& child : element->children) {
        if (child && child->name == "Word") {
            boost::shared_ptr<WordImpl> word(new WordImpl(child));
            words_.push_back(boost::shared_ptr<Word>(new Word(word)));
            ORVANE_LOG_TRACE("単語クラスを構築します。");
        }
    }
    ORVANE_LOG_TRACE("Score=%1%, Count=%2%", score_, words_.size());
}

SentenceImpl::~SentenceImpl() = default;

} // namespace Result
} // namespace Client
} // namespace Orvane
