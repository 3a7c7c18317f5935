#include "Vad/voicing.h"

#include <algorithm>
#include <cstdlib>

#include "Vad/feature.h"
#include "Vad/sbm_error_code.h"

namespace {

constexpr double kHighestPitch = 400.0;
constexpr double kLowestPitch = 80.0;
// Lags where the window's overlap falls below this are too noisy to normalise.
constexpr double kLeastOverlap = 0.25;

} // namespace

int AllocVoicing(VoicingInfo_t** voicing, const DataBuf* db)
{
    if (voicing == nullptr || db == nullptr || db->window == nullptr || db->FramePts == 0) {
        return SBM_ERR_NULL;
    }
    FreeVoicing(voicing);
    const unsigned int n = db->NumFFT;
    VoicingInfo_t* v = static_cast<VoicingInfo_t*>(std::calloc(1, sizeof(VoicingInfo_t)));
    if (v == nullptr) {
        return SBM_ERR_MEMORY;
    }
    v->size = n;
    v->window = static_cast<double*>(std::calloc(n, sizeof(double)));
    v->autocorr = static_cast<double*>(std::calloc(n, sizeof(double)));
    v->work = static_cast<double*>(std::calloc(n, sizeof(double)));
    *voicing = v;
    if (v->window == nullptr || v->autocorr == nullptr || v->work == nullptr) {
        FreeVoicing(voicing);
        return SBM_ERR_MEMORY;
    }
    const unsigned int len = db->FramePts;
    double energy = 0.0;
    for (unsigned int i = 0; i < len; ++i) {
        energy += db->window[i] * db->window[i];
    }
    v->shortest = std::max(1u, static_cast<unsigned int>(db->SampFreq / kHighestPitch));
    v->longest = std::min(std::min(len, n / 2) - 1, static_cast<unsigned int>(db->SampFreq / kLowestPitch));
    for (unsigned int lag = 0; lag <= v->longest; ++lag) {
        double sum = 0.0;
        for (unsigned int i = 0; i + lag < len; ++i) {
            sum += db->window[i] * db->window[i + lag];
        }
        v->window[lag] = energy > 0.0 ? sum / energy : 0.0;
        if (lag > v->shortest && v->window[lag] < kLeastOverlap) {
            v->longest = lag - 1;
            break;
        }
    }
    return v->shortest <= v->longest ? 0 : SBM_ERR_RANGE;
}

void FreeVoicing(VoicingInfo_t** voicing)
{
    if (voicing == nullptr || *voicing == nullptr) {
        return;
    }
    std::free((*voicing)->window);
    std::free((*voicing)->autocorr);
    std::free((*voicing)->work);
    std::free(*voicing);
    *voicing = nullptr;
}

double FrameVoicing(VoicingInfo_t* v, const DataBuf* db, const ChannelBuf& ch)
{
    if (v == nullptr || db == nullptr || ch.power == nullptr || db->fft.size != v->size) {
        return 0.0;
    }
    RealValuedInverseFFT(db->fft, ch.power, v->autocorr, v->work);
    const double energy = v->autocorr[0];
    if (!(energy > 0.0)) {
        return 0.0;
    }
    // The peak is looked for once the autocorrelation has gone negative, so that noise
    // whose energy lies low (brown noise, a rumble) does not pass for a pitch.
    unsigned int lag = 1;
    while (lag <= v->longest && v->autocorr[lag] >= 0.0) {
        ++lag;
    }
    double best = 0.0;
    for (lag = std::max(lag, v->shortest); lag <= v->longest; ++lag) {
        best = std::max(best, v->autocorr[lag] / (energy * v->window[lag]));
    }
    return std::min(best, 1.0);
}
