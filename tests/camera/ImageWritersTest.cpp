#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "YuyvFrames.h"
#include "ivelmo.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Orvane::Test::TestFiles;

// A 4 x 2 frame whose pixels have known colours:
//   row 0: (Y 255, U 128, V 128) white, (Y 0, U 128, V 128) black, then (Y 0, U 0, V 0) twice;
//   row 1: grey 128 and 64, then Y 100 and 200 with U 255, V 0.
const Bytes kFrame4x2 = {255, 128, 0, 128, 0, 0, 0, 0, 128, 128, 64, 128, 100, 255, 200, 0};
const Bytes kBgrRow0 = {255, 255, 255, 0, 0, 0, 0, 135, 0, 0, 135, 0};
const Bytes kBgrRow1 = {128, 128, 128, 64, 64, 64, 255, 147, 0, 255, 247, 20};

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes LittleEndian(uint32_t value, int size)
{
    Bytes bytes;
    for (int i = 0; i < size; ++i) {
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    return bytes;
}

Bytes BmpHeader(uint32_t fileSize, int width, int height, uint32_t imageSize)
{
    return Concat({{'B', 'M'}, LittleEndian(fileSize, 4), LittleEndian(0, 4), LittleEndian(54, 4),
                   LittleEndian(40, 4), LittleEndian(static_cast<uint32_t>(width), 4),
                   LittleEndian(static_cast<uint32_t>(height), 4), LittleEndian(1, 2), LittleEndian(24, 2),
                   LittleEndian(0, 4), LittleEndian(imageSize, 4), Bytes(16, 0)});
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

class ImageWritersTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(files_.Ready()); }
    TestFiles files_;
};

TEST_F(ImageWritersTest, BmpFileOfFourByTwoFrameHoldsBottomRowFirst)
{
    const std::string path = files_.Path("frame.bmp");
    EXPECT_EQ(16, process_image_BMP(kFrame4x2.data(), 16, 4, 2, path.c_str()));
    const Bytes expected = Concat({BmpHeader(78, 4, 2, 24), kBgrRow1, kBgrRow0});
    EXPECT_EQ(expected, files_.ReadFile("frame.bmp"));
}

TEST_F(ImageWritersTest, BmpRowsArePaddedToFourBytes)
{
    // Rows of 6 pixels are 18 bytes, stored as 20; the header sizes count the padding.
    const Bytes frame = Orvane::Test::MakeYuyvFrame(6, 2, 7);
    const Bytes bgr = Orvane::Test::ReferenceBgrFrame(frame, 6, 2);
    const std::string path = files_.Path("frame.bmp");
    EXPECT_EQ(24, process_image_BMP(frame.data(), 24, 6, 2, path.c_str()));
    const Bytes expected = Concat({BmpHeader(94, 6, 2, 40), Bytes(bgr.begin() + 18, bgr.end()), Bytes(2, 0),
                                   Bytes(bgr.begin(), bgr.begin() + 18), Bytes(2, 0)});
    EXPECT_EQ(expected, files_.ReadFile("frame.bmp"));
}

TEST_F(ImageWritersTest, BmpOfHeightZeroIsTheHeaderAlone)
{
    const std::string path = files_.Path("empty.bmp");
    EXPECT_EQ(16, process_image_BMP(kFrame4x2.data(), 16, 4, 0, path.c_str()));
    EXPECT_EQ(BmpHeader(54, 4, 0, 0), files_.ReadFile("empty.bmp"));
}

TEST_F(ImageWritersTest, PgmFileHoldsWidthTimesHeightLumaBytes)
{
    // The mapped buffer is longer than the frame: only width x height samples are written.
    Bytes buffer = kFrame4x2;
    buffer.resize(24, 77);
    const std::string path = files_.Path("frame.pgm");
    EXPECT_EQ(24, process_image_PGM(buffer.data(), 24, 4, 2, path.c_str()));
    const Bytes expected = Concat({Text("P5\n# Created by libivelmo\n4 2\n255\n"), {255, 0, 0, 0, 128, 64, 100, 200}});
    EXPECT_EQ(expected, files_.ReadFile("frame.pgm"));
}

TEST_F(ImageWritersTest, RawFileSwapsEveryBytePairInPlace)
{
    Bytes buffer = {1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes swapped = {2, 1, 4, 3, 6, 5, 8, 7};
    const std::string path = files_.Path("frame.yuv");
    EXPECT_EQ(8, process_image_YUYV(buffer.data(), 8, path.c_str()));
    EXPECT_EQ(swapped, files_.ReadFile("frame.yuv"));
    EXPECT_EQ(swapped, buffer);

    // An odd last byte stays where it is.
    Bytes odd = {1, 2, 3};
    EXPECT_EQ(3, process_image_YUYV(odd.data(), 3, path.c_str()));
    EXPECT_EQ((Bytes{2, 1, 3}), files_.ReadFile("frame.yuv"));
}

TEST_F(ImageWritersTest, JpegFixturePassesThroughByteForByte)
{
    const Bytes jpeg = TestFiles::Read(TESSIVAL_SOURCE_DIR "/tests/support/camera/gradient16x8.jpg");
    ASSERT_GT(jpeg.size(), 100u);
    const int length = static_cast<int>(jpeg.size());
    const std::string path = files_.Path("frame.jpg");
    EXPECT_EQ(length, process_image_JPEG(jpeg.data(), length, path.c_str()));
    EXPECT_EQ(jpeg, files_.ReadFile("frame.jpg"));

    Bytes copy(jpeg.size() + 4, 0xEE);
    EXPECT_EQ(length, process_image_buffer_JPG(jpeg.data(), length, copy.data()));
    EXPECT_EQ(jpeg, Bytes(copy.begin(), copy.begin() + length));
    EXPECT_EQ(Bytes(4, 0xEE), Bytes(copy.begin() + length, copy.end()));
}

TEST_F(ImageWritersTest, MemoryConvertersWriteBgrLumaOrSwappedPairsAndNothingPast)
{
    Bytes bgr(26, 0xEE);
    EXPECT_EQ(24, process_image_buffer_BMP(kFrame4x2.data(), 16, 4, 2, bgr.data()));
    EXPECT_EQ(Concat({kBgrRow0, kBgrRow1, {0xEE, 0xEE}}), bgr);

    Bytes luma(4, 0xEE);
    const Bytes five = {10, 11, 12, 13, 14};
    EXPECT_EQ(3, process_image_buffer_PGM(five.data(), 5, 0, 0, luma.data()));
    EXPECT_EQ((Bytes{10, 12, 14, 0xEE}), luma);
    EXPECT_EQ(0, process_image_buffer_PGM(five.data(), 0, 0, 0, luma.data()));
    EXPECT_EQ(0, process_image_buffer_PGM(five.data(), -4, 0, 0, luma.data()));

    const Bytes source = {1, 2, 3, 4, 5, 6, 7, 8};
    Bytes raw(9, 0xEE);
    EXPECT_EQ(8, process_image_buffer_YUYV(source.data(), 8, raw.data()));
    EXPECT_EQ((Bytes{2, 1, 4, 3, 6, 5, 8, 7, 0xEE}), raw);
    EXPECT_EQ((Bytes{1, 2, 3, 4, 5, 6, 7, 8}), source) << "the source of the memory converter stays as it was";
}

TEST_F(ImageWritersTest, EveryChromaPairFollowsTheIntegerFormula)
{
    // One row per U, one pair per V, with the luma varied between rounds: all 65536 chroma
    // pairs, each at several luma levels, in memory and in the BMP file.
    const int width = 512;
    const int height = 256;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        Bytes frame(static_cast<size_t>(width) * height * 2);
        for (int u = 0; u < 256; ++u) {
            for (int v = 0; v < 256; ++v) {
                uint8_t* pair = &frame[(static_cast<size_t>(u) * 256 + v) * 4];
                pair[0] = static_cast<uint8_t>(u * 7 + v * 13 + round * 64);
                pair[1] = static_cast<uint8_t>(u);
                pair[2] = static_cast<uint8_t>(255 - u * 3 - v * 5 - round * 64);
                pair[3] = static_cast<uint8_t>(v);
            }
        }
        const Bytes expected = Orvane::Test::ReferenceBgrFrame(frame, width, height);
        Bytes bgr(expected.size());
        ASSERT_EQ(static_cast<int>(bgr.size()),
                  process_image_buffer_BMP(frame.data(), static_cast<int>(frame.size()), width, height, bgr.data()));
        ASSERT_EQ(expected, bgr);

        const std::string path = files_.Path("chroma.bmp");
        ASSERT_EQ(static_cast<int>(frame.size()),
                  process_image_BMP(frame.data(), static_cast<int>(frame.size()), width, height, path.c_str()));
        const Bytes file = files_.ReadFile("chroma.bmp");
        ASSERT_EQ(54 + expected.size(), file.size());
        const size_t row = static_cast<size_t>(width) * 3;
        for (int y = 0; y < height; ++y) {
            const auto stored = file.begin() + 54 + static_cast<long>((height - 1 - y) * row);
            ASSERT_TRUE(std::equal(stored, stored + static_cast<long>(row), expected.begin() + static_cast<long>(y * row)))
                << "row " << y;
        }
    }
}

// Width and height are checked against the frame length before any byte is read: a frame
// that does not fit is refused, and no file is created.
TEST_F(ImageWritersTest, FramesThatDoNotFitTheBufferAreRefused)
{
    struct Case {
        const char* name;
        int length;
        int width;
        int height;
    };
    const Case cases[] = {
        {"width zero", 16, 0, 2},
        {"odd width", 16, 3, 2},
        {"negative width", 16, -4, 2},
        {"negative height", 16, 4, -2},
        {"one row too many", 16, 4, 3},
        {"one byte short", 15, 4, 2},
        {"negative length", -16, 4, 2},
        {"product wraps to zero in 32 bits", 16, 65536, 65536},
        {"product overflows int", 16, 46342, 46342},
        {"largest sizes", INT_MAX, INT_MAX - 1, INT_MAX},
    };
    const Bytes guard(16, 0xEE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The frame is exactly 16 bytes long on the heap, so any read past it is caught.
        Bytes frame(kFrame4x2);
        Bytes destination(guard);
        EXPECT_EQ(-1, process_image_buffer_BMP(frame.data(), c.length, c.width, c.height, destination.data()));
        EXPECT_EQ(guard, destination);
        EXPECT_EQ(-1, process_image_BMP(frame.data(), c.length, c.width, c.height, files_.Path("f.bmp").c_str()));
        EXPECT_EQ(-1, process_image_PGM(frame.data(), c.length, c.width, c.height, files_.Path("f.pgm").c_str()));
        EXPECT_FALSE(files_.Exists("f.bmp"));
        EXPECT_FALSE(files_.Exists("f.pgm"));
    }
}

TEST_F(ImageWritersTest, NullPointersAreRefused)
{
    Bytes frame(kFrame4x2);
    Bytes out(32);
    const std::string path = files_.Path("null");
    const char* p = path.c_str();
    struct Case {
        const char* name;
        std::function<int()> call;
    };
    const Case cases[] = {
        {"YUYV data", [&] { return process_image_YUYV(nullptr, 16, p); }},
        {"YUYV path", [&] { return process_image_YUYV(frame.data(), 16, nullptr); }},
        {"JPEG data", [&] { return process_image_JPEG(nullptr, 16, p); }},
        {"JPEG path", [&] { return process_image_JPEG(frame.data(), 16, nullptr); }},
        {"BMP data", [&] { return process_image_BMP(nullptr, 16, 4, 2, p); }},
        {"BMP path", [&] { return process_image_BMP(frame.data(), 16, 4, 2, nullptr); }},
        {"PGM data", [&] { return process_image_PGM(nullptr, 16, 4, 2, p); }},
        {"PGM path", [&] { return process_image_PGM(frame.data(), 16, 4, 2, nullptr); }},
        {"buffer YUYV data", [&] { return process_image_buffer_YUYV(nullptr, 16, out.data()); }},
        {"buffer YUYV destination", [&] { return process_image_buffer_YUYV(frame.data(), 16, nullptr); }},
        {"buffer JPG data", [&] { return process_image_buffer_JPG(nullptr, 16, out.data()); }},
        {"buffer JPG destination", [&] { return process_image_buffer_JPG(frame.data(), 16, nullptr); }},
        {"buffer BMP data", [&] { return process_image_buffer_BMP(nullptr, 16, 4, 2, out.data()); }},
        {"buffer BMP destination", [&] { return process_image_buffer_BMP(frame.data(), 16, 4, 2, nullptr); }},
        {"buffer PGM data", [&] { return process_image_buffer_PGM(nullptr, 16, 4, 2, out.data()); }},
        {"buffer PGM destination", [&] { return process_image_buffer_PGM(frame.data(), 16, 4, 2, nullptr); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(-1, c.call());
        EXPECT_FALSE(files_.Exists("null"));
    }
}

// Failures to open, write or close the file are reported and make the writer fail.
TEST_F(ImageWritersTest, FileFailuresAreReported)
{
    const Bytes small = Orvane::Test::MakeYuyvFrame(4, 2, 3);
    // Larger than the stdio buffer, so the failure surfaces at fwrite, not only at fclose.
    const Bytes large = Orvane::Test::MakeYuyvFrame(640, 16, 3);
    const std::string missing = files_.Path("no-such-directory/frame");
    struct Case {
        const char* name;
        std::function<int(const Bytes&, const char*)> write;
    };
    const Case writers[] = {
        {"YUYV", [](const Bytes& f, const char* p) {
             Bytes copy(f);
             return process_image_YUYV(copy.data(), static_cast<int>(copy.size()), p);
         }},
        {"JPEG", [](const Bytes& f, const char* p) { return process_image_JPEG(f.data(), static_cast<int>(f.size()), p); }},
        {"BMP", [](const Bytes& f, const char* p) {
             return process_image_BMP(f.data(), static_cast<int>(f.size()), f.size() == 16 ? 4 : 640, f.size() == 16 ? 2 : 16, p);
         }},
        {"PGM", [](const Bytes& f, const char* p) {
             return process_image_PGM(f.data(), static_cast<int>(f.size()), f.size() == 16 ? 4 : 640, f.size() == 16 ? 2 : 16, p);
         }},
    };
    for (const Case& writer : writers) {
        SCOPED_TRACE(writer.name);
        testing::internal::CaptureStderr();
        EXPECT_EQ(-1, writer.write(small, missing.c_str()));
        EXPECT_EQ("fopen error 2, No such file or directory\n", testing::internal::GetCapturedStderr());

        testing::internal::CaptureStderr();
        EXPECT_EQ(-1, writer.write(small, "/dev/full"));
        EXPECT_EQ("fclose error 28, No space left on device\n", testing::internal::GetCapturedStderr());

        testing::internal::CaptureStderr();
        EXPECT_EQ(-1, writer.write(large, "/dev/full"));
        const std::string reported = testing::internal::GetCapturedStderr();
        EXPECT_EQ("fwrite error 28, No space left on device\n", reported);
    }
}

} // namespace
