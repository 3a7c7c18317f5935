// The C library functions that the fake V4L2 device answers; everything not about the
// device goes on to the C library.

#include <cstdarg>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FakeV4l2Device.h"
#include "RealLibc.h"

using Orvane::Test::FakeV4l2Device;

namespace {

FakeV4l2Device& Device()
{
    return FakeV4l2Device::Instance();
}

mode_t ModeArgument(int flags, va_list arguments)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

} // namespace

extern "C" {

FAKE_V4L2_EXPORT int open(const char* path, int flags, ...)
{
    FAKE_REAL(open);
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    int result;
    return Device().HandleOpen(path, flags, result) ? result : real(path, flags, mode);
}

FAKE_V4L2_EXPORT int open64(const char* path, int flags, ...)
{
    FAKE_REAL(open64);
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    int result;
    return Device().HandleOpen(path, flags, result) ? result : real(path, flags, mode);
}

FAKE_V4L2_EXPORT int close(int fd)
{
    FAKE_REAL(close);
    int result;
    return Device().HandleClose(fd, result) ? result : real(fd);
}

FAKE_V4L2_EXPORT int dup2(int oldFd, int newFd)
{
    FAKE_REAL(dup2);
    Device().HandleDup(oldFd, newFd);
    return real(oldFd, newFd);
}

FAKE_V4L2_EXPORT int dup3(int oldFd, int newFd, int flags)
{
    FAKE_REAL(dup3);
    Device().HandleDup(oldFd, newFd);
    return real(oldFd, newFd, flags);
}

FAKE_V4L2_EXPORT int stat(const char* __restrict path, struct stat* __restrict status)
{
    FAKE_REAL(stat);
    int result;
    return Device().HandleStat(path, status, result) ? result : real(path, status);
}

FAKE_V4L2_EXPORT int stat64(const char* __restrict path, struct stat64* __restrict status)
{
    FAKE_REAL(stat64);
    struct stat answer;
    int result;
    if (!Device().HandleStat(path, &answer, result)) {
        return real(path, status);
    }
    *status = {};
    status->st_mode = answer.st_mode;
    status->st_rdev = answer.st_rdev;
    return result;
}

FAKE_V4L2_EXPORT int ioctl(int fd, unsigned long request, ...)
{
    FAKE_REAL(ioctl);
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    int result;
    return Device().HandleIoctl(fd, request, argument, result) ? result : real(fd, request, argument);
}

FAKE_V4L2_EXPORT void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset)
{
    FAKE_REAL(mmap);
    void* result;
    return Device().HandleMmap(address, length, protection, flags, fd, offset, result)
               ? result
               : real(address, length, protection, flags, fd, offset);
}

FAKE_V4L2_EXPORT void* mmap64(void* address, size_t length, int protection, int flags, int fd, off64_t offset)
{
    FAKE_REAL(mmap64);
    void* result;
    return Device().HandleMmap(address, length, protection, flags, fd, offset, result)
               ? result
               : real(address, length, protection, flags, fd, offset);
}

FAKE_V4L2_EXPORT int munmap(void* address, size_t length)
{
    FAKE_REAL(munmap);
    int result;
    return Device().HandleMunmap(address, length, result) ? result : real(address, length);
}

FAKE_V4L2_EXPORT int poll(struct pollfd* fds, nfds_t count, int timeout)
{
    FAKE_REAL(poll);
    int result;
    return Device().HandlePoll(fds, count, timeout, result) ? result : real(fds, count, timeout);
}

} // extern "C"
