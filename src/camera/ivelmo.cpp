#include "ivelmo.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
IVELMO_EXPORT struct buffer* buffers = nullptr;
}

namespace {

unsigned int n_buffers = 0;

constexpr int kRequestedBuffers = 2;
// Drivers may grant more buffers than asked for; at most this many are mapped.
constexpr unsigned int kMaxBuffers = VIDEO_MAX_FRAME;
constexpr int kWaitMilliseconds = 20000;
constexpr int kDiscardedFrames = 2;

enum FormatCode { kRaw = 0, kJpeg = 1, kBmp = 2, kPgm = 3 };

// What one dequeue attempt gave: no frame ready yet, a frame with the stage's result,
// or a failure (the driver refused the dequeue or handed back an unknown buffer).
struct FrameOutcome {
    enum Kind { kNotReady, kTaken, kFailed } kind;
    int result;
};

// Where a taken frame goes: a file path or caller memory, with the frame's geometry.
struct FrameSink {
    int format;
    int width;
    int height;
    const char* path;
    void* destination;
};

enum class WaitResult { kReadable, kFailed, kTimedOut };

void ReportAssertion(const char* expression, int line)
{
    std::fprintf(stderr, "ivelmo:%d: Assertion `%s' failed.\n", line, expression);
}

// Gives up the device behind fd while keeping the caller's descriptor number valid: the
// number is pointed at /dev/null, so the caller's later close_device closes it and never
// another file that happened to reuse the number.
void ReleaseDevice(int fd)
{
    if (fd < 0) {
        return;
    }
    const int placeholder = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (placeholder < 0) {
        // The device then stays open until the caller's close_device.
        errno_exit("open");
        return;
    }
    const int result = dup2(placeholder, fd);
    const int error = errno;
    close(placeholder);
    if (result < 0) {
        errno = error;
        errno_exit("close");
        uninit_device(fd);
    }
}

void ClearBufferTable()
{
    if (buffers != nullptr) {
        for (unsigned int i = 0; i < n_buffers; ++i) {
            if (munmap(buffers[i].start, buffers[i].length) == -1) {
                errno_exit("munmap");
            }
        }
        std::free(buffers);
        buffers = nullptr;
    }
    n_buffers = 0;
}

v4l2_buffer MakeBuffer(unsigned int index)
{
    v4l2_buffer buffer;
    std::memset(&buffer, 0, sizeof buffer);
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = index;
    return buffer;
}

// Waits up to 20 s for fd to become readable; an interrupted wait starts afresh. poll
// serves any descriptor number. Readable also covers error and hang-up, as with select:
// the following dequeue then reports what went wrong. A negative descriptor (a failed
// open) fails at once, where poll would ignore it and wait the whole time.
WaitResult WaitReadable(int fd)
{
    if (fd < 0) {
        errno = EBADF;
        errno_exit("select");
        return WaitResult::kFailed;
    }
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, kWaitMilliseconds);
        if (ready == -1) {
            if (errno == EINTR) {
                continue;
            }
            errno_exit("select");
            return WaitResult::kFailed;
        }
        if (ready == 0) {
            std::fputs("select timeout\n", stdout);
            std::fflush(stdout);
            return WaitResult::kTimedOut;
        }
        if ((entry.revents & POLLNVAL) != 0) {
            errno = EBADF;
            errno_exit("select");
            return WaitResult::kFailed;
        }
        return WaitResult::kReadable;
    }
}

// Hands a frame to the file writer of the sink's format when the sink has a path, else to
// its memory converter.
int ProcessFrame(const FrameSink& sink, const buffer& mapped, unsigned int bytesUsed)
{
    const bool toFile = sink.path != nullptr;
    if (toFile && sink.path[0] == '\0') {
        return 1;
    }
    if (mapped.length > static_cast<size_t>(INT_MAX)) {
        return -1;
    }
    const int length = static_cast<int>(mapped.length);
    switch (sink.format) {
    case kRaw:
        return toFile ? process_image_YUYV(mapped.start, length, sink.path)
                      : process_image_buffer_YUYV(mapped.start, length, sink.destination);
    case kJpeg:
        if (bytesUsed > mapped.length) {
            return -1;
        }
        return toFile ? process_image_JPEG(mapped.start, static_cast<int>(bytesUsed), sink.path)
                      : process_image_buffer_JPG(mapped.start, static_cast<int>(bytesUsed), sink.destination);
    case kBmp:
        return toFile ? process_image_BMP(mapped.start, length, sink.width, sink.height, sink.path)
                      : process_image_buffer_BMP(mapped.start, length, sink.width, sink.height, sink.destination);
    case kPgm:
        return toFile ? process_image_PGM(mapped.start, length, sink.width, sink.height, sink.path)
                      : process_image_buffer_PGM(mapped.start, length, sink.width, sink.height, sink.destination);
    default:
        return 1;
    }
}

// Dequeues one frame, hands it to the file writer or the memory converter of the sink
// (nothing when discarding) and queues the buffer again.
FrameOutcome TakeFrame(int fd, bool discard, const FrameSink& sink)
{
    v4l2_buffer dequeued = MakeBuffer(0);
    if (xioctl(fd, VIDIOC_DQBUF, &dequeued) == -1) {
        if (errno == EAGAIN) {
            return {FrameOutcome::kNotReady, 0};
        }
        errno_exit("VIDIOC_DQBUF");
        stop_capturing(fd);
        return {FrameOutcome::kFailed, -1};
    }
    if (buffers == nullptr || dequeued.index >= n_buffers) {
        ReportAssertion("buf.index < n_buffers", __LINE__);
        return {FrameOutcome::kFailed, -1};
    }
    const buffer& mapped = buffers[dequeued.index];
    int result = 1;
    if (!discard) {
        result = ProcessFrame(sink, mapped, dequeued.bytesused);
    }
    if (xioctl(fd, VIDIOC_QBUF, &dequeued) == -1) {
        errno_exit("VIDIOC_QBUF");
        stop_capturing(fd);
    }
    return {FrameOutcome::kTaken, result};
}

// Waits for frames until one is taken; the wait's failure or time-out gives -1.
FrameOutcome WaitAndTake(int fd, const FrameSink& sink)
{
    for (;;) {
        if (WaitReadable(fd) != WaitResult::kReadable) {
            return {FrameOutcome::kFailed, -1};
        }
        const FrameOutcome outcome = TakeFrame(fd, false, sink);
        if (outcome.kind != FrameOutcome::kNotReady) {
            return outcome;
        }
    }
}

int OutcomeResult(const FrameOutcome& outcome)
{
    return outcome.kind == FrameOutcome::kFailed ? -1 : outcome.result;
}

} // namespace

extern "C" {

IVELMO_EXPORT void errno_exit(const char* name)
{
    const int error = errno;
    std::fprintf(stderr, "%s error %d, %s\n", name != nullptr ? name : "(null)", error, std::strerror(error));
    errno = error;
}

IVELMO_EXPORT int xioctl(int fd, unsigned long request, void* argument)
{
    int result;
    do {
        result = ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

IVELMO_EXPORT int open_device(const char* path)
{
    struct stat status;
    if (path == nullptr || stat(path, &status) == -1) {
        return -1001;
    }
    if (!S_ISCHR(status.st_mode)) {
        return -1002;
    }
    return open(path, O_RDWR | O_NONBLOCK, 0);
}

IVELMO_EXPORT int init_device(int fd, int format, int width, int height)
{
    // A second initialisation starts from an empty table; the driver refuses new buffers
    // while old ones are still mapped.
    ClearBufferTable();

    v4l2_capability capability;
    std::memset(&capability, 0, sizeof capability);
    if (xioctl(fd, VIDIOC_QUERYCAP, &capability) == -1) {
        return -2001;
    }
    if ((capability.capabilities & V4L2_CAP_VIDEO_CAPTURE) == 0) {
        return -2002;
    }
    if ((capability.capabilities & V4L2_CAP_STREAMING) == 0) {
        return -2003;
    }

    v4l2_cropcap cropcap;
    std::memset(&cropcap, 0, sizeof cropcap);
    cropcap.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd, VIDIOC_CROPCAP, &cropcap) == 0) {
        v4l2_crop crop;
        std::memset(&crop, 0, sizeof crop);
        crop.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        crop.c = cropcap.defrect;
        xioctl(fd, VIDIOC_S_CROP, &crop);
    }

    v4l2_format pixelFormat;
    std::memset(&pixelFormat, 0, sizeof pixelFormat);
    pixelFormat.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    pixelFormat.fmt.pix.width = static_cast<__u32>(width);
    pixelFormat.fmt.pix.height = static_cast<__u32>(height);
    pixelFormat.fmt.pix.pixelformat = format == kJpeg ? V4L2_PIX_FMT_MJPEG : V4L2_PIX_FMT_YUYV;
    pixelFormat.fmt.pix.field = V4L2_FIELD_INTERLACED;
    if (xioctl(fd, VIDIOC_S_FMT, &pixelFormat) == -1) {
        return -2004;
    }

    v4l2_requestbuffers request;
    std::memset(&request, 0, sizeof request);
    request.count = kRequestedBuffers;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd, VIDIOC_REQBUFS, &request) == -1) {
        if (errno == EINVAL) {
            std::fputs("zozido does not support memory mapping\n", stderr);
        } else {
            errno_exit("VIDIOC_REQBUFS");
        }
        return 0;
    }
    if (request.count < kRequestedBuffers) {
        std::fputs("Insufficient buffer memory on zozido\n", stderr);
        return 0;
    }

    const unsigned int granted = request.count < kMaxBuffers ? request.count : kMaxBuffers;
    buffers = static_cast<buffer*>(std::calloc(granted, sizeof(buffer)));
    if (buffers == nullptr) {
        std::fputs("Out of memory\n", stderr);
        return 0;
    }
    for (unsigned int i = 0; i < granted; ++i) {
        v4l2_buffer queried = MakeBuffer(i);
        if (xioctl(fd, VIDIOC_QUERYBUF, &queried) == -1) {
            errno_exit("VIDIOC_QUERYBUF");
            break;
        }
        buffers[i].length = queried.length;
        void* start = mmap(nullptr, queried.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, queried.m.offset);
        if (start == MAP_FAILED) {
            errno_exit("mmap");
            break;
        }
        buffers[i].start = start;
        ++n_buffers;
    }
    return 0;
}

IVELMO_EXPORT int start_capturing(int fd, int /*format*/)
{
    for (unsigned int i = 0; i < n_buffers; ++i) {
        v4l2_buffer queued = MakeBuffer(i);
        if (xioctl(fd, VIDIOC_QBUF, &queued) == -1) {
            errno_exit("VIDIOC_QBUF");
            ReleaseDevice(fd);
            return -3001;
        }
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd, VIDIOC_STREAMON, &type) == -1) {
        errno_exit("VIDIOC_STREAMON");
        ReleaseDevice(fd);
        return -3002;
    }

    const FrameSink none{0, 0, 0, nullptr, nullptr};
    for (int discarded = 0; discarded < kDiscardedFrames;) {
        switch (WaitReadable(fd)) {
        case WaitResult::kFailed:
            return -3003;
        case WaitResult::kTimedOut:
            return -3004;
        case WaitResult::kReadable:
            break;
        }
        const FrameOutcome outcome = TakeFrame(fd, true, none);
        if (outcome.kind == FrameOutcome::kFailed) {
            return -3003;
        }
        if (outcome.kind == FrameOutcome::kTaken) {
            ++discarded;
        }
    }
    return 0;
}

IVELMO_EXPORT int getfile_capturing(int fd, int format, int width, int height, const char* path)
{
    if (path == nullptr) {
        return -1;
    }
    const FrameOutcome outcome = WaitAndTake(fd, FrameSink{format, width, height, path, nullptr});
    return outcome.kind == FrameOutcome::kTaken ? 1 : -1;
}

IVELMO_EXPORT int get_capturing(int fd, int format, int width, int height, void* destination)
{
    if (destination == nullptr) {
        return -1;
    }
    return OutcomeResult(WaitAndTake(fd, FrameSink{format, width, height, nullptr, destination}));
}

IVELMO_EXPORT int read_frame(int fd, int discard, int format, int width, int height, const char* path)
{
    if (path == nullptr && discard == 0) {
        return -1;
    }
    return OutcomeResult(TakeFrame(fd, discard != 0, FrameSink{format, width, height, path != nullptr ? path : "", nullptr}));
}

IVELMO_EXPORT int read_frame_buffer(int fd, int discard, int format, int width, int height, void* destination)
{
    if (destination == nullptr && discard == 0) {
        return -1;
    }
    return OutcomeResult(TakeFrame(fd, discard != 0, FrameSink{format, width, height, nullptr, destination}));
}

IVELMO_EXPORT void stop_capturing(int fd)
{
    if (fd < 0) {
        return;
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd, VIDIOC_STREAMOFF, &type) == -1) {
        errno_exit("VIDIOC_STREAMOFF");
        ReleaseDevice(fd);
    }
}

IVELMO_EXPORT void uninit_device(int /*fd*/)
{
    ClearBufferTable();
}

IVELMO_EXPORT void close_device(int fd)
{
    if (fd < 0) {
        return;
    }
    if (close(fd) == -1) {
        errno_exit("close");
        uninit_device(fd);
    }
}

} // extern "C"
