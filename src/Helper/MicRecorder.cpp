#include "Helper/MicRecorder.h"

#include <cstring>
#include <iostream>

#include "Helper/Error.h"

namespace Orvane {
namespace Helper {

MicRecorder::MicRecorder(int encoding, int samplingRate, int readPeriod, int samplesPerRead,
                         const std::string& deviceName, int recordingDelay, boost::shared_ptr<PortAudioApi> api)
    : VoiceRecorder(encoding, samplingRate, readPeriod, samplesPerRead), deviceName_(deviceName),
      recordingDelay_(recordingDelay), stream_(nullptr),
      api_(api ? api : boost::shared_ptr<PortAudioApi>(new PortAudioApi())), initialized_(false)
{
}

MicRecorder::~MicRecorder()
{
    CloseStream();
    Terminate();
}

std::string MicRecorder::ErrorText(PaError error)
{
    const char* text = api_->GetErrorText(error);
    return text ? text : "";
}

void MicRecorder::CloseStream()
{
    if (stream_) {
        api_->CloseStream(stream_);
        stream_ = nullptr;
    }
}

void MicRecorder::Terminate()
{
    // Terminating also closes a stream PortAudio still holds.
    stream_ = nullptr;
    if (initialized_) {
        initialized_ = false;
        api_->Terminate();
    }
}

PaDeviceIndex MicRecorder::FindDevice()
{
    if (deviceName_.empty()) {
        const PaDeviceIndex device = api_->GetDefaultInputDevice();
        if (device == paNoDevice) {
            deviceName_ = "default input device";
        }
        return device;
    }
    PaDeviceIndex found = paNoDevice;
    const PaDeviceIndex count = api_->GetDeviceCount();
    for (PaDeviceIndex index = 0; index < count; ++index) {
        const PaDeviceInfo* device = api_->GetDeviceInfo(index);
        if (!device || device->maxInputChannels <= 0) {
            continue;
        }
        const PaHostApiInfo* hostApi = api_->GetHostApiInfo(device->hostApi);
        if (!hostApi) {
            continue;
        }
        const char* name = device->name ? device->name : "";
        std::cerr << "host_api => " << (hostApi->name ? hostApi->name : "") << ", device => " << name << std::endl;
        // The wanted name may be a prefix of the device's name; the last match wins.
        if (std::strncmp(name, deviceName_.c_str(), deviceName_.size()) == 0) {
            found = index;
        }
    }
    return found;
}

void MicRecorder::Initialize()
{
    const PaError initialized = api_->Initialize();
    if (initialized != paNoError) {
        throw Error::CaptureDeviceFailed(GetEncoding(), "Pa_Initialize failed. " + ErrorText(initialized));
    }
    initialized_ = true;
    try {
        const PaDeviceIndex device = FindDevice();
        const PaDeviceInfo* info = (device == paNoDevice) ? nullptr : api_->GetDeviceInfo(device);
        if (!info) {
            throw Error::CaptureDeviceFailed(GetEncoding(), "Not found audio input device. (" + deviceName_ + ")");
        }
        PaStreamParameters input;
        std::memset(&input, 0, sizeof(input));
        input.device = device;
        input.channelCount = 1;
        input.sampleFormat = paInt16;
        input.suggestedLatency = info->defaultHighInputLatency;
        input.hostApiSpecificStreamInfo = nullptr;
        PaStream* stream = nullptr;
        const PaError opened = api_->OpenStream(&stream, &input, nullptr, static_cast<double>(GetSamplingRate()),
                                                3200, paClipOff);
        if (opened != paNoError) {
            throw Error::CaptureDeviceFailed(GetEncoding(), "Pa_OpenStream failed. " + ErrorText(opened));
        }
        stream_ = stream;
    } catch (...) {
        Terminate();
        throw;
    }
}

void MicRecorder::OnStart()
{
    Initialize();
    const PaError started = api_->StartStream(stream_);
    if (started != paNoError) {
        const std::string text = ErrorText(started);
        Terminate();
        throw Error::CaptureDeviceFailed(GetEncoding(), "Pa_StartStream failed. " + text);
    }
}

unsigned int MicRecorder::OnRead(boost::shared_ptr<DataBuffer> block)
{
    if (!stream_ || !block) {
        return 0;
    }
    const unsigned long frames = block->GetSize() / 2;
    api_->GetStreamReadAvailable(stream_);
    const PaError read = api_->ReadStream(stream_, block->GetData(), frames);
    if (read == paNoError) {
        return static_cast<unsigned int>(frames);
    }
    const std::string text = ErrorText(read);
    api_->AbortStream(stream_);
    CloseStream();
    Terminate();
    if (read == paInputOverflowed) {
        throw Error::Internal(GetEncoding(), "Pa_ReadStream failed. reason [Input Overflow] " + text);
    }
    return 0;
}

void MicRecorder::OnStop()
{
    // After a failed read the stream is closed and PortAudio terminated already.
    if (!stream_) {
        Terminate();
        return;
    }
    const PaError stopped = api_->StopStream(stream_);
    if (stopped != paNoError) {
        const std::string text = ErrorText(stopped);
        CloseStream();
        Terminate();
        throw Error::Internal(GetEncoding(), "Pa_StopStream failed. " + text);
    }
    PaStream* stream = stream_;
    stream_ = nullptr;
    const PaError closed = api_->CloseStream(stream);
    if (closed != paNoError) {
        const std::string text = ErrorText(closed);
        Terminate();
        throw Error::Internal(GetEncoding(), "Pa_CloseStream failed. " + text);
    }
    Terminate();
}

} // namespace Helper
} // namespace Orvane
