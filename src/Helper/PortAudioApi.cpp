#include "Helper/PortAudioApi.h"

namespace Orvane {
namespace Helper {

PortAudioApi::~PortAudioApi() = default;

PaError PortAudioApi::Initialize() { return Pa_Initialize(); }

PaError PortAudioApi::Terminate() { return Pa_Terminate(); }

PaDeviceIndex PortAudioApi::GetDefaultInputDevice() { return Pa_GetDefaultInputDevice(); }

PaDeviceIndex PortAudioApi::GetDeviceCount() { return Pa_GetDeviceCount(); }

const PaDeviceInfo* PortAudioApi::GetDeviceInfo(PaDeviceIndex device) { return Pa_GetDeviceInfo(device); }

const PaHostApiInfo* PortAudioApi::GetHostApiInfo(PaHostApiIndex hostApi) { return Pa_GetHostApiInfo(hostApi); }

PaError PortAudioApi::OpenStream(PaStream** stream, const PaStreamParameters* input,
                                 const PaStreamParameters* output, double sampleRate,
                                 unsigned long framesPerBuffer, PaStreamFlags flags)
{
    return Pa_OpenStream(stream, input, output, sampleRate, framesPerBuffer, flags, nullptr, nullptr);
}

PaError PortAudioApi::StartStream(PaStream* stream) { return Pa_StartStream(stream); }

signed long PortAudioApi::GetStreamReadAvailable(PaStream* stream) { return Pa_GetStreamReadAvailable(stream); }

PaError PortAudioApi::ReadStream(PaStream* stream, void* buffer, unsigned long frames)
{
    return Pa_ReadStream(stream, buffer, frames);
}

PaError PortAudioApi::StopStream(PaStream* stream) { return Pa_StopStream(stream); }

PaError PortAudioApi::AbortStream(PaStream* stream) { return Pa_AbortStream(stream); }

PaError PortAudioApi::CloseStream(PaStream* stream) { return Pa_CloseStream(stream); }

const char* PortAudioApi::GetErrorText(PaError error) { return Pa_GetErrorText(error); }

} // namespace Helper
} // namespace Orvane
