#pragma once

#include <string>

#include "Helper/VoiceRecorder.h"
#include "Orvane/Exception.h"

namespace Orvane {
namespace Helper {

// Reads raw 16-bit mono PCM (host byte order, no header) from a file, one block per
// read period, paced to about real time. The end of the file ends the recording
// normally; a last, incomplete block is not passed on.
//
// The file may be a pipe or a device whose data comes late or never: it is opened without
// blocking and read once poll() finds data, so a stop (a thread interruption) ends the wait
// within one poll slice.
class FileRecorder : public VoiceRecorder {
public:
    // How long one poll() waits before the thread looks for a stop.
    static constexpr int PollSliceMilliseconds = 50;

    FileRecorder(int encoding, int samplingRate, int readPeriod, int samplesPerRead, const std::string& path);
    ~FileRecorder() override;

    void OnStart() override;
    unsigned int OnRead(boost::shared_ptr<DataBuffer> block) override;
    void OnStop() override;

    const std::string& GetPath() const { return path_; }

private:
    // Waits until a read will not block (data, end of file or an error); an interruption
    // point between slices.
    void WaitReadable();
    void Close();
    Orvane::Exception* ReadFailed() const;

    std::string path_;
    int fd_;
};

} // namespace Helper
} // namespace Orvane
