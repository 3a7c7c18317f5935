#pragma once

#include <memory>

namespace Orvane {
namespace Utility {
namespace Vad {

// What a chunk of detected speech holds.
enum VadDetectStatus {
    VAD_STATUS_UNSET = 0,
    VAD_STATUS_NO_SAMPLES = 1,   // the chunk holds no samples
    VAD_STATUS_START = 2,        // the first samples of an utterance
    VAD_STATUS_CONTINUE = 3,     // further samples of the utterance
    VAD_STATUS_END = 4,          // its last samples: the end was detected
};

// One chunk of detected speech: 16-bit little-endian PCM and its status.
class VadBuffer {
public:
    explicit VadBuffer(unsigned int size);
    virtual ~VadBuffer();
    VadBuffer(const VadBuffer&) = delete;
    VadBuffer& operator=(const VadBuffer&) = delete;

    void SetStatus(VadDetectStatus status);
    VadDetectStatus GetStatus() const;
    unsigned int Size() const;
    // The bytes; null when the size is 0.
    char* Data();
    const char* Data() const;

private:
    std::unique_ptr<char[]> bytes_;
    unsigned int size_;
    VadDetectStatus status_;
};

} // namespace Vad
} // namespace Utility
} // namespace Orvane
