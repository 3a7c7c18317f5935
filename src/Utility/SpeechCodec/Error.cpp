#include "Utility/SpeechCodec/Error.h"

namespace Orvane {
namespace Utility {
namespace SpeechCodec {
namespace {
const char* const CreationFailedFormat =
    "エンコーダの作成に失敗しました．対象=[%1%] サンプリング周波数[%2%] 原因=[%3%]";
} // namespace

const char* const Error::Type = "Orvane::Utility::SpeechCodec";

Exception Error::UnknownCodec(const std::string& name)
{
    return Exception(Type, 1, "規定外のコーデック名が指定されました.コーデック名=[%1%]", name);
}

Exception Error::InvalidMode(const std::string& mode)
{
    return Exception(Type, 3, "モードの指定が不正です．値=[%1%]", mode);
}

Exception Error::InvalidSamplingFrequency(double frequency)
{
    return Exception(Type, 4, "サンプリング周波数の指定が不正です．値=[%1%]", frequency);
}

Exception Error::CreationFailed(const char* codec, double frequency, const char* cause)
{
    return Exception(Type, 7, CreationFailedFormat, codec, frequency, cause);
}

Exception Error::CreationFailed(const std::string& codec, double frequency, const char* cause)
{
    return Exception(Type, 7, CreationFailedFormat, codec, frequency, cause);
}

Exception Error::UnsupportedCodec(const std::string& name)
{
    return Exception(Type, 9, "エンコードモジュールで未サポートのコーデック[%s]です．", name);
}

Exception Error::EncodeFailed(const char* cause)
{
    return Exception(Type, 10, "エンコードに失敗しました．原因=[%1%]", cause);
}

} // namespace SpeechCodec
} // namespace Utility
} // namespace Orvane
