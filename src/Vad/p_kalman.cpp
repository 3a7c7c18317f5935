#include "Vad/p_kalman.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Vad/env_list.h"
#include "Vad/feature.h"
#include "Vad/fmath.h"
#include "Vad/gmm_io.h"
#include "Vad/likelihood.h"
#include "Vad/memory.h"
#include "Vad/quillet_error_common.h"

namespace {

char* CopyText(const char* text)
{
    if (text == nullptr || text[0] == '\0') {
        return nullptr;
    }
    const std::size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy != nullptr) {
        std::memcpy(copy, text, n);
    }
    return copy;
}

// Reads the variables in order; the first missing one stops the reading.
void ReadVariables(PKFPrms* pkf, VADEnvList* env)
{
    int i = 0;
    double r = 0.0;
    const char* s = nullptr;
    const void* data = nullptr;
    unsigned int size = 0;
    if (ReadEnvInt(env, "FE:NumChan", &i) != 0) return;
    pkf->NumChan = static_cast<unsigned int>(i);
    if (ReadEnvInt(env, "FE:NumFB", &i) != 0) return;
    pkf->NumFB = static_cast<unsigned int>(i);
    if (ReadEnvInt(env, "PKF:InitFrame", &i) != 0) return;
    pkf->InitFrame = static_cast<unsigned int>(i);
    if (ReadEnvReal(env, "PKF:DrvVar", &r) != 0) return;
    pkf->DrvVar = r;
    if (ReadEnvReal(env, "PKF:CumR", &r) != 0) return;
    pkf->CumR = r;
    if (ReadEnvStr(env, "PKF:SpeechGMMPath", &s) != 0) return;
    pkf->SpeechGMMPath = CopyText(s);
    if (ReadEnvStr(env, "PKF:NoiseGMMPath", &s) != 0) return;
    pkf->NoiseGMMPath = CopyText(s);
    if (ReadEnvPtr(env, "PKF:SpeechGMMBuff", &data, &size) != 0) return;
    pkf->SpeechGMMBuff = PKFImage{data, size};
    if (ReadEnvPtr(env, "PKF:NoiseGMMBuff", &data, &size) != 0) return;
    pkf->NoiseGMMBuff = PKFImage{data, size};
}

// The speech set must hold a non-speech and a speech model of the filter bank's
// dimension, each with mixtures of positive, finite variances and finite values.
bool UsableSpeechSet(const ModelBuf* set, unsigned int numFB)
{
    if (set->NumModel < 2) {
        return false;
    }
    for (unsigned int g = 0; g < set->NumModel; ++g) {
        const GMMBuf& gmm = set->GMM[g];
        if (gmm.Dim != numFB || gmm.NumMix == 0) {
            return false;
        }
        for (unsigned int m = 0; m < gmm.NumMix; ++m) {
            const MixBuf& mix = gmm.Mix[m];
            if (!std::isfinite(mix.MixWt) || !std::isfinite(mix.GConst)) {
                return false;
            }
            for (unsigned int d = 0; d < gmm.Dim; ++d) {
                if (!std::isfinite(mix.Mean[d]) || !(mix.Var[d] > 0.0) || !std::isfinite(mix.Var[d])) {
                    return false;
                }
            }
        }
    }
    return true;
}

void FreeState(PKFStateBuf& st)
{
    FreeDVector(st.post);
    FreeDVector(st.rankedWeight);
    FreeUIVector(st.rankedIndex);
    FreeDVector(st.mergedMean);
    FreeDVector(st.mergedVar);
    FreeModelBuf(st.predicted);
    FreeModelBuf(st.updated);
    FreeModelBuf(st.noisy);
}

void FreeChannel(PKFChanBuf& ch, const PKFPrms* pkf)
{
    FreeDMatrix(ch.initial, pkf->InitFrame);
    FreeDVector(ch.observation);
    FreeDVector(ch.noiseMean);
    FreeDVector(ch.noiseVar);
    if (ch.state != nullptr) {
        for (unsigned int j = 0; j < pkf->NumModel; ++j) {
            FreeState(ch.state[j]);
        }
        std::free(ch.state);
    }
}

bool BuildState(PKFStateBuf& st, unsigned int numMix, unsigned int dim)
{
    st.NumMix = numMix;
    st.post = CreateDVector(numMix);
    st.rankedWeight = st.post ? CreateDVector(numMix) : nullptr;
    st.rankedIndex = st.rankedWeight ? CreateUIVector(numMix) : nullptr;
    st.mergedMean = st.rankedIndex ? CreateDVector(dim) : nullptr;
    st.mergedVar = st.mergedMean ? CreateDVector(dim) : nullptr;
    st.predicted = st.mergedVar ? CreateBlankModel(1, numMix, dim) : nullptr;
    st.updated = st.predicted ? CreateBlankModel(1, numMix, dim) : nullptr;
    st.noisy = st.updated ? CreateBlankModel(1, numMix, dim) : nullptr;
    return st.noisy != nullptr;
}

bool BuildChannels(PKFPrms* pkf)
{
    pkf->chan = static_cast<PKFChanBuf*>(std::calloc(pkf->NumChan, sizeof(PKFChanBuf)));
    if (pkf->chan == nullptr) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "PKFChanBuf");
        return false;
    }
    const unsigned int D = pkf->NumFB;
    for (unsigned int c = 0; c < pkf->NumChan; ++c) {
        PKFChanBuf& ch = pkf->chan[c];
        ch.initial = CreateDMatrix(pkf->InitFrame, D);
        ch.observation = ch.initial ? CreateDVector(D) : nullptr;
        ch.noiseMean = ch.observation ? CreateDVector(D) : nullptr;
        ch.noiseVar = ch.noiseMean ? CreateDVector(D) : nullptr;
        if (ch.noiseVar == nullptr) {
            VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "PKFChanBuf");
            return false;
        }
        ch.state = static_cast<PKFStateBuf*>(std::calloc(pkf->NumModel, sizeof(PKFStateBuf)));
        if (ch.state == nullptr) {
            VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "PKFStateBuf");
            return false;
        }
        for (unsigned int j = 0; j < pkf->NumModel; ++j) {
            if (!BuildState(ch.state[j], pkf->speech->GMM[j].NumMix, D)) {
                VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "PKFStateBuf");
                return false;
            }
        }
    }
    return true;
}

void ResetState(PKFStateBuf& st, const GMMBuf& gmm, unsigned int D)
{
    st.NumMix = gmm.NumMix;
    st.logLikelihood = 0.0;
    st.weight = 0.0;
    ZeroDVector(st.post, st.NumMix);
    ZeroDVector(st.rankedWeight, st.NumMix);
    ZeroUIVector(st.rankedIndex, st.NumMix);
    st.kept = 0;
    ZeroDVector(st.mergedMean, D);
    ZeroDVector(st.mergedVar, D);
    ResetModelBuf(st.predicted);
    ResetModelBuf(st.updated);
    ResetModelBuf(st.noisy);
}

// Initial noise: mean and variance of the non-zero values of each band.
void InitialNoise(PKFChanBuf& ch, unsigned int rows, unsigned int D)
{
    for (unsigned int d = 0; d < D; ++d) {
        double sum = 0.0;
        unsigned int count = 0;
        for (unsigned int r = 0; r < rows; ++r) {
            if (ch.initial[r][d] != 0.0) {
                sum += ch.initial[r][d];
                ++count;
            }
        }
        if (count == 0) {
            ch.noiseMean[d] = 0.0;
            ch.noiseVar[d] = 0.0;
            continue;
        }
        const double mean = sum / count;
        double var = 0.0;
        for (unsigned int r = 0; r < rows; ++r) {
            if (ch.initial[r][d] != 0.0) {
                const double diff = ch.initial[r][d] - mean;
                var += diff * diff;
            }
        }
        ch.noiseMean[d] = mean;
        ch.noiseVar[d] = var / count;
    }
}

// ln(1 + e^x) split into the linearisation slope and the log term. An exponent that
// overflows is taken at its limit (slope 1, log term x) instead of inf/inf.
void LogOnePlusExp(double x, double& slope, double& logTerm)
{
    if (x >= fmath::kExpHighest) {
        slope = 1.0;
        logTerm = x;
        return;
    }
    const double e = fmath::expd(x);
    slope = e / (1.0 + e);
    logTerm = fmath::logd(1.0 + e);
}

// Per-mixture Kalman update of the noise under every mixture of speech model j.
void UpdateModel(const PKFPrms* pkf, const PKFChanBuf& ch, PKFStateBuf& st, const GMMBuf& gmm, const double* y)
{
    const unsigned int D = pkf->NumFB;
    for (unsigned int m = 0; m < gmm.NumMix; ++m) {
        const MixBuf& s = gmm.Mix[m];
        MixBuf& pred = st.predicted->GMM[0].Mix[m];
        MixBuf& upd = st.updated->GMM[0].Mix[m];
        MixBuf& noisy = st.noisy->GMM[0].Mix[m];
        for (unsigned int d = 0; d < D; ++d) {
            const double mus = s.Mean[d];
            const double vs = s.Var[d];
            const double mup = ch.noiseMean[d];
            const double vp = ch.noiseVar[d] + pkf->DrvVar;
            pred.Mean[d] = mup;
            pred.Var[d] = vp;
            double H = 0.0;
            double logTerm = 0.0;
            LogOnePlusExp(mup - mus, H, logTerm);
            const double yhat = mus + logTerm;
            const double S = H * H * vp + vs;
            const double K = vp * H / S;
            const double muu = mup + K * (y[d] - yhat);
            const double vu = (1.0 - K * H) * vp;
            upd.Mean[d] = muu;
            upd.Var[d] = vu;
        }
        // A second pass, so that the bands' chains of exponentials, logarithms and divisions
        // overlap instead of running one after the other.
        for (unsigned int d = 0; d < D; ++d) {
            const double mus = s.Mean[d];
            double H2 = 0.0;
            double logTerm2 = 0.0;
            LogOnePlusExp(upd.Mean[d] - mus, H2, logTerm2);
            noisy.Mean[d] = mus + logTerm2;
            noisy.Var[d] = H2 * H2 * upd.Var[d] + s.Var[d];
        }
        noisy.MixWt = s.MixWt;
        noisy.GConst = CompGConst(noisy.Var, D);
    }
}

// Ranks the mixture posteriors and keeps the smallest head reaching CumR.
void RankMixtures(PKFStateBuf& st, double cumR)
{
    const unsigned int n = st.NumMix;
    CopyDVector(st.rankedWeight, st.post, n);
    double* w = st.rankedWeight;
    for (unsigned int i = 0; i + 1 < n; ++i) {
        // The running maximum stays in a register, so the comparisons need no branch.
        unsigned int best = i;
        double top = w[i];
        for (unsigned int j = i + 1; j < n; ++j) {
            const bool larger = w[j] > top;
            best = larger ? j : best;
            top = larger ? w[j] : top;
        }
        w[best] = w[i];
        w[i] = top;
    }
    for (unsigned int r = 0; r < n; ++r) {
        // The highest-numbered mixture with exactly this posterior.
        unsigned int index = 0;
        for (unsigned int m = n; m-- > 0;) {
            if (st.post[m] == st.rankedWeight[r]) {
                index = m;
                break;
            }
        }
        st.rankedIndex[r] = index;
    }
    double sum = 0.0;
    unsigned int k = 0;
    while (k < n && sum < cumR) {
        sum += st.rankedWeight[k];
        ++k;
    }
    if (cumR == 1.0 || sum < cumR) {
        st.kept = n;
        return;
    }
    st.kept = k;
    for (unsigned int r = 0; r < k; ++r) {
        st.rankedWeight[r] *= 1.0 / sum;
    }
}

} // namespace

PKFPrms* InitPKFPrms(VADEnvList* env, unsigned int numChan, unsigned int numFB)
{
    if (env == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return nullptr;
    }
    PKFPrms* pkf = static_cast<PKFPrms*>(std::calloc(1, sizeof(PKFPrms)));
    if (pkf == nullptr) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "PKFPrms");
        return nullptr;
    }
    pkf->NumChan = numChan;
    pkf->NumFB = numFB;
    pkf->InitFrame = 10;
    pkf->DrvVar = 0.0001;
    pkf->CumR = 0.9;
    ReadVariables(pkf, env);

    pkf->speech = pkf->SpeechGMMPath != nullptr
                      ? ReadGMM(pkf->SpeechGMMPath)
                      : ReadGMMBuff(pkf->SpeechGMMBuff.data, pkf->SpeechGMMBuff.size);
    if (pkf->speech == nullptr) {
        FreePKFPrms(pkf);
        return nullptr;
    }
    if (!UsableSpeechSet(pkf->speech, pkf->NumFB)) {
        VAD_SET_ERROR(VAD_ERR_GMM_INVALID);
        FreePKFPrms(pkf);
        return nullptr;
    }
    pkf->NumModel = pkf->speech->NumModel;
    if (pkf->NoiseGMMPath != nullptr || pkf->NoiseGMMBuff.data != nullptr) {
        pkf->noise = pkf->NoiseGMMPath != nullptr ? ReadGMM(pkf->NoiseGMMPath)
                                                  : ReadGMMBuff(pkf->NoiseGMMBuff.data, pkf->NoiseGMMBuff.size);
        if (pkf->noise == nullptr) {
            FreePKFPrms(pkf);
            return nullptr;
        }
    }
    if (!BuildChannels(pkf)) {
        FreePKFPrms(pkf);
        return nullptr;
    }
    ResetPKFPrms(pkf);
    return pkf;
}

void FreePKFPrms(PKFPrms* pkf)
{
    if (pkf == nullptr) {
        return;
    }
    if (pkf->chan != nullptr) {
        for (unsigned int c = 0; c < pkf->NumChan; ++c) {
            FreeChannel(pkf->chan[c], pkf);
        }
        std::free(pkf->chan);
    }
    FreeModelBuf(pkf->speech);
    FreeModelBuf(pkf->noise);
    std::free(pkf->SpeechGMMPath);
    std::free(pkf->NoiseGMMPath);
    std::free(pkf);
}

int ResetPKFPrms(PKFPrms* pkf)
{
    if (pkf == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    const unsigned int D = pkf->NumFB;
    for (unsigned int c = 0; c < pkf->NumChan; ++c) {
        PKFChanBuf& ch = pkf->chan[c];
        ZeroDMatrix(ch.initial, pkf->InitFrame, D);
        ZeroDVector(ch.observation, D);
        ZeroDVector(ch.noiseMean, D);
        ZeroDVector(ch.noiseVar, D);
        for (unsigned int j = 0; j < pkf->NumModel; ++j) {
            ResetState(ch.state[j], pkf->speech->GMM[j], D);
        }
        if (pkf->NumModel > 0) {
            ch.state[0].weight = 1.0;
        }
    }
    return 0;
}

int PKFBasedNoiseUpdating(PKFPrms* pkf, DataBuf* db, unsigned int t)
{
    if (pkf == nullptr || db == nullptr || db->frames.tail == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    const unsigned int D = pkf->NumFB;
    const FrameNode* frame = db->frames.tail;
    if (t < pkf->InitFrame) {
        for (unsigned int c = 0; c < pkf->NumChan; ++c) {
            CopyDVector(pkf->chan[c].initial[t], frame->chan[c].fbank, D);
        }
        return 0;
    }
    for (unsigned int c = 0; c < pkf->NumChan; ++c) {
        PKFChanBuf& ch = pkf->chan[c];
        if (t == pkf->InitFrame) {
            InitialNoise(ch, t, D);
        }
        CopyDVector(ch.observation, frame->chan[c].fbank, D);
        const double* y = ch.observation;
        double total = kLogZero;
        for (unsigned int j = 0; j < pkf->NumModel; ++j) {
            PKFStateBuf& st = ch.state[j];
            const GMMBuf& gmm = pkf->speech->GMM[j];
            UpdateModel(pkf, ch, st, gmm, y);
            st.logLikelihood = CompPosteriori(st.post, st.NumMix, D, st.noisy->GMM[0].Mix, y);
            RankMixtures(st, pkf->CumR);
            total = LAdd(total, st.logLikelihood);
        }
        for (unsigned int d = 0; d < D; ++d) {
            ch.noiseMean[d] = 0.0;
            ch.noiseVar[d] = 0.0;
        }
        for (unsigned int j = 0; j < pkf->NumModel; ++j) {
            PKFStateBuf& st = ch.state[j];
            st.weight = fmath::expd(st.logLikelihood - total);
            const MixBuf* upd = st.updated->GMM[0].Mix;
            for (unsigned int d = 0; d < D; ++d) {
                double mean = 0.0;
                double var = 0.0;
                for (unsigned int r = 0; r < st.kept; ++r) {
                    const MixBuf& mix = upd[st.rankedIndex[r]];
                    mean += st.rankedWeight[r] * mix.Mean[d];
                    var += st.rankedWeight[r] * mix.Var[d];
                }
                st.mergedMean[d] = mean;
                st.mergedVar[d] = var;
            }
        }
        for (unsigned int j = 0; j < pkf->NumModel; ++j) {
            const PKFStateBuf& st = ch.state[j];
            for (unsigned int d = 0; d < D; ++d) {
                ch.noiseMean[d] += st.weight * st.mergedMean[d];
                ch.noiseVar[d] += st.weight * st.mergedVar[d];
            }
        }
    }
    return 0;
}
