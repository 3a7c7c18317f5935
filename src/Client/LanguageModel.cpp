#include "Client/LanguageModel.h"

#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {

const char* const LanguageModel::KindName = "LanguageModel";

LanguageModel::LanguageModel(const std::string& id, const boost::shared_ptr<RequestSender>& sender)
    : reference_(KindName, id, sender)
{
    ORVANE_LOG_TRACE("言語モデルクラスを構築します。");
}

LanguageModel::~LanguageModel()
{
    ORVANE_LOG_TRACE("言語モデルクラスを破棄します。");
}

void LanguageModel::Release()
{
    ORVANE_LOG(2, "言語モデルのリリース処理を行います。id=%1%", reference_.Id());
    reference_.ReleaseRemote("LanguageModel::Release");
    delete this;
}

} // namespace Client
} // namespace Orvane
