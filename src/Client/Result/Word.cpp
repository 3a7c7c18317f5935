#include "Client/Result/Word.h"

#include <utility>

#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace Result {

Word::Word(boost::shared_ptr<WordImpl> impl) : impl_(std::move(impl)) {}

void Word::Release()
{
    ORVANE_LOG_TRACE("リリース処理を行います。");
    delete this;
}

const char* Word::GetPhoneme()
{
    ORVANE_LOG_TRACE("音素記号を取得します。");
    return impl_->GetPhoneme().c_str();
}

const char* Word::GetLabel()
{
    ORVANE_LOG_TRACE("単語表記を取得します。");
    return impl_->GetLabel().c_str();
}

double Word::GetScore()
{
    ORVANE_LOG_TRACE("単語のスコアを取得します。");
    return impl_->GetScore();
}

double Word::GetStartPoint()
{
    ORVANE_LOG_TRACE("単語の開始位置を取得します。");
    return impl_->GetStartPoint();
}

double Word::GetEndPoint()
{
    ORVANE_LOG_TRACE("単語の終了位置を取得します。");
    return impl_->GetEndPoint();
}

Word::~Word() { ORVANE_LOG_TRACE("単語クラスを破棄します。"); }

} // namespace Result
} // namespace Client
} // namespace Orvane
