#include "Client/Result/Sentence.h"

#include <utility>

#include "Client/Result/CopyAt.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace Result {

Sentence::Sentence(boost::shared_ptr<SentenceImpl> impl) : impl_(std::move(impl)) {}

void Sentence::Release()
{
    ORVANE_LOG_TRACE("文クラスのリリース処理を行います。");
    delete this;
}

Orvane::Result::Word* Sentence::GetWord(int index)
{
    ORVANE_LOG_TRACE("単語を取得します。");
    return detail::CopyAt(impl_->GetWords(), index, "単語の取得に失敗しました。",
                          "単語の取得に失敗しました。原因=%1%, 単語数=%2%, index=%3%");
}

int Sentence::GetCount()
{
    ORVANE_LOG_TRACE("単語数を取得します。");
    return static_cast<int>(impl_->GetWords().size());
}

double Sentence::GetScore()
{
    ORVANE_LOG_TRACE("文候補のスコアを取得します。");
    return impl_->GetScore();
}

Sentence::~Sentence() { ORVANE_LOG_TRACE("文クラスを破棄します。"); }

} // namespace Result
} // namespace Client
} // namespace Orvane
