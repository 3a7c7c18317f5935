#include "Utility/SpeechCodec/Builder.h"

#include <exception>

#include "Utility/AsciiCase.h"
#include "Utility/SpeechCodec/Error.h"
#include "Utility/SpeechCodec/OpusAudioEncoder.h"

namespace Orvane {
namespace Utility {
namespace SpeechCodec {

boost::shared_ptr<Encoder> Builder::CreateEncoder(const std::string& codec, double samplingFrequency)
{
    try {
        const std::string::size_type hash = codec.find('#');
        const std::string name = codec.substr(0, hash);
        const std::string mode = (hash == std::string::npos) ? std::string() : codec.substr(hash + 1);

        if (detail::AsciiEqualsIgnoreCase(name, "G722") || detail::AsciiEqualsIgnoreCase(name, "Speex")) {
            throw Error::UnsupportedCodec(name);
        }
        if (!detail::AsciiEqualsIgnoreCase(name, "Opus")) {
            throw Error::UnknownCodec(name);
        }
        if (!mode.empty()) {
            throw Error::InvalidMode(mode);
        }
        if (samplingFrequency != 16000.0) {
            throw Error::InvalidSamplingFrequency(samplingFrequency);
        }
        boost::shared_ptr<OpusAudioEncoder> encoder(new OpusAudioEncoder());
        if (encoder->GetCreationResult() != OPUS_OK) {
            throw Error::CreationFailed("Opus", 16000.0, opus_strerror(encoder->GetCreationResult()));
        }
        return encoder;
    } catch (const std::exception& e) {
        throw Error::CreationFailed(codec, samplingFrequency, e.what());
    }
}

} // namespace SpeechCodec
} // namespace Utility
} // namespace Orvane
