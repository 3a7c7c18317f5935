#include "Client/Result/MatchImpl.h"

#include "Client/Error.h"
#include "Client/NumberText.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace Result {

MatchImpl::MatchImpl(const boost::shared_ptr<Utility::Xml::Node>& element) : score_(0.0)
{
    boost::shared_ptr<Utility::Xml::Node> name = element->Child("Name");
    if (!name) {
        ORVANE_LOG_TRACE("パターンマッチ結果にNameタグが含まれていません。");
        throw Error::InvalidResponse("パターンマッチ結果にNameタグが含まれていません。");
    }
    name_ = name->text;
    boost::shared_ptr<Utility::Xml::Node> score = element->Child("Score");
    if (!score) {
        ORVANE_LOG_TRACE("パターンマッチ結果にScoreタグが含まれていません。");
        throw Error::InvalidResponse("パターンマッチ結果にScoreタグが含まれていません。");
    }
    score_ = detail::ReadDouble(score->text);
    ORVANE_LOG_TRACE("Name=%1%, Score=%2%", name_, score_);
}

MatchImpl::~MatchImpl() = default;

} // namespace Result
} // namespace Client
} // namespace Orvane
