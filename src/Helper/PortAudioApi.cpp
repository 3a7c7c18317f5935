#include "Helper/PortAudioApi.h"

#include <atomic>

#include <boost/thread/mutex.hpp>

namespace Orvane {
namespace Helper {
namespace {
// Never destroyed: a recording thread given up by a stop may still close PortAudio, and
// unlock this, while the process runs its exit handlers.
boost::mutex& CallMutex()
{
    static boost::mutex* const mutex = new boost::mutex;
    return *mutex;
}

std::atomic<int> waiting(0);
} // namespace

// Holds the process-wide lock for one PortAudio call.
class PortAudioApi::Serialized {
public:
    Serialized()
    {
        if (!CallMutex().try_lock()) {
            ++waiting;
            CallMutex().lock();
            --waiting;
        }
    }
    ~Serialized() { CallMutex().unlock(); }
    Serialized(const Serialized&) = delete;
    Serialized& operator=(const Serialized&) = delete;
};

PortAudioApi::~PortAudioApi() = default;

int PortAudioApi::Waiting() { return waiting; }

PaError PortAudioApi::Initialize()
{
    Serialized lock;
    return DoInitialize();
}

PaError PortAudioApi::Terminate()
{
    Serialized lock;
    return DoTerminate();
}

PaDeviceIndex PortAudioApi::GetDefaultInputDevice()
{
    Serialized lock;
    return DoGetDefaultInputDevice();
}

PaDeviceIndex PortAudioApi::GetDeviceCount()
{
    Serialized lock;
    return DoGetDeviceCount();
}

const PaDeviceInfo* PortAudioApi::GetDeviceInfo(PaDeviceIndex device)
{
    Serialized lock;
    return DoGetDeviceInfo(device);
}

const PaHostApiInfo* PortAudioApi::GetHostApiInfo(PaHostApiIndex hostApi)
{
    Serialized lock;
    return DoGetHostApiInfo(hostApi);
}

PaError PortAudioApi::OpenStream(PaStream** stream, const PaStreamParameters* input,
                                 const PaStreamParameters* output, double sampleRate,
                                 unsigned long framesPerBuffer, PaStreamFlags flags)
{
    Serialized lock;
    return DoOpenStream(stream, input, output, sampleRate, framesPerBuffer, flags);
}

PaError PortAudioApi::StartStream(PaStream* stream)
{
    Serialized lock;
    return DoStartStream(stream);
}

signed long PortAudioApi::GetStreamReadAvailable(PaStream* stream)
{
    Serialized lock;
    return DoGetStreamReadAvailable(stream);
}

PaError PortAudioApi::ReadStream(PaStream* stream, void* buffer, unsigned long frames)
{
    return DoReadStream(stream, buffer, frames);
}

PaError PortAudioApi::StopStream(PaStream* stream)
{
    Serialized lock;
    return DoStopStream(stream);
}

PaError PortAudioApi::AbortStream(PaStream* stream)
{
    Serialized lock;
    return DoAbortStream(stream);
}

PaError PortAudioApi::CloseStream(PaStream* stream)
{
    Serialized lock;
    return DoCloseStream(stream);
}

const char* PortAudioApi::GetErrorText(PaError error)
{
    Serialized lock;
    return DoGetErrorText(error);
}

PaError PortAudioApi::DoInitialize() { return Pa_Initialize(); }

PaError PortAudioApi::DoTerminate() { return Pa_Terminate(); }

PaDeviceIndex PortAudioApi::DoGetDefaultInputDevice() { return Pa_GetDefaultInputDevice(); }

PaDeviceIndex PortAudioApi::DoGetDeviceCount() { return Pa_GetDeviceCount(); }

const PaDeviceInfo* PortAudioApi::DoGetDeviceInfo(PaDeviceIndex device) { return Pa_GetDeviceInfo(device); }

const PaHostApiInfo* PortAudioApi::DoGetHostApiInfo(PaHostApiIndex hostApi) { return Pa_GetHostApiInfo(hostApi); }

PaError PortAudioApi::DoOpenStream(PaStream** stream, const PaStreamParameters* input,
                                   const PaStreamParameters* output, double sampleRate,
                                   unsigned long framesPerBuffer, PaStreamFlags flags)
{
    return Pa_OpenStream(stream, input, output, sampleRate, framesPerBuffer, flags, nullptr, nullptr);
}

PaError PortAudioApi::DoStartStream(PaStream* stream) { return Pa_StartStream(stream); }

signed long PortAudioApi::DoGetStreamReadAvailable(PaStream* stream) { return Pa_GetStreamReadAvailable(stream); }

PaError PortAudioApi::DoReadStream(PaStream* stream, void* buffer, unsigned long frames)
{
    return Pa_ReadStream(stream, buffer, frames);
}

PaError PortAudioApi::DoStopStream(PaStream* stream) { return Pa_StopStream(stream); }

PaError PortAudioApi::DoAbortStream(PaStream* stream) { return Pa_AbortStream(stream); }

PaError PortAudioApi::DoCloseStream(PaStream* stream) { return Pa_CloseStream(stream); }

const char* PortAudioApi::DoGetErrorText(PaError error) { return Pa_GetErrorText(error); }

} // namespace Helper
} // namespace Orvane
