#include "Client/Result/Nbest.h"

#include <exception>
#include <utility>

#include "Client/Error.h"
#include "Client/Result/CopyAt.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace Result {

Nbest::Nbest(const boost::shared_ptr<Utility::Xml::Node>& element) : impl_(new NbestImpl(element))
{
    ORVANE_LOG_TRACE("候補クラスを構築します。");
}

Nbest::Nbest(boost::shared_ptr<NbestImpl> impl) : impl_(std::move(impl)) {}

void Nbest::Release()
{
    ORVANE_LOG_TRACE("候補クラスのリリース処理を行います。");
    delete this;
}

Orvane::Result::Nbest* Nbest::Duplicate()
{
    ORVANE_LOG_TRACE("認識結果の複製を取得します。");
    try {
        return new Nbest(impl_);
    } catch (const std::exception& e) {
        ORVANE_LOG(3, "認識結果の複製の生成に失敗しました。原因=%1%", e.what());
        throw Error::Internal("認識結果の複製の生成に失敗しました。");
    }
}

Orvane::Result::Sentence* Nbest::GetSentence(int index)
{
    ORVANE_LOG_TRACE("文候補を取得します。");
    return detail::CopyAt(impl_->GetSentences(), index, "文候補の取得に失敗しました。",
                          "文候補の取得に失敗しました。原因=%1%, 文候補数=%2%, index=%3%");
}

int Nbest::GetCount()
{
    ORVANE_LOG_TRACE("候補数を取得します。");
    return static_cast<int>(impl_->GetSentences().size());
}

const char* Nbest::ToString()
{
    ORVANE_LOG_TRACE("表記連結文字列を取得します。");
    return impl_->ToString();
}

const char* Nbest::ToXML()
{
    ORVANE_LOG_TRACE("XMLシリアライズ文字列を取得します。");
    return impl_->ToXML();
}

void Nbest::GetGender() { throw Error::Unsupported(); }

void Nbest::GetStartNumSamples() { throw Error::Unsupported(); }

void Nbest::GetEndNumSamples() { throw Error::Unsupported(); }

void Nbest::GetFilterFlag() { throw Error::Unsupported(); }

Nbest::~Nbest() { ORVANE_LOG_TRACE("候補クラスを破棄します。"); }

} // namespace Result
} // namespace Client
} // namespace Orvane
