#include "Client/Result/WordImpl.h"

#include <utility>

#include "Client/Error.h"
#include "Client/NumberText.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace Result {
namespace {

boost::shared_ptr<Utility::Xml::Node> Required(const Utility::Xml::Node& word, const char* name, const char* missing)
{
    boost::shared_ptr<Utility::Xml::Node> child = word.Child(name);
    if (!child) {
        ORVANE_LOG_TRACE(missing);
        throw Error::InvalidResponse(missing);
    }
    return child;
}

} // namespace

WordImpl::WordImpl(const boost::shared_ptr<Utility::Xml::Node>& element) : WordImpl(*element, false) {}

WordImpl::WordImpl(Utility::Xml::Node& word, bool takeTexts) : score_(0.0), startPoint_(0.0), endPoint_(0.0)
{
    const auto text = [takeTexts](std::string& from, std::string& to) {
        if (takeTexts) {
            to = std::move(from);
        } else {
            to = from;
        }
    };
    if (boost::shared_ptr<Utility::Xml::Node> phoneme = word.Child("Phoneme")) {
        text(phoneme->text, phoneme_);
    } else {
        ORVANE_LOG_TRACE("認識結果にPhonemeタグが含まれていません。");
    }
    text(Required(word, "Label", "認識結果にLabelタグが含まれていません。")->text, label_);
    startPoint_ = detail::ReadDouble(Required(word, "StartPoint", "認識結果にStartPointタグが含まれていません。")->text);
    endPoint_ = detail::ReadDouble(Required(word, "EndPoint", "認識結果にEndPointタグが含まれていません。")->text);
    if (boost::shared_ptr<Utility::Xml::Node> score = word.Child("Score")) {
        score_ = detail::ReadDouble(score->text);
    } else {
        ORVANE_LOG_TRACE("認識結果にScoreタグが含まれていません。");
    }
    ORVANE_LOG_TRACE("Phoneme=%1%, Label=%2%, StartPoint=%3%, EndPoint=%4%, Score=%5%", phoneme_, label_, startPoint_,
                     endPoint_, score_);
}

WordImpl::~WordImpl() = default;

} // namespace Result
} // namespace Client
} // namespace Orvane
