#include "FakeV4l2Device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "RealLibc.h"

namespace Orvane {
namespace Test {

namespace {

int RealOpen(const char* path, int flags)
{
    FAKE_REAL(open);
    return real(path, flags);
}

int RealClose(int fd)
{
    FAKE_REAL(close);
    return real(fd);
}

void* RealMmap(void* address, size_t length, int protection, int flags, int fd, off_t offset)
{
    FAKE_REAL(mmap);
    return real(address, length, protection, flags, fd, offset);
}

int RealMunmap(void* address, size_t length)
{
    FAKE_REAL(munmap);
    return real(address, length);
}

size_t PageSize()
{
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

} // namespace

FakeV4l2Device& FakeV4l2Device::Instance()
{
    static FakeV4l2Device device;
    return device;
}

void FakeV4l2Device::Reset(const Script& script)
{
    if (descriptor_ >= 0) {
        RealClose(descriptor_);
    }
    for (const Mapping& mapping : mappings_) {
        RealMunmap(mapping.address, mapping.length);
    }
    mappings_.clear();
    FreeBuffers();
    script_ = script;
    active_ = true;
    descriptor_ = -1;
    openFlags_ = 0;
    ioctlCalls_.clear();
    munmapCalls_ = 0;
    waitTimeouts_.clear();
    formatSet_ = false;
    format_ = v4l2_format{};
    cropSet_ = false;
    crop_ = v4l2_crop{};
    requestedBuffers_ = 0;
    streaming_ = false;
}

int FakeV4l2Device::IoctlCalls(unsigned long request) const
{
    const auto found = ioctlCalls_.find(request);
    return found == ioctlCalls_.end() ? 0 : found->second;
}

std::vector<uint8_t> FakeV4l2Device::BufferBytes(uint32_t index) const
{
    if (index >= bufferCount_ || memoryView_ == nullptr) {
        return {};
    }
    const uint8_t* start = memoryView_ + index * Stride();
    return std::vector<uint8_t>(start, start + script_.bufferLength);
}

size_t FakeV4l2Device::Stride() const
{
    const size_t page = PageSize();
    return (script_.bufferLength + page - 1) / page * page;
}

bool FakeV4l2Device::HandleStat(const char* path, struct stat* status, int& result)
{
    if (!active_ || path == nullptr || script_.path != path) {
        return false;
    }
    std::memset(status, 0, sizeof *status);
    status->st_mode = S_IFCHR | 0660;
    status->st_rdev = makedev(81, 0);
    result = 0;
    return true;
}

bool FakeV4l2Device::HandleOpen(const char* path, int flags, int& result)
{
    if (!active_ || path == nullptr || script_.path != path) {
        return false;
    }
    if (script_.openError != 0 || descriptor_ >= 0) {
        errno = script_.openError != 0 ? script_.openError : EBUSY;
        result = -1;
        return true;
    }
    int fd = RealOpen("/dev/null", O_RDWR);
    if (fd >= 0 && fd < script_.minimumDescriptor) {
        const int moved = fcntl(fd, F_DUPFD, script_.minimumDescriptor);
        RealClose(fd);
        fd = moved;
    }
    if (fd >= 0) {
        descriptor_ = fd;
        openFlags_ = flags;
    }
    result = fd;
    return true;
}

bool FakeV4l2Device::HandleClose(int fd, int& result)
{
    if (!active_ || fd < 0 || fd != descriptor_) {
        return false;
    }
    RealClose(fd);
    descriptor_ = -1;
    streaming_ = false;
    queue_.clear();
    if (script_.closeError != 0) {
        errno = script_.closeError;
        result = -1;
    } else {
        result = 0;
    }
    return true;
}

bool FakeV4l2Device::HandleDup(int /*oldFd*/, int newFd)
{
    // Duplicating onto the device's number closes the device.
    if (active_ && newFd >= 0 && newFd == descriptor_) {
        descriptor_ = -1;
        streaming_ = false;
        queue_.clear();
    }
    return false;
}

bool FakeV4l2Device::HandleIoctl(int fd, unsigned long request, void* argument, int& result)
{
    if (!active_ || fd < 0 || fd != descriptor_) {
        return false;
    }
    ++ioctlCalls_[request];
    auto errors = script_.ioctlErrors.find(request);
    if (errors != script_.ioctlErrors.end() && !errors->second.empty()) {
        const int error = errors->second.front();
        errors->second.pop_front();
        if (error != 0) {
            errno = error;
            result = -1;
            return true;
        }
    }
    if (argument == nullptr) {
        errno = EFAULT;
        result = -1;
        return true;
    }
    result = Answer(request, argument);
    return true;
}

int FakeV4l2Device::Answer(unsigned long request, void* argument)
{
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto& capability = *static_cast<v4l2_capability*>(argument);
        std::memset(&capability, 0, sizeof capability);
        std::strcpy(reinterpret_cast<char*>(capability.driver), "fake");
        std::strcpy(reinterpret_cast<char*>(capability.card), "Fake camera");
        capability.capabilities = script_.capabilities;
        capability.device_caps = script_.capabilities;
        return 0;
    }
    case VIDIOC_CROPCAP: {
        auto& cropcap = *static_cast<v4l2_cropcap*>(argument);
        cropcap.bounds = v4l2_rect{0, 0, 1280, 720};
        cropcap.defrect = v4l2_rect{8, 4, 640, 480};
        cropcap.pixelaspect = v4l2_fract{1, 1};
        return 0;
    }
    case VIDIOC_S_CROP:
        crop_ = *static_cast<v4l2_crop*>(argument);
        cropSet_ = true;
        return 0;
    case VIDIOC_S_FMT:
        format_ = *static_cast<v4l2_format*>(argument);
        formatSet_ = true;
        return 0;
    case VIDIOC_REQBUFS: {
        auto& request = *static_cast<v4l2_requestbuffers*>(argument);
        if (request.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || request.memory != V4L2_MEMORY_MMAP) {
            errno = EINVAL;
            return -1;
        }
        // Like the kernel: no new buffers while old ones are mapped or streaming.
        if (streaming_ || !mappings_.empty()) {
            errno = EBUSY;
            return -1;
        }
        requestedBuffers_ = request.count;
        const uint32_t granted =
            script_.grantedBuffers < 0 ? request.count : static_cast<uint32_t>(script_.grantedBuffers);
        if (AllocateBuffers(granted) != 0) {
            return -1;
        }
        request.count = granted;
        return 0;
    }
    case VIDIOC_QUERYBUF: {
        auto& buffer = *static_cast<v4l2_buffer*>(argument);
        if (buffer.index >= bufferCount_ || buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE) {
            errno = EINVAL;
            return -1;
        }
        buffer.length = script_.bufferLength;
        buffer.m.offset = static_cast<uint32_t>(buffer.index * Stride());
        buffer.memory = V4L2_MEMORY_MMAP;
        return 0;
    }
    case VIDIOC_QBUF: {
        const auto& buffer = *static_cast<v4l2_buffer*>(argument);
        if (buffer.index >= bufferCount_ || buffer.memory != V4L2_MEMORY_MMAP ||
            std::find(queue_.begin(), queue_.end(), buffer.index) != queue_.end()) {
            errno = EINVAL;
            return -1;
        }
        queue_.push_back(buffer.index);
        return 0;
    }
    case VIDIOC_DQBUF:
        return Dequeue(*static_cast<v4l2_buffer*>(argument));
    case VIDIOC_STREAMON:
        if (*static_cast<int*>(argument) != V4L2_BUF_TYPE_VIDEO_CAPTURE || bufferCount_ == 0) {
            errno = EINVAL;
            return -1;
        }
        streaming_ = true;
        return 0;
    case VIDIOC_STREAMOFF:
        streaming_ = false;
        queue_.clear();
        return 0;
    default:
        errno = ENOTTY;
        return -1;
    }
}

int FakeV4l2Device::Dequeue(v4l2_buffer& buffer)
{
    if (!streaming_) {
        errno = EINVAL;
        return -1;
    }
    if (!FrameDue()) {
        errno = EAGAIN;
        return -1;
    }
    const uint32_t index = queue_.front();
    queue_.pop_front();
    const Frame frame = script_.frames.front();
    script_.frames.pop_front();
    const size_t size = std::min<size_t>(frame.bytes.size(), script_.bufferLength);
    std::memcpy(memoryView_ + index * Stride(), frame.bytes.data(), size);
    buffer.index = frame.index < 0 ? index : static_cast<uint32_t>(frame.index);
    buffer.bytesused = frame.bytesUsed < 0 ? static_cast<uint32_t>(frame.bytes.size())
                                           : static_cast<uint32_t>(frame.bytesUsed);
    buffer.length = script_.bufferLength;
    buffer.m.offset = static_cast<uint32_t>(index * Stride());
    buffer.flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_DONE;
    return 0;
}

int FakeV4l2Device::AllocateBuffers(uint32_t count)
{
    FreeBuffers();
    if (count == 0) {
        return 0;
    }
    const size_t size = count * Stride();
    memory_ = memfd_create("fake-v4l2", MFD_CLOEXEC);
    if (memory_ < 0 || ftruncate(memory_, static_cast<off_t>(size)) != 0) {
        FreeBuffers();
        errno = ENOMEM;
        return -1;
    }
    void* view = RealMmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, memory_, 0);
    if (view == MAP_FAILED) {
        FreeBuffers();
        errno = ENOMEM;
        return -1;
    }
    memoryView_ = static_cast<uint8_t*>(view);
    bufferCount_ = count;
    return 0;
}

void FakeV4l2Device::FreeBuffers()
{
    if (memoryView_ != nullptr) {
        RealMunmap(memoryView_, bufferCount_ * Stride());
        memoryView_ = nullptr;
    }
    if (memory_ >= 0) {
        RealClose(memory_);
        memory_ = -1;
    }
    bufferCount_ = 0;
    queue_.clear();
}

bool FakeV4l2Device::HandleMmap(void* address, size_t length, int protection, int flags, int fd, int64_t offset,
                                void*& result)
{
    if (!active_ || fd < 0 || fd != descriptor_) {
        return false;
    }
    if (!script_.mmapErrors.empty()) {
        const int error = script_.mmapErrors.front();
        script_.mmapErrors.pop_front();
        if (error != 0) {
            errno = error;
            result = MAP_FAILED;
            return true;
        }
    }
    const size_t stride = Stride();
    if (offset < 0 || static_cast<uint64_t>(offset) % stride != 0 ||
        static_cast<uint64_t>(offset) / stride >= bufferCount_ || length == 0 || length > stride ||
        (flags & MAP_SHARED) == 0) {
        errno = EINVAL;
        result = MAP_FAILED;
        return true;
    }
    result = RealMmap(address, length, protection, flags, memory_, static_cast<off_t>(offset));
    if (result != MAP_FAILED) {
        mappings_.push_back(Mapping{result, length});
    }
    return true;
}

bool FakeV4l2Device::HandleMunmap(void* address, size_t length, int& result)
{
    const auto found = std::find_if(mappings_.begin(), mappings_.end(),
                                    [address](const Mapping& mapping) { return mapping.address == address; });
    if (found == mappings_.end()) {
        return false;
    }
    ++munmapCalls_;
    if (script_.munmapError != 0) {
        errno = script_.munmapError;
        result = -1;
        return true;
    }
    result = RealMunmap(address, length);
    if (result == 0) {
        mappings_.erase(found);
    }
    return true;
}

bool FakeV4l2Device::HandlePoll(pollfd* fds, nfds_t count, int timeout, int& result)
{
    if (!active_ || descriptor_ < 0 || count != 1 || fds == nullptr || fds[0].fd != descriptor_) {
        return false;
    }
    waitTimeouts_.push_back(timeout);
    Wait answer{FrameDue() ? Wait::kReady : Wait::kTimeout};
    if (!script_.waits.empty()) {
        answer = script_.waits.front();
        script_.waits.pop_front();
    }
    fds[0].revents = 0;
    switch (answer.kind) {
    case Wait::kReady:
        fds[0].revents = POLLIN;
        result = 1;
        break;
    case Wait::kTimeout:
        result = 0;
        break;
    case Wait::kError:
        errno = answer.error;
        result = -1;
        break;
    case Wait::kInvalid:
        fds[0].revents = POLLNVAL;
        result = 1;
        break;
    }
    return true;
}

} // namespace Test
} // namespace Orvane
