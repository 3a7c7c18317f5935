#pragma once

#include <portaudio.h>

namespace Orvane {
namespace Helper {

// The PortAudio calls the microphone recorder makes, one virtual per call, each passing
// straight to PortAudio. Tests replace single calls to reach failures a real device
// cannot be made to produce.
class PortAudioApi {
public:
    PortAudioApi() = default;
    PortAudioApi(const PortAudioApi&) = delete;
    PortAudioApi& operator=(const PortAudioApi&) = delete;
    virtual ~PortAudioApi();

    virtual PaError Initialize();
    virtual PaError Terminate();
    virtual PaDeviceIndex GetDefaultInputDevice();
    virtual PaDeviceIndex GetDeviceCount();
    virtual const PaDeviceInfo* GetDeviceInfo(PaDeviceIndex device);
    virtual const PaHostApiInfo* GetHostApiInfo(PaHostApiIndex hostApi);
    virtual PaError OpenStream(PaStream** stream, const PaStreamParameters* input, const PaStreamParameters* output,
                               double sampleRate, unsigned long framesPerBuffer, PaStreamFlags flags);
    virtual PaError StartStream(PaStream* stream);
    virtual signed long GetStreamReadAvailable(PaStream* stream);
    virtual PaError ReadStream(PaStream* stream, void* buffer, unsigned long frames);
    virtual PaError StopStream(PaStream* stream);
    virtual PaError AbortStream(PaStream* stream);
    virtual PaError CloseStream(PaStream* stream);
    virtual const char* GetErrorText(PaError error);
};

} // namespace Helper
} // namespace Orvane
