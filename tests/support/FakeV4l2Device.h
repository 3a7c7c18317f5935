#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include <linux/videodev2.h>
#include <poll.h>
#include <sys/stat.h>

#define FAKE_V4L2_EXPORT __attribute__((visibility("default")))

namespace Orvane {
namespace Test {

// A scripted V4L2 capture device answered at the C library boundary. The library
// libFakeV4l2.so interposes open, close, dup2, dup3, stat, ioctl, mmap, munmap and poll:
// calls about the device's path, its descriptor or its mappings are answered here, all
// others pass through to the C library. Load it with LD_PRELOAD (behind the sanitizer
// runtime, which must come first); tests link it as well to reach this script.
//
// The device's descriptor is a real descriptor of /dev/null, so its number is reserved
// and closing it is visible; its buffers are slices of one memfd, so mappings are real
// shared memory. One device at a time, used from one thread.
class FAKE_V4L2_EXPORT FakeV4l2Device {
public:
    struct Frame {
        std::vector<uint8_t> bytes; // copied into the buffer (at most its length)
        int64_t bytesUsed = -1;     // reported bytes used; -1: bytes.size()
        int64_t index = -1;         // reported buffer index; -1: the buffer filled
    };

    // One answer of poll for the device.
    struct Wait {
        enum Kind { kReady, kTimeout, kError, kInvalid } kind;
        int error = 0; // errno for kError
    };

    struct Script {
        std::string path = "/dev/fake-video0";
        uint32_t capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        int64_t grantedBuffers = -1; // buffers granted by REQBUFS; -1: as many as asked
        uint32_t bufferLength = 4096;
        int openError = 0;
        int closeError = 0;  // close fails with this errno (the descriptor is freed anyway)
        int munmapError = 0; // every munmap of a device mapping fails with this errno
        // Per request: the errno of each call in turn (0: answered normally); then normal.
        std::map<unsigned long, std::deque<int>> ioctlErrors;
        std::deque<int> mmapErrors; // the same for mmap of the device
        // poll answers in turn; then ready while a frame can be dequeued, else time-out
        // (answered at once: the fake never sleeps).
        std::deque<Wait> waits;
        std::deque<Frame> frames;
        int minimumDescriptor = 0; // the device's descriptor is at least this number
    };

    static FakeV4l2Device& Instance();

    // Starts afresh with the script: the previous device is closed, its mappings undone.
    void Reset(const Script& script);

    // The script still to come (waits, frames, errors); tests may change it between calls.
    Script& Pending() { return script_; }

    // Observations.
    bool IsOpen() const { return descriptor_ >= 0; }
    int Descriptor() const { return descriptor_; }
    int OpenFlags() const { return openFlags_; }
    int IoctlCalls(unsigned long request) const;
    size_t LiveMappings() const { return mappings_.size(); }
    int MunmapCalls() const { return munmapCalls_; }
    const std::vector<int>& WaitTimeouts() const { return waitTimeouts_; }
    bool FormatSet() const { return formatSet_; }
    const v4l2_format& LastFormat() const { return format_; }
    bool CropSet() const { return cropSet_; }
    const v4l2_crop& LastCrop() const { return crop_; }
    uint32_t RequestedBuffers() const { return requestedBuffers_; }
    bool Streaming() const { return streaming_; }
    size_t QueuedBuffers() const { return queue_.size(); }
    size_t FramesLeft() const { return script_.frames.size(); }
    // The bytes of buffer `index` as the device holds them.
    std::vector<uint8_t> BufferBytes(uint32_t index) const;

    // Handlers for the interposed calls: each returns false when the call is not about
    // the device, so that it passes through.
    bool HandleStat(const char* path, struct stat* status, int& result);
    bool HandleOpen(const char* path, int flags, int& result);
    bool HandleClose(int fd, int& result);
    bool HandleDup(int oldFd, int newFd);
    bool HandleIoctl(int fd, unsigned long request, void* argument, int& result);
    bool HandleMmap(void* address, size_t length, int protection, int flags, int fd, int64_t offset, void*& result);
    bool HandleMunmap(void* address, size_t length, int& result);
    bool HandlePoll(pollfd* fds, nfds_t count, int timeout, int& result);

private:
    FakeV4l2Device() = default;
    int Answer(unsigned long request, void* argument);
    int Dequeue(v4l2_buffer& buffer);
    int AllocateBuffers(uint32_t count);
    void FreeBuffers();
    size_t Stride() const;
    bool FrameDue() const { return streaming_ && !queue_.empty() && !script_.frames.empty(); }

    struct Mapping {
        void* address;
        size_t length;
    };

    Script script_;
    bool active_ = false;
    int descriptor_ = -1;
    int openFlags_ = 0;
    std::map<unsigned long, int> ioctlCalls_;
    std::vector<Mapping> mappings_;
    int munmapCalls_ = 0;
    std::vector<int> waitTimeouts_;
    bool formatSet_ = false;
    v4l2_format format_{};
    bool cropSet_ = false;
    v4l2_crop crop_{};
    uint32_t requestedBuffers_ = 0;
    uint32_t bufferCount_ = 0;
    int memory_ = -1;              // memfd behind the buffers
    uint8_t* memoryView_ = nullptr; // the fake's own mapping of it
    std::deque<uint32_t> queue_;
    bool streaming_ = false;
};

} // namespace Test
} // namespace Orvane
