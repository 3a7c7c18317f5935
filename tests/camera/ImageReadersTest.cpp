// Other programs open the BMP and PGM files: ImageMagick (identify, convert) and netpbm
// (pamfile, bmptopnm) read them back, and their pixels follow the integer formula.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "YuyvFrames.h"
#include "ivelmo.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct CommandResult {
    int status;
    std::string output;
};

// Runs a shell command; its standard output is captured, its standard error dropped.
CommandResult RunCommand(const std::string& command)
{
    CommandResult result{-1, {}};
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        result.output.append(chunk, got);
    }
    result.status = pclose(pipe);
    return result;
}

Bytes AsBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes BgrToRgb(const Bytes& bgr)
{
    Bytes rgb(bgr);
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        std::swap(rgb[i], rgb[i + 2]);
    }
    return rgb;
}

Bytes Luma(const Bytes& yuyv)
{
    Bytes luma;
    for (size_t i = 0; i < yuyv.size(); i += 2) {
        luma.push_back(yuyv[i]);
    }
    return luma;
}

class ImageReadersTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { ASSERT_TRUE(files_.Ready()); }
    Orvane::Test::TestFiles files_;
};

constexpr int kHeight = 3;

TEST_P(ImageReadersTest, BmpOpensInImageMagickAndNetpbm)
{
    const int width = GetParam();
    const Bytes frame = Orvane::Test::MakeYuyvFrame(width, kHeight, static_cast<uint32_t>(width));
    const std::string path = files_.Path("frame.bmp");
    ASSERT_EQ(static_cast<int>(frame.size()),
              process_image_BMP(frame.data(), static_cast<int>(frame.size()), width, kHeight, path.c_str()));
    const Bytes rgb = BgrToRgb(Orvane::Test::ReferenceBgrFrame(frame, width, kHeight));

    const CommandResult identified = RunCommand("/usr/bin/identify -format '%m %w %h %z' " + path);
    EXPECT_EQ(0, identified.status);
    EXPECT_EQ("BMP3 " + std::to_string(width) + " " + std::to_string(kHeight) + " 8", identified.output);

    const CommandResult pixels = RunCommand("/usr/bin/convert " + path + " -depth 8 rgb:-");
    EXPECT_EQ(0, pixels.status);
    EXPECT_EQ(rgb, AsBytes(pixels.output));

    const CommandResult portable = RunCommand("bmptopnm " + path);
    EXPECT_EQ(0, portable.status);
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(kHeight) + "\n255\n";
    EXPECT_EQ(AsBytes(header + std::string(rgb.begin(), rgb.end())), AsBytes(portable.output));
}

TEST_P(ImageReadersTest, PgmOpensInNetpbmAndImageMagick)
{
    const int width = GetParam();
    const Bytes frame = Orvane::Test::MakeYuyvFrame(width, kHeight, static_cast<uint32_t>(width) + 1);
    const std::string path = files_.Path("frame.pgm");
    ASSERT_EQ(static_cast<int>(frame.size()),
              process_image_PGM(frame.data(), static_cast<int>(frame.size()), width, kHeight, path.c_str()));

    const CommandResult described = RunCommand("pamfile " + path);
    EXPECT_EQ(0, described.status);
    EXPECT_EQ(path + ":\tPGM raw, " + std::to_string(width) + " by " + std::to_string(kHeight) + "  maxval 255\n",
              described.output);

    const CommandResult identified = RunCommand("/usr/bin/identify -format '%m %w %h %z' " + path);
    EXPECT_EQ(0, identified.status);
    EXPECT_EQ("PGM " + std::to_string(width) + " " + std::to_string(kHeight) + " 8", identified.output);

    const CommandResult pixels = RunCommand("/usr/bin/convert " + path + " -depth 8 gray:-");
    EXPECT_EQ(0, pixels.status);
    EXPECT_EQ(Luma(frame), AsBytes(pixels.output));
}

INSTANTIATE_TEST_SUITE_P(Widths, ImageReadersTest, ::testing::Values(4, 6, 8, 640, 1366));

} // namespace
