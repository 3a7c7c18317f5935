// libivelmo against a scripted V4L2 camera interposed at the C library boundary, and
// against a few real files and descriptors.

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeV4l2Device.h"
#include "TestFiles.h"
#include "YuyvFrames.h"
#include "ivelmo.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Orvane::Test::FakeV4l2Device;
using Orvane::Test::TestFiles;
using Wait = FakeV4l2Device::Wait;

constexpr uint32_t kBufferLength = 4096;
constexpr int kWidth = 8;
constexpr int kHeight = 4;
constexpr int kFrameBytes = kWidth * kHeight * 2;

FakeV4l2Device& Device()
{
    return FakeV4l2Device::Instance();
}

// A distinct frame per number: a YUYV picture of kWidth x kHeight, the rest of the
// buffer filled with the number.
FakeV4l2Device::Frame MakeFrame(uint8_t number)
{
    FakeV4l2Device::Frame frame;
    frame.bytes = Orvane::Test::MakeYuyvFrame(kWidth, kHeight, number, kBufferLength - kFrameBytes);
    std::fill(frame.bytes.begin() + kFrameBytes, frame.bytes.end(), number);
    return frame;
}

Bytes JpegFixture()
{
    return TestFiles::Read(TESSIVAL_SOURCE_DIR "/tests/support/camera/gradient16x8.jpg");
}

bool DescriptorIsOpen(int fd)
{
    return fcntl(fd, F_GETFD) != -1;
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(files_.Ready());
        script_.bufferLength = kBufferLength;
        for (uint8_t number = 1; number <= 4; ++number) {
            script_.frames.push_back(MakeFrame(number));
        }
        Device().Reset(script_);
        struct stat status;
        ASSERT_EQ(0, stat(script_.path.c_str(), &status)) << "the fake camera library is not preloaded";
    }

    void TearDown() override
    {
        uninit_device(-1);
        if (fd_ >= 0 && DescriptorIsOpen(fd_)) {
            close(fd_);
        }
        Device().Reset(FakeV4l2Device::Script{});
    }

    // Opens the scripted camera.
    int Open()
    {
        Device().Reset(script_);
        fd_ = open_device(script_.path.c_str());
        return fd_;
    }

    // Opens and initialises the scripted camera for a format.
    void Initialise(int format = 0)
    {
        ASSERT_GE(Open(), 0);
        ASSERT_EQ(0, init_device(fd_, format, kWidth, kHeight));
    }

    // Opens, initialises and starts the scripted camera: frames 1 and 2 are thrown away.
    void Start(int format = 0)
    {
        ASSERT_NO_FATAL_FAILURE(Initialise(format));
        ASSERT_EQ(0, start_capturing(fd_, format));
    }

    void Finish()
    {
        stop_capturing(fd_);
        uninit_device(fd_);
        close_device(fd_);
    }

    FakeV4l2Device::Script script_;
    TestFiles files_;
    int fd_ = -1;
};

TEST_F(CaptureTest, OpenDeviceExaminesThePathFirst)
{
    const std::string regular = files_.Path("regular");
    std::ofstream(regular) << "not a camera";
    struct Case {
        const char* name;
        const char* path;
        int expected; // 0: a descriptor
    };
    const Case cases[] = {
        {"missing path", "/nonexistent/video0", -1001},
        {"null path", nullptr, -1001},
        {"regular file", regular.c_str(), -1002},
        {"directory", "/tmp", -1002},
        {"real character device", "/dev/null", 0},
        {"fake camera", script_.path.c_str(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int fd = open_device(c.path);
        if (c.expected == 0) {
            ASSERT_GE(fd, 0);
            close_device(fd);
            EXPECT_FALSE(DescriptorIsOpen(fd));
        } else {
            EXPECT_EQ(c.expected, fd);
        }
    }
}

TEST_F(CaptureTest, OpenDeviceOpensReadWriteNonBlockingOrGivesMinusOne)
{
    ASSERT_GE(Open(), 0);
    EXPECT_EQ(O_RDWR | O_NONBLOCK, Device().OpenFlags() & (O_ACCMODE | O_NONBLOCK));
    close_device(fd_);
    EXPECT_FALSE(Device().IsOpen());

    script_.openError = EACCES;
    EXPECT_EQ(-1, Open());
}

TEST_F(CaptureTest, InitDeviceSetsFormatCropAndMapsTheBuffers)
{
    struct Case {
        int format;
        uint32_t pixelFormat;
    };
    const Case cases[] = {{0, V4L2_PIX_FMT_YUYV},
                          {1, V4L2_PIX_FMT_MJPEG},
                          {2, V4L2_PIX_FMT_YUYV},
                          {3, V4L2_PIX_FMT_YUYV},
                          {7, V4L2_PIX_FMT_YUYV}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        ASSERT_GE(Open(), 0);
        ASSERT_EQ(0, init_device(fd_, c.format, 640, 480));
        const v4l2_format& format = Device().LastFormat();
        EXPECT_EQ(V4L2_BUF_TYPE_VIDEO_CAPTURE, format.type);
        EXPECT_EQ(640u, format.fmt.pix.width);
        EXPECT_EQ(480u, format.fmt.pix.height);
        EXPECT_EQ(c.pixelFormat, format.fmt.pix.pixelformat);
        EXPECT_EQ(V4L2_FIELD_INTERLACED, format.fmt.pix.field);
        ASSERT_TRUE(Device().CropSet());
        EXPECT_EQ(V4L2_BUF_TYPE_VIDEO_CAPTURE, Device().LastCrop().type);
        EXPECT_EQ(8, Device().LastCrop().c.left) << "the crop is the default rectangle";
        EXPECT_EQ(640u, Device().LastCrop().c.width);
        EXPECT_EQ(2u, Device().RequestedBuffers());
        ASSERT_NE(nullptr, buffers);
        EXPECT_EQ(2u, Device().LiveMappings());
        for (int i = 0; i < 2; ++i) {
            EXPECT_NE(nullptr, buffers[i].start);
            EXPECT_EQ(kBufferLength, buffers[i].length);
        }
        uninit_device(fd_);
        close_device(fd_);
    }
}

TEST_F(CaptureTest, InitDeviceFailures)
{
    struct Case {
        const char* name;
        unsigned long request;
        int error;
        uint32_t capabilities;
        int expected;
    };
    const uint32_t both = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    const Case cases[] = {
        {"capabilities unreadable", VIDIOC_QUERYCAP, EIO, both, -2001},
        {"no video capture", 0, 0, V4L2_CAP_STREAMING, -2002},
        {"no streaming", 0, 0, V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE, -2003},
        {"format refused", VIDIOC_S_FMT, EINVAL, both, -2004},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script_.capabilities = c.capabilities;
        script_.ioctlErrors.clear();
        if (c.request != 0) {
            script_.ioctlErrors[c.request] = {c.error};
        }
        ASSERT_GE(Open(), 0);
        EXPECT_EQ(c.expected, init_device(fd_, 0, kWidth, kHeight));
        EXPECT_EQ(0, Device().IoctlCalls(VIDIOC_REQBUFS));
        EXPECT_EQ(nullptr, buffers);
        close_device(fd_);
    }
}

TEST_F(CaptureTest, InitDeviceIgnoresCropFailures)
{
    for (const unsigned long request : {VIDIOC_CROPCAP, VIDIOC_S_CROP}) {
        SCOPED_TRACE(request);
        script_.ioctlErrors.clear();
        script_.ioctlErrors[request] = {EINVAL};
        ASSERT_GE(Open(), 0);
        EXPECT_EQ(0, init_device(fd_, 0, kWidth, kHeight));
        EXPECT_EQ(request == VIDIOC_CROPCAP ? 0 : 1, Device().IoctlCalls(VIDIOC_S_CROP));
        EXPECT_EQ(2u, Device().LiveMappings());
        uninit_device(fd_);
        close_device(fd_);
    }
}

// Missing buffers are only printed; init_device still gives 0, with what could be mapped,
// and start_capturing queues exactly those.
TEST_F(CaptureTest, InitDeviceBufferProblemsArePrinted)
{
    struct Case {
        const char* name;
        unsigned long request;
        std::deque<int> errors;
        int64_t granted;
        std::deque<int> mmapErrors;
        const char* printed;
        size_t mapped;
    };
    const Case cases[] = {
        {"no memory mapping", VIDIOC_REQBUFS, {EINVAL}, -1, {}, "zozido does not support memory mapping\n", 0},
        {"request failed", VIDIOC_REQBUFS, {EIO}, -1, {}, "VIDIOC_REQBUFS error 5, Input/output error\n", 0},
        {"one buffer granted", 0, {}, 1, {}, "Insufficient buffer memory on zozido\n", 0},
        {"second query fails", VIDIOC_QUERYBUF, {0, EINVAL}, -1, {}, "VIDIOC_QUERYBUF error 22, Invalid argument\n", 1},
        {"first mapping fails", 0, {}, -1, {ENOMEM}, "mmap error 12, Cannot allocate memory\n", 0},
        {"four buffers granted", 0, {}, 4, {}, "", 4},
        {"more buffers than V4L2 has", 0, {}, 1000, {}, "", VIDEO_MAX_FRAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script_.ioctlErrors.clear();
        if (c.request != 0) {
            script_.ioctlErrors[c.request] = c.errors;
        }
        script_.grantedBuffers = c.granted;
        script_.mmapErrors = c.mmapErrors;
        ASSERT_GE(Open(), 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(0, init_device(fd_, 0, kWidth, kHeight));
        EXPECT_EQ(c.printed, testing::internal::GetCapturedStderr());
        EXPECT_EQ(c.mapped, Device().LiveMappings());
        if (c.mapped > 0) {
            EXPECT_EQ(0, start_capturing(fd_, 0));
            EXPECT_EQ(static_cast<int>(c.mapped) + 2, Device().IoctlCalls(VIDIOC_QBUF));
        }
        Finish();
        EXPECT_EQ(0u, Device().LiveMappings());
    }
}

TEST_F(CaptureTest, RealCharacterDeviceIsNoCamera)
{
    const int fd = open_device("/dev/null");
    ASSERT_GE(fd, 0);
    EXPECT_EQ(-2001, init_device(fd, 0, kWidth, kHeight));
    close_device(fd);
    EXPECT_FALSE(DescriptorIsOpen(fd));
}

TEST_F(CaptureTest, InterruptedRequestsAreRepeated)
{
    script_.ioctlErrors[VIDIOC_QUERYCAP] = {EINTR, EINTR, 0};
    script_.ioctlErrors[VIDIOC_QBUF] = {EINTR};
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(3, Device().IoctlCalls(VIDIOC_QUERYCAP));
    EXPECT_EQ(5, Device().IoctlCalls(VIDIOC_QBUF)) << "one interrupted, two queued, two queued again";

    // Other failures come back at once with their errno.
    v4l2_capability capability;
    errno = 0;
    EXPECT_EQ(-1, xioctl(fd_, VIDIOC_LOG_STATUS, &capability));
    EXPECT_EQ(ENOTTY, errno);
    EXPECT_EQ(1, Device().IoctlCalls(VIDIOC_LOG_STATUS));
}

TEST_F(CaptureTest, StartCapturingThrowsTwoFramesAway)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(Device().Streaming());
    EXPECT_EQ(2u, Device().FramesLeft());
    EXPECT_EQ(2u, Device().QueuedBuffers()) << "the thrown-away frames' buffers are queued again";
    EXPECT_EQ(std::vector<int>({20000, 20000}), Device().WaitTimeouts());

    Bytes raw(kBufferLength);
    EXPECT_EQ(static_cast<int>(kBufferLength), get_capturing(fd_, 0, kWidth, kHeight, raw.data()));
    EXPECT_EQ(3, raw[kBufferLength - 1]) << "the next frame taken is the third";
}

TEST_F(CaptureTest, WaitsAgainAfterInterruptionsAndEmptyDequeues)
{
    script_.waits = {Wait{Wait::kError, EINTR}, Wait{Wait::kReady}, Wait{Wait::kError, EINTR}};
    script_.ioctlErrors[VIDIOC_DQBUF] = {EAGAIN, 0, EAGAIN};
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(2u, Device().FramesLeft());
    EXPECT_EQ(4, Device().IoctlCalls(VIDIOC_DQBUF));
    EXPECT_EQ(std::vector<int>(6, 20000), Device().WaitTimeouts()) << "every wait starts afresh";

    Device().Pending().waits = {Wait{Wait::kError, EINTR}};
    Device().Pending().ioctlErrors[VIDIOC_DQBUF] = {EAGAIN};
    EXPECT_EQ(1, getfile_capturing(fd_, 0, kWidth, kHeight, files_.Path("frame").c_str()));
    EXPECT_EQ(1u, Device().FramesLeft());
    EXPECT_EQ(6, Device().IoctlCalls(VIDIOC_DQBUF));
}

TEST_F(CaptureTest, StartCapturingFailures)
{
    struct Case {
        const char* name;
        unsigned long request;
        std::deque<int> errors;
        std::deque<Wait> waits;
        int expected;
        const char* printed;
        const char* output;
        bool released; // the device was closed behind the caller's descriptor number
    };
    const Case cases[] = {
        {"queueing fails", VIDIOC_QBUF, {0, EINVAL}, {}, -3001, "VIDIOC_QBUF error 22, Invalid argument\n", "", true},
        {"stream start fails", VIDIOC_STREAMON, {EIO}, {}, -3002, "VIDIOC_STREAMON error 5, Input/output error\n", "",
         true},
        {"wait fails", 0, {}, {Wait{Wait::kError, EIO}}, -3003, "select error 5, Input/output error\n", "", false},
        {"descriptor invalid", 0, {}, {Wait{Wait::kInvalid}}, -3003, "select error 9, Bad file descriptor\n", "",
         false},
        {"no frame in time", 0, {}, {Wait{Wait::kReady}, Wait{Wait::kTimeout}}, -3004, "", "select timeout\n", false},
        // A failed dequeue ends the start at once, not after a 20-second wait.
        {"dequeue fails", VIDIOC_DQBUF, {EIO}, {}, -3003, "VIDIOC_DQBUF error 5, Input/output error\n", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script_.ioctlErrors.clear();
        if (c.request != 0) {
            script_.ioctlErrors[c.request] = c.errors;
        }
        script_.waits = c.waits;
        ASSERT_NO_FATAL_FAILURE(Initialise());
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_EQ(c.expected, start_capturing(fd_, 0));
        EXPECT_EQ(c.output, testing::internal::GetCapturedStdout());
        EXPECT_EQ(c.printed, testing::internal::GetCapturedStderr());
        EXPECT_EQ(!c.released, Device().IsOpen());
        EXPECT_TRUE(DescriptorIsOpen(fd_)) << "the caller's descriptor number stays valid";
        uninit_device(fd_);
        close_device(fd_);
        EXPECT_FALSE(DescriptorIsOpen(fd_));
    }
}

// A descriptor that the library closed on a failure is never closed a second time under
// the caller: the number stays reserved until the caller's close_device.
TEST_F(CaptureTest, ReleasedDescriptorNumberIsNotReused)
{
    script_.ioctlErrors[VIDIOC_STREAMON] = {EIO};
    ASSERT_NO_FATAL_FAILURE(Initialise());
    testing::internal::CaptureStderr();
    EXPECT_EQ(-3002, start_capturing(fd_, 0));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(Device().IsOpen());

    const int other = open("/dev/zero", O_RDONLY);
    ASSERT_GE(other, 0);
    EXPECT_NE(fd_, other);
    testing::internal::CaptureStderr();
    stop_capturing(fd_);
    uninit_device(fd_);
    close_device(fd_);
    EXPECT_EQ("VIDIOC_STREAMOFF error 25, Inappropriate ioctl for device\n", testing::internal::GetCapturedStderr());
    EXPECT_TRUE(DescriptorIsOpen(other));
    EXPECT_FALSE(DescriptorIsOpen(fd_));
    close(other);
}

TEST_F(CaptureTest, FailedDequeueIsAFailureAndStopsTheStream)
{
    script_.ioctlErrors[VIDIOC_DQBUF] = {0, 0, EIO};
    ASSERT_NO_FATAL_FAILURE(Start());
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, getfile_capturing(fd_, 0, kWidth, kHeight, files_.Path("frame").c_str()));
    EXPECT_EQ("VIDIOC_DQBUF error 5, Input/output error\n", testing::internal::GetCapturedStderr());
    EXPECT_FALSE(files_.Exists("frame"));
    EXPECT_EQ(1, Device().IoctlCalls(VIDIOC_STREAMOFF));
    EXPECT_FALSE(Device().Streaming());

    Device().Pending().waits = {Wait{Wait::kReady}};
    Device().Pending().ioctlErrors[VIDIOC_DQBUF] = {EIO};
    Bytes destination(kBufferLength);
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, get_capturing(fd_, 0, kWidth, kHeight, destination.data()));
    EXPECT_THAT(testing::internal::GetCapturedStderr(), testing::StartsWith("VIDIOC_DQBUF error 5"));
}

// The index the driver hands back is checked before any buffer is touched.
TEST_F(CaptureTest, OutOfRangeBufferIndexIsRefused)
{
    script_.frames[2].index = 2;
    script_.frames[3].index = 1000;
    ASSERT_NO_FATAL_FAILURE(Start());
    const auto assertion = testing::MatchesRegex("ivelmo:[0-9]+: Assertion `buf.index < n_buffers' failed.\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, getfile_capturing(fd_, 0, kWidth, kHeight, files_.Path("frame").c_str()));
    EXPECT_THAT(testing::internal::GetCapturedStderr(), assertion);
    EXPECT_FALSE(files_.Exists("frame"));

    Bytes destination(kBufferLength, 0xEE);
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, get_capturing(fd_, 2, kWidth, kHeight, destination.data()));
    EXPECT_THAT(testing::internal::GetCapturedStderr(), assertion);
    EXPECT_EQ(Bytes(kBufferLength, 0xEE), destination);

    // The same during the start.
    Finish();
    script_.frames[0].index = 5;
    ASSERT_NO_FATAL_FAILURE(Initialise());
    testing::internal::CaptureStderr();
    EXPECT_EQ(-3003, start_capturing(fd_, 0));
    EXPECT_THAT(testing::internal::GetCapturedStderr(), assertion);
}

// Each format code reaches its own file writer: raw, BMP and PGM with the length of the
// whole mapped buffer, JPEG with only the bytes the driver filled.
TEST_F(CaptureTest, GetfileCapturingWritesEachFormat)
{
    const Bytes jpeg = JpegFixture();
    ASSERT_FALSE(jpeg.empty());
    for (int format = 0; format <= 3; ++format) {
        SCOPED_TRACE(format);
        script_.frames = {MakeFrame(1), MakeFrame(2), MakeFrame(3)};
        if (format == 1) {
            // The buffer holds more than the driver filled; only the filled bytes are written.
            script_.frames[2].bytes = jpeg;
            script_.frames[2].bytes.resize(kBufferLength, 0xEE);
            script_.frames[2].bytesUsed = static_cast<int64_t>(jpeg.size());
        }
        Bytes frame = script_.frames[2].bytes;
        ASSERT_NO_FATAL_FAILURE(Start(format));
        const std::string path = files_.Path("frame");
        EXPECT_EQ(1, getfile_capturing(fd_, format, kWidth, kHeight, path.c_str()));
        EXPECT_EQ(5, Device().IoctlCalls(VIDIOC_QBUF)) << "the buffer was queued again";
        Finish();

        const std::string reference = files_.Path("reference");
        const int length = static_cast<int>(kBufferLength);
        switch (format) {
        case 0:
            ASSERT_EQ(length, process_image_YUYV(frame.data(), length, reference.c_str()));
            break;
        case 1:
            EXPECT_EQ(jpeg, files_.ReadFile("frame")) << "the camera's JPEG, byte for byte";
            continue;
        case 2:
            ASSERT_EQ(length, process_image_BMP(frame.data(), length, kWidth, kHeight, reference.c_str()));
            break;
        case 3:
            ASSERT_EQ(length, process_image_PGM(frame.data(), length, kWidth, kHeight, reference.c_str()));
            break;
        }
        EXPECT_EQ(files_.ReadFile("reference"), files_.ReadFile("frame"));
    }
}

TEST_F(CaptureTest, GetfileCapturingResults)
{
    struct Case {
        const char* name;
        int format;
        std::string path;
        std::deque<Wait> waits;
        int expected;
        const char* printed;
        const char* output;
    };
    const std::string frame = files_.Path("frame");
    const std::string missing = files_.Path("no-such-directory/frame");
    const Case cases[] = {
        {"empty path: frame taken, nothing written", 0, "", {}, 1, "", ""},
        {"unknown format code", 7, frame, {}, 1, "", ""},
        {"writer fails, frame still taken", 2, missing, {}, 1, "fopen error 2, No such file or directory\n", ""},
        {"geometry larger than the buffer", 2, files_.Path("large"), {}, 1, "", ""},
        {"no frame in time", 0, frame, {Wait{Wait::kTimeout}}, -1, "", "select timeout\n"},
        {"wait fails", 0, frame, {Wait{Wait::kError, EIO}}, -1, "select error 5, Input/output error\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(Start());
        Device().Pending().waits = c.waits;
        const bool large = c.path == files_.Path("large");
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_EQ(c.expected,
                  getfile_capturing(fd_, c.format, large ? 640 : kWidth, large ? 480 : kHeight, c.path.c_str()));
        EXPECT_EQ(c.output, testing::internal::GetCapturedStdout());
        EXPECT_EQ(c.printed, testing::internal::GetCapturedStderr());
        EXPECT_FALSE(files_.Exists("frame"));
        EXPECT_FALSE(files_.Exists("large"));
        EXPECT_EQ(c.expected == 1 ? 1u : 2u, Device().FramesLeft());
        Finish();
    }
    EXPECT_EQ(-1, getfile_capturing(fd_, 0, kWidth, kHeight, nullptr));
}

// What open_device gives on failure is refused at once, as a failed wait; a wait on it
// would last the whole 20 s and end in "select timeout" on standard output.
TEST_F(CaptureTest, CapturingFromMinusOneFailsAtOnce)
{
    Bytes destination(kBufferLength, 0xEE);
    const std::string path = files_.Path("frame");
    for (int memory : {0, 1}) {
        SCOPED_TRACE(memory != 0 ? "get_capturing" : "getfile_capturing");
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_EQ(-1, memory != 0 ? get_capturing(-1, 0, kWidth, kHeight, destination.data())
                                  : getfile_capturing(-1, 0, kWidth, kHeight, path.c_str()));
        EXPECT_EQ("", testing::internal::GetCapturedStdout());
        EXPECT_EQ("select error 9, Bad file descriptor\n", testing::internal::GetCapturedStderr());
    }
    EXPECT_FALSE(files_.Exists("frame"));
    EXPECT_EQ(Bytes(kBufferLength, 0xEE), destination);
}

TEST_F(CaptureTest, GetCapturingCopiesEachFormat)
{
    const Bytes jpeg = JpegFixture();
    script_.frames[2].bytes = jpeg;
    script_.frames[2].bytes.resize(kBufferLength, 0xEE);
    script_.frames[2].bytesUsed = static_cast<int64_t>(jpeg.size());
    const Bytes yuyv = MakeFrame(3).bytes;

    Bytes swapped(yuyv);
    for (size_t i = 0; i < swapped.size(); i += 2) {
        std::swap(swapped[i], swapped[i + 1]);
    }
    Bytes luma;
    for (size_t i = 0; i < yuyv.size(); i += 2) {
        luma.push_back(yuyv[i]);
    }
    struct Case {
        int format;
        Bytes frame;
        int expected;
        Bytes copied;
    };
    const Case cases[] = {
        {0, yuyv, static_cast<int>(kBufferLength), swapped},
        {1, script_.frames[2].bytes, static_cast<int>(jpeg.size()), jpeg},
        {2, yuyv, kWidth * kHeight * 3, Orvane::Test::ReferenceBgrFrame(yuyv, kWidth, kHeight)},
        {3, yuyv, static_cast<int>(kBufferLength / 2), luma},
        {7, yuyv, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        script_.frames[2].bytes = c.frame;
        script_.frames[2].bytesUsed = c.format == 1 ? static_cast<int64_t>(jpeg.size()) : -1;
        ASSERT_NO_FATAL_FAILURE(Start(c.format));
        Bytes destination(kBufferLength + 8, 0xA5);
        EXPECT_EQ(c.expected, get_capturing(fd_, c.format, kWidth, kHeight, destination.data()));
        Bytes expected(c.copied);
        expected.resize(destination.size(), 0xA5);
        EXPECT_EQ(expected, destination);
        Finish();
    }
}

// A frame whose stated size does not fit its buffer is refused, never read past.
TEST_F(CaptureTest, GetCapturingRefusesFramesLargerThanTheBuffer)
{
    struct Case {
        const char* name;
        int format;
        int width;
        int height;
        int64_t bytesUsed;
    };
    const Case cases[] = {
        {"BMP of 640 x 480 from 4096 bytes", 2, 640, 480, -1},
        {"odd width", 2, 7, kHeight, -1},
        {"JPEG longer than its buffer", 1, kWidth, kHeight, kBufferLength + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script_.frames[2].bytesUsed = c.bytesUsed;
        ASSERT_NO_FATAL_FAILURE(Start(c.format));
        Bytes destination(kBufferLength, 0xA5);
        EXPECT_EQ(-1, get_capturing(fd_, c.format, c.width, c.height, destination.data()));
        EXPECT_EQ(Bytes(kBufferLength, 0xA5), destination);
        Finish();
    }
}

// A frame that converts to no bytes is still a frame taken: capture does not wait again.
TEST_F(CaptureTest, EmptyFrameEndsTheCapture)
{
    script_.frames[2].bytesUsed = 0;
    script_.frames[3].bytesUsed = 0;
    ASSERT_NO_FATAL_FAILURE(Start(1));
    Bytes destination(16, 0xA5);
    EXPECT_EQ(0, get_capturing(fd_, 1, kWidth, kHeight, destination.data()));
    EXPECT_EQ(3, Device().IoctlCalls(VIDIOC_DQBUF));
    EXPECT_EQ(1, getfile_capturing(fd_, 1, kWidth, kHeight, files_.Path("empty.jpg").c_str()));
    EXPECT_EQ(4, Device().IoctlCalls(VIDIOC_DQBUF));
    EXPECT_TRUE(files_.ReadFile("empty.jpg").empty());
}

TEST_F(CaptureTest, FailedRequeueStopsCaptureButKeepsTheFrame)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Device().Pending().ioctlErrors[VIDIOC_QBUF] = {EIO};
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, getfile_capturing(fd_, 3, kWidth, kHeight, files_.Path("frame.pgm").c_str()));
    EXPECT_EQ("VIDIOC_QBUF error 5, Input/output error\n", testing::internal::GetCapturedStderr());
    EXPECT_TRUE(files_.Exists("frame.pgm"));
    EXPECT_EQ(1, Device().IoctlCalls(VIDIOC_STREAMOFF));
}

TEST_F(CaptureTest, ReadFrameTakesWhatIsReady)
{
    script_.frames.resize(3);
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(-1, read_frame(fd_, 0, 0, kWidth, kHeight, nullptr));
    EXPECT_EQ(-1, read_frame_buffer(fd_, 0, 0, kWidth, kHeight, nullptr));
    EXPECT_EQ(2, Device().IoctlCalls(VIDIOC_DQBUF)) << "a null target takes no frame";

    EXPECT_EQ(1, read_frame_buffer(fd_, 1, 0, kWidth, kHeight, nullptr)) << "discarded";
    EXPECT_EQ(5, Device().IoctlCalls(VIDIOC_QBUF)) << "and queued again";
    EXPECT_EQ(0, read_frame(fd_, 0, 0, kWidth, kHeight, files_.Path("none").c_str())) << "no frame ready";
    EXPECT_FALSE(files_.Exists("none"));

    Device().Pending().frames.push_back(MakeFrame(9));
    const std::string path = files_.Path("frame.pgm");
    EXPECT_EQ(static_cast<int>(kBufferLength), read_frame(fd_, 0, 3, kWidth, kHeight, path.c_str()));
    EXPECT_TRUE(files_.Exists("frame.pgm"));
}

TEST_F(CaptureTest, TeardownUnmapsEveryBuffer)
{
    script_.grantedBuffers = 4;
    ASSERT_NO_FATAL_FAILURE(Start(2));
    EXPECT_EQ(4u, Device().LiveMappings());
    EXPECT_EQ(1, getfile_capturing(fd_, 2, kWidth, kHeight, files_.Path("frame.bmp").c_str()));
    stop_capturing(fd_);
    EXPECT_FALSE(Device().Streaming());
    uninit_device(fd_);
    EXPECT_EQ(0u, Device().LiveMappings());
    EXPECT_EQ(4, Device().MunmapCalls());
    EXPECT_EQ(nullptr, buffers);
    uninit_device(fd_);
    EXPECT_EQ(4, Device().MunmapCalls()) << "a second uninit has nothing left to unmap";
    close_device(fd_);
    EXPECT_FALSE(Device().IsOpen());
    EXPECT_FALSE(DescriptorIsOpen(fd_));
}

// A second init_device first undoes the mappings of the first (the driver refuses new
// buffers while old ones are mapped); after uninit_device no old buffer is used.
TEST_F(CaptureTest, InitialisingAgainResetsTheBufferTable)
{
    ASSERT_NO_FATAL_FAILURE(Initialise());
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, init_device(fd_, 2, kWidth, kHeight));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ(2, Device().MunmapCalls());
    EXPECT_EQ(2u, Device().LiveMappings());
    ASSERT_NE(nullptr, buffers);

    uninit_device(fd_);
    EXPECT_EQ(0u, Device().LiveMappings());
    testing::internal::CaptureStdout();
    EXPECT_EQ(-3004, start_capturing(fd_, 0)) << "nothing queued, so no frame comes";
    EXPECT_EQ("select timeout\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, Device().IoctlCalls(VIDIOC_QBUF));
}

TEST_F(CaptureTest, StopAndCloseFailuresAreReported)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Device().Pending().ioctlErrors[VIDIOC_STREAMOFF] = {EIO};
    testing::internal::CaptureStderr();
    stop_capturing(fd_);
    EXPECT_EQ("VIDIOC_STREAMOFF error 5, Input/output error\n", testing::internal::GetCapturedStderr());
    EXPECT_FALSE(Device().IsOpen()) << "the device is closed";
    EXPECT_TRUE(DescriptorIsOpen(fd_)) << "but its number stays the caller's";
    EXPECT_EQ(2u, Device().LiveMappings());
    uninit_device(fd_);
    close_device(fd_);
    EXPECT_FALSE(DescriptorIsOpen(fd_));

    script_.closeError = EIO;
    ASSERT_NO_FATAL_FAILURE(Initialise());
    testing::internal::CaptureStderr();
    close_device(fd_);
    EXPECT_EQ("close error 5, Input/output error\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(0u, Device().LiveMappings()) << "a failed close uninitialises";
    EXPECT_EQ(nullptr, buffers);

    // Negative descriptors are left alone.
    stop_capturing(-1);
    close_device(-1);
    EXPECT_EQ(0, Device().IoctlCalls(VIDIOC_STREAMOFF));
}

TEST_F(CaptureTest, FailedUnmapIsReportedAndTheRestUnmapped)
{
    ASSERT_NO_FATAL_FAILURE(Initialise());
    Device().Pending().munmapError = EINVAL;
    testing::internal::CaptureStderr();
    uninit_device(fd_);
    EXPECT_EQ("munmap error 22, Invalid argument\nmunmap error 22, Invalid argument\n",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ(2, Device().MunmapCalls());
    EXPECT_EQ(nullptr, buffers);
    Device().Pending().munmapError = 0;
}

// Waiting works for descriptors beyond the range of select's fd_set.
TEST_F(CaptureTest, HighDescriptorNumbersAreWaitedFor)
{
    constexpr int kHigh = 1500;
    rlimit limit;
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &limit));
    if (limit.rlim_cur <= kHigh + 10) {
        if (limit.rlim_max <= kHigh + 10) {
            GTEST_SKIP() << "descriptor limit too low";
        }
        limit.rlim_cur = kHigh + 11;
        ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &limit));
    }

    script_.minimumDescriptor = kHigh;
    ASSERT_NO_FATAL_FAILURE(Start(2));
    EXPECT_GE(fd_, kHigh);
    Bytes destination(kWidth * kHeight * 3);
    EXPECT_EQ(kWidth * kHeight * 3, get_capturing(fd_, 2, kWidth, kHeight, destination.data()));
    Finish();

    // A real descriptor: a readable pipe is no camera, so the dequeue fails after the wait.
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    const int high = fcntl(ends[0], F_DUPFD, kHigh + 5);
    ASSERT_GE(high, kHigh);
    ASSERT_EQ(1, write(ends[1], "x", 1));
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, getfile_capturing(high, 0, kWidth, kHeight, files_.Path("pipe").c_str()));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::StartsWith("VIDIOC_DQBUF error 25, Inappropriate ioctl for device\n"));
    close(high);
    close(ends[0]);
    close(ends[1]);
}

TEST_F(CaptureTest, ErrnoExitReportsAndReturns)
{
    errno = EACCES;
    testing::internal::CaptureStderr();
    errno_exit("VIDIOC_S_FMT");
    EXPECT_EQ("VIDIOC_S_FMT error 13, Permission denied\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(EACCES, errno);
}

} // namespace
