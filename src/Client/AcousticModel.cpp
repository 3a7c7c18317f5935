#include "Client/AcousticModel.h"

#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {

const char* const AcousticModel::KindName = "AcousticModel";

AcousticModel::AcousticModel(const std::string& id, const boost::shared_ptr<RequestSender>& sender)
    : reference_(KindName, id, sender)
{
    ORVANE_LOG_TRACE("音響モデルクラスを構築します。");
}

AcousticModel::~AcousticModel()
{
    ORVANE_LOG_TRACE("音響モデルクラスを破棄します。");
}

void AcousticModel::Release()
{
    ORVANE_LOG(2, "音響モデルのリリース処理を行います。id=%1%", reference_.Id());
    reference_.ReleaseRemote("AcousticModel::Release");
    delete this;
}

} // namespace Client
} // namespace Orvane
