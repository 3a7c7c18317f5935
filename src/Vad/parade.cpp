#include "Vad/parade.h"

#include <cmath>
#include <cstdlib>

#include "Vad/env_list.h"
#include "Vad/feature.h"
#include "Vad/memory.h"
#include "Vad/quillet_error_common.h"

namespace {

void ReadVariables(ParadePrms* p, VADEnvList* env)
{
    int i = 0;
    double r = 0.0;
    if (ReadEnvReal(env, "PARADE:LowF0", &r) != 0) return;
    p->LowF0 = r;
    if (ReadEnvReal(env, "PARADE:HighF0", &r) != 0) return;
    p->HighF0 = r;
    if (ReadEnvInt(env, "PARADE:FilLen", &i) != 0) return;
    p->FilLen = static_cast<unsigned int>(i);
}

// trunc(SampFreq / f0) held within [1, limit].
unsigned int Lag(double sampFreq, double f0, unsigned int limit)
{
    const double lag = std::trunc(sampFreq / f0);
    if (!(lag >= 1.0)) {
        return 1;
    }
    return lag > limit ? limit : static_cast<unsigned int>(lag);
}

double Ratio(const ParadePrms* p, const DataBuf* db, const ChannelBuf& ch)
{
    const unsigned int n = db->NumFFT;
    double mean = 0.0;
    for (unsigned int k = 0; k < n; ++k) {
        mean += ch.power[k];
    }
    mean *= 1.0 / n;
    unsigned int period = p->shortestLag;
    for (unsigned int lag = p->shortestLag + 1; lag <= p->longestLag; ++lag) {
        if (ch.autocorr[lag] > ch.autocorr[period]) {
            period = lag;
        }
    }
    const double f0 = db->SampFreq / period;
    const double harmonics = std::floor(0.5 * db->SampFreq / f0);
    double sum = 0.0;
    for (double h = 1.0; h <= harmonics; h += 1.0) {
        const double bin = std::floor(h * f0 / db->SampFreq * n);
        sum += ch.power[bin < n ? static_cast<unsigned int>(bin) : n - 1];
    }
    const double periodic = (sum - harmonics * mean) * p->eta / (1.0 - harmonics * p->eta);
    double ratio = mean > periodic ? periodic / (mean - periodic) : mean;
    if (!(ratio >= 1e-6)) {
        ratio = 1e-6;
    }
    return ratio;
}

} // namespace

double DescendingMedian(const double* values, unsigned int half, double* scratch)
{
    const unsigned int n = 2 * half + 1;
    for (unsigned int i = 0; i < n; ++i) {
        scratch[i] = values[i];
    }
    for (unsigned int i = 0; i + 1 < n; ++i) {
        unsigned int best = i;
        for (unsigned int j = i + 1; j < n; ++j) {
            if (scratch[j] > scratch[best]) {
                best = j;
            }
        }
        const double t = scratch[i];
        scratch[i] = scratch[best];
        scratch[best] = t;
    }
    return scratch[half];
}

ParadePrms* InitParadePrms(VADEnvList* env, const DataBuf* db)
{
    if (env == nullptr || db == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return nullptr;
    }
    ParadePrms* p = static_cast<ParadePrms*>(std::calloc(1, sizeof(ParadePrms)));
    if (p == nullptr) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "ParadePrms");
        return nullptr;
    }
    p->NumChan = db->NumChan;
    p->LowF0 = 50.0;
    p->HighF0 = 500.0;
    p->FilLen = 3;
    ReadVariables(p, env);

    // The lags stay within the frame and the autocorrelation buffer.
    unsigned int limit = db->FramePts < db->NumFFT ? db->FramePts : db->NumFFT - 1;
    p->longestLag = Lag(db->SampFreq, p->LowF0, limit);
    p->shortestLag = Lag(db->SampFreq, p->HighF0, p->longestLag);
    double sum = 0.0;
    double squares = 0.0;
    for (unsigned int i = 0; i < db->FramePts; ++i) {
        sum += db->window[i];
        squares += db->window[i] * db->window[i];
    }
    p->eta = 2.0 * squares / (sum * sum);

    const std::size_t length = 2 * std::size_t(p->FilLen) + 1;
    p->chan = static_cast<PARChanBuf*>(std::calloc(p->NumChan, sizeof(PARChanBuf)));
    bool built = p->chan != nullptr;
    for (unsigned int c = 0; built && c < p->NumChan; ++c) {
        p->chan[c].history = CreateDVector(length);
        built = p->chan[c].history != nullptr;
    }
    p->sortScratch = built ? CreateDVector(length) : nullptr;
    if (p->sortScratch == nullptr) {
        FreeParadePrms(p);
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "PARChanBuf");
        return nullptr;
    }
    ResetParadePrms(p);
    return p;
}

void FreeParadePrms(ParadePrms* p)
{
    if (p == nullptr) {
        return;
    }
    if (p->chan != nullptr) {
        for (unsigned int c = 0; c < p->NumChan; ++c) {
            FreeDVector(p->chan[c].history);
        }
        std::free(p->chan);
    }
    FreeDVector(p->sortScratch);
    std::free(p);
}

int ResetParadePrms(ParadePrms* p)
{
    if (p == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    for (unsigned int c = 0; c < p->NumChan; ++c) {
        PARChanBuf& ch = p->chan[c];
        ZeroDVector(ch.history, 2 * std::size_t(p->FilLen) + 1);
        ch.ratio = 0.0;
        ch.logProb[0] = ch.logProb[1] = 0.0;
        ch.prob[0] = ch.prob[1] = 0.0;
    }
    return 0;
}

int CompParade(ParadePrms* p, DataBuf* db)
{
    if (p == nullptr || db == nullptr || db->frames.tail == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    const int result = PowSpc2ACCoef(db);
    if (result != 0) {
        return result;
    }
    const unsigned int F = p->FilLen;
    for (unsigned int c = 0; c < p->NumChan; ++c) {
        PARChanBuf& ch = p->chan[c];
        double ratio = Ratio(p, db, db->frames.tail->chan[c]);
        if (F > 0) {
            ch.history[2 * F] = ratio;
            ratio = DescendingMedian(ch.history, F, p->sortScratch);
            for (unsigned int i = 1; i <= 2 * F; ++i) {
                ch.history[i - 1] = ch.history[i];
            }
        }
        ch.ratio = ratio;
        if (ratio > 1e-6 && ratio <= 88.0) {
            const double lambda = (1.0 / ratio) * std::exp(ratio - 1.0 / ratio);
            ch.prob[0] = 1.0 / (1.0 + lambda);
            ch.prob[1] = lambda / (1.0 + lambda);
            ch.logProb[0] = std::log(ch.prob[0]);
            ch.logProb[1] = std::log(ch.prob[1]);
        } else if (ratio > 88.0) {
            ch.prob[0] = 0.0;
            ch.prob[1] = 1.0;
            ch.logProb[0] = -1e10;
            ch.logProb[1] = 0.0;
        } else {
            ch.prob[0] = 1.0;
            ch.prob[1] = 0.0;
            ch.logProb[0] = 0.0;
            ch.logProb[1] = -1e10;
        }
    }
    return 0;
}
