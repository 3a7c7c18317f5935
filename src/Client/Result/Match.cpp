#include "Client/Result/Match.h"

#include <exception>
#include <utility>

#include "Client/Error.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace Result {

Match::Match(const boost::shared_ptr<Utility::Xml::Node>& element) : impl_(new MatchImpl(element))
{
    ORVANE_LOG_TRACE("音声パターンマッチ結果クラスを構築します。");
}

Match::Match(boost::shared_ptr<MatchImpl> impl) : impl_(std::move(impl)) {}

void Match::Release()
{
    ORVANE_LOG_TRACE("音声パターンマッチ結果クラスのリリース処理を行います。");
    delete this;
}

const char* Match::GetName()
{
    ORVANE_LOG_TRACE("音声パターン名を取得します。");
    return impl_->GetName().c_str();
}

double Match::GetScore()
{
    ORVANE_LOG_TRACE("音声パターンマッチ結果のスコアを取得します。");
    return impl_->GetScore();
}

Match::~Match() { ORVANE_LOG_TRACE("音声パターンマッチ結果クラスを破棄します。"); }

Match* Match::Duplicate()
{
    ORVANE_LOG_TRACE("音声パターンマッチ結果の複製を取得します。");
    try {
        return new Match(impl_);
    } catch (const std::exception& e) {
        ORVANE_LOG(3, "音声パターンマッチ結果の複製の生成に失敗しました。原因=%1%", e.what());
        throw Error::Internal("音声パターンマッチ結果の複製の生成に失敗しました。");
    }
}

} // namespace Result
} // namespace Client
} // namespace Orvane
