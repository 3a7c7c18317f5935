// YUYV to 24-bit BGR of a 1280 x 720 frame: libivelmo's integer conversion beside libyuv's
// YUY2 to RGB24 (B, G, R in memory, as ours), in the same run. libyuv has no single
// YUY2-to-RGB24 call, so it goes row by row through ARGB, as libyuv chains its own rows;
// its one-step YUY2 to ARGB is shown too. The colour formulas differ: only speed compares.

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <libyuv.h>

#include "common/RunBenchmarks.h"
#include "ivelmo.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

std::vector<uint8_t> MakeFrame()
{
    std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight * 2);
    uint32_t state = 12345;
    for (uint8_t& byte : frame) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return frame;
}

const std::vector<uint8_t>& Frame()
{
    static const std::vector<uint8_t> frame = MakeFrame();
    return frame;
}

void IvelmoYuyvToBgr(benchmark::State& state)
{
    std::vector<uint8_t> bgr(static_cast<size_t>(kWidth) * kHeight * 3);
    const int length = static_cast<int>(Frame().size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(process_image_buffer_BMP(Frame().data(), length, kWidth, kHeight, bgr.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}
BENCHMARK(IvelmoYuyvToBgr)->Unit(benchmark::kMicrosecond);

void IvelmoYuyvToBmpFile(benchmark::State& state)
{
    const int length = static_cast<int>(Frame().size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(process_image_BMP(Frame().data(), length, kWidth, kHeight, "/dev/null"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}
BENCHMARK(IvelmoYuyvToBmpFile)->Unit(benchmark::kMicrosecond);

void LibyuvYuy2ToRgb24(benchmark::State& state)
{
    std::vector<uint8_t> argbRow(static_cast<size_t>(kWidth) * 4);
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            libyuv::YUY2ToARGB(Frame().data() + static_cast<size_t>(y) * kWidth * 2, kWidth * 2, argbRow.data(),
                               kWidth * 4, kWidth, 1);
            libyuv::ARGBToRGB24(argbRow.data(), kWidth * 4, rgb.data() + static_cast<size_t>(y) * kWidth * 3,
                                kWidth * 3, kWidth, 1);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Frame().size()));
}
BENCHMARK(LibyuvYuy2ToRgb24)->Unit(benchmark::kMicrosecond);

void LibyuvYuy2ToArgb(benchmark::State& state)
{
    std::vector<uint8_t> argb(static_cast<size_t>(kWidth) * kHeight * 4);
    for (auto _ : state) {
        libyuv::YUY2ToARGB(Frame().data(), kWidth * 2, argb.data(), kWidth * 4, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Frame().size()));
}
BENCHMARK(LibyuvYuy2ToArgb)->Unit(benchmark::kMicrosecond);

// Prints the usual table and keeps each benchmark's time per iteration for the ratios,
// which follow the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        PrintRatio("IvelmoYuyvToBgr", "LibyuvYuy2ToRgb24");
        PrintRatio("IvelmoYuyvToBgr", "LibyuvYuy2ToArgb");
        PrintRatio("IvelmoYuyvToBmpFile", "LibyuvYuy2ToRgb24");
    }

private:
    void PrintRatio(const std::string& ours, const std::string& theirs) const
    {
        const auto a = times_.find(ours);
        const auto b = times_.find(theirs);
        if (a != times_.end() && b != times_.end() && b->second > 0) {
            std::printf("%s / %s = %.2fx\n", ours.c_str(), theirs.c_str(), a->second / b->second);
        }
    }

    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char** argv)
{
    RatioReporter reporter;
    return Orvane::Bench::RunBenchmarks(argc, argv, reporter);
}
