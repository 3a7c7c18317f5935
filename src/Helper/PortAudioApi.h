#pragma once

#include <portaudio.h>

namespace Orvane {
namespace Helper {

// The PortAudio calls the microphone recorder makes, each passing to PortAudio through one
// protected virtual. Tests replace single calls to reach failures a real device cannot be
// made to produce.
//
// PortAudio does not promise that its calls may run together, and a recording thread that
// a stop gave up still stops, closes and terminates when its read returns, while the next
// recording may be initialising, opening or reading on another thread. Every call but the
// blocking read therefore holds one process-wide lock. It is a leaf: PortAudio calls nothing
// of ours while it is held, and the read, which may block for good, never holds it.
class PortAudioApi {
public:
    PortAudioApi() = default;
    PortAudioApi(const PortAudioApi&) = delete;
    PortAudioApi& operator=(const PortAudioApi&) = delete;
    virtual ~PortAudioApi();

    PaError Initialize();
    PaError Terminate();
    PaDeviceIndex GetDefaultInputDevice();
    PaDeviceIndex GetDeviceCount();
    const PaDeviceInfo* GetDeviceInfo(PaDeviceIndex device);
    const PaHostApiInfo* GetHostApiInfo(PaHostApiIndex hostApi);
    PaError OpenStream(PaStream** stream, const PaStreamParameters* input, const PaStreamParameters* output,
                       double sampleRate, unsigned long framesPerBuffer, PaStreamFlags flags);
    PaError StartStream(PaStream* stream);
    signed long GetStreamReadAvailable(PaStream* stream);
    // Blocks until the frames are read; holds no lock.
    PaError ReadStream(PaStream* stream, void* buffer, unsigned long frames);
    PaError StopStream(PaStream* stream);
    PaError AbortStream(PaStream* stream);
    PaError CloseStream(PaStream* stream);
    const char* GetErrorText(PaError error);

    // Threads waiting for the process-wide lock at this moment, so that a test can see a
    // call held back.
    static int Waiting();

protected:
    virtual PaError DoInitialize();
    virtual PaError DoTerminate();
    virtual PaDeviceIndex DoGetDefaultInputDevice();
    virtual PaDeviceIndex DoGetDeviceCount();
    virtual const PaDeviceInfo* DoGetDeviceInfo(PaDeviceIndex device);
    virtual const PaHostApiInfo* DoGetHostApiInfo(PaHostApiIndex hostApi);
    virtual PaError DoOpenStream(PaStream** stream, const PaStreamParameters* input,
                                 const PaStreamParameters* output, double sampleRate,
                                 unsigned long framesPerBuffer, PaStreamFlags flags);
    virtual PaError DoStartStream(PaStream* stream);
    virtual signed long DoGetStreamReadAvailable(PaStream* stream);
    virtual PaError DoReadStream(PaStream* stream, void* buffer, unsigned long frames);
    virtual PaError DoStopStream(PaStream* stream);
    virtual PaError DoAbortStream(PaStream* stream);
    virtual PaError DoCloseStream(PaStream* stream);
    virtual const char* DoGetErrorText(PaError error);

private:
    class Serialized;
};

} // namespace Helper
} // namespace Orvane
