#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "Helper/PortAudioApi.h"
#include "Helper/VoiceRecorder.h"

namespace Orvane {
namespace Helper {

// Records from a PortAudio input device with blocking reads: 16-bit mono at the
// recorder's sampling rate. PortAudio is initialised in OnStart and terminated exactly
// once, by whichever path ends the recording.
class MicRecorder : public VoiceRecorder {
public:
    // An empty device name selects the default input device. `api` null means PortAudio
    // itself. The recording delay is kept but holds nothing back.
    MicRecorder(int encoding, int samplingRate, int readPeriod, int samplesPerRead, const std::string& deviceName,
                int recordingDelay, boost::shared_ptr<PortAudioApi> api = boost::shared_ptr<PortAudioApi>());
    ~MicRecorder() override;

    void OnStart() override;
    // A failed read closes the stream and terminates PortAudio; an input overflow is then
    // 7000, any other failure a normal end (0).
    unsigned int OnRead(boost::shared_ptr<DataBuffer> block) override;
    void OnStop() override;

    const std::string& GetDeviceName() const { return deviceName_; }
    int GetRecordingDelay() const { return recordingDelay_; }

private:
    void Initialize();
    PaDeviceIndex FindDevice();
    void CloseStream();
    void Terminate();
    std::string ErrorText(PaError error);

    std::string deviceName_;
    int recordingDelay_;
    PaStream* stream_;
    boost::shared_ptr<PortAudioApi> api_;
    bool initialized_;
};

} // namespace Helper
} // namespace Orvane
