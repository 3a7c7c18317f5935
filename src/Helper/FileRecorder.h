#pragma once

#include <fstream>
#include <string>

#include "Helper/VoiceRecorder.h"

namespace Orvane {
namespace Helper {

// Reads raw 16-bit mono PCM (host byte order, no header) from a file, one block per
// read period, paced to about real time. The end of the file ends the recording
// normally; a last, incomplete block is not passed on.
class FileRecorder : public VoiceRecorder {
public:
    FileRecorder(int encoding, int samplingRate, int readPeriod, int samplesPerRead, const std::string& path);

    void OnStart() override;
    unsigned int OnRead(boost::shared_ptr<DataBuffer> block) override;
    void OnStop() override;

    const std::string& GetPath() const { return path_; }

private:
    std::string path_;
    std::ifstream stream_;
};

} // namespace Helper
} // namespace Orvane
