#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "Vad/EngineFixture.h"
#include "support/AudioFixture.h"

// The engine's allocations go through these wrappers (linked with --wrap), so a test can
// count them.
extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* p, std::size_t size);

std::atomic<long> g_allocations{0};

void* __wrap_malloc(std::size_t size)
{
    ++g_allocations;
    return __real_malloc(size);
}

void* __wrap_calloc(std::size_t count, std::size_t size)
{
    ++g_allocations;
    return __real_calloc(count, size);
}

void* __wrap_realloc(void* p, std::size_t size)
{
    ++g_allocations;
    return __real_realloc(p, size);
}
}

namespace Orvane {
namespace Test {
namespace {

// After the first frames of a stream nothing is allocated per frame.
TEST(SteadyState, NoAllocationPerFrame)
{
    const Samples speech = Speak(HeldOutSentences()[5], TestVoices()[0]);
    const Samples input = MixAtSnr(Join({Silence(0.5), speech, Silence(0.5)}), Noise(NoiseKind::Pink, 4.0), 10.0);
    for (const std::string output : {"OBS_WAV", "MMSE_WAV"}) {
        SCOPED_TRACE(output);
        VadHandle handle = MakePresetHandle(output);
        ASSERT_EQ(0, SetVariableVADInt(handle.get(), "VAD:NumStream", 2)); // periodicity on too
        int state = 0;
        unsigned first = 0;
        unsigned second = 0;
        short out[160];
        ASSERT_EQ(0, DetectVAD(handle.get(), input.data(), 1, 1, &state, &first, &second, out));
        std::size_t at = 320;
        for (int frame = 0; frame < 20; ++frame, at += 160) {
            ASSERT_EQ(0, DetectVAD(handle.get(), input.data() + at, 0, 1, &state, &first, &second, out));
        }
        const long before = g_allocations.load();
        for (; at + 160 <= input.size(); at += 160) {
            ASSERT_EQ(0, DetectVAD(handle.get(), input.data() + at, 0, 1, &state, &first, &second, out));
        }
        EXPECT_EQ(before, g_allocations.load());
        EXPECT_GT(g_allocations.load(), 0); // the wrappers are in place
    }
}

} // namespace
} // namespace Test
} // namespace Orvane
