#include <gtest/gtest.h>

#include <cstdio>

#include "Vad/EngineFixture.h"
#include "support/AudioFixture.h"

namespace Orvane {
namespace Test {
namespace {

TEST(DetectVadExperiment, Burst)
{
    const Samples speech = Speak(HeldOutSentences()[0], TestVoices()[0]);
    for (double snr : {30.0, 10.0, 5.0}) {
        const Samples clean = Join({Silence(1.0), speech, Silence(1.0)});
        const Samples noisy = MixAtSnr(clean, Noise(NoiseKind::Pink, 5.0), snr);
        VadHandle handle = MakePresetHandle();
        SetVariableVADReal(handle.get(), "VAD:Threshold", 1.0);
        SetVariableVADInt(handle.get(), "VAD:FilLen", 1);
        SetVariableVADReal(handle.get(), "VAD:ProbN2S", 0.1);
        SetVariableVADReal(handle.get(), "VAD:ProbS2N", 0.9);
        SetVariableVADInt(handle.get(), "VAD:MaxSDuration", 0);
        SetVariableVADInt(handle.get(), "VAD:MaxNDuration", 0);
        SetVariableVADInt(handle.get(), "VAD:MaxGap", 0);
        const VadRun run = RunFrames(handle.get(), noisy);
        std::string line;
        for (std::size_t i = 0; i < run.medians.size(); ++i) {
            line += run.medians[i] > 1.0 ? '#' : '.';
        }
        std::printf("snr %g speech %zu..%zu\n%s\n", snr, std::size_t(100), 100 + speech.size() / 160, line.c_str());
    }
}

} // namespace
} // namespace Test
} // namespace Orvane
