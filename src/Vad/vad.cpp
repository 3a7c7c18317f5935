#include "Vad/vad.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Vad/env_list.h"
#include "Vad/feature.h"
#include "Vad/gmm_wiener.h"
#include "Vad/memory.h"
#include "Vad/p_kalman.h"
#include "Vad/parade.h"
#include "Vad/quillet_error_common.h"

namespace {

constexpr double kMaxOdds = 1000000000.0;

void Fail(const char* record)
{
    char message[64];
    std::snprintf(message, sizeof message, "Allocation failure in %s", record);
    MemErr(message);
    VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", record);
}

// Reads the decision variables in order; the first missing one ends the reading.
void ReadVariables(VADPrms* v, VADEnvList* env)
{
    int i = 0;
    double r = 0.0;
    const char* s = nullptr;
    if (ReadEnvInt(env, "VAD:NumStream", &i) != 0) return;
    v->NumStream = static_cast<unsigned int>(i);
    if (ReadEnvReal(env, "VAD:ProbN2S", &r) != 0) return;
    v->T[1] = r;
    v->T[0] = 1.0 - r;
    if (ReadEnvReal(env, "VAD:ProbS2N", &r) != 0) return;
    v->T[2] = r;
    v->T[3] = 1.0 - r;
    if (ReadEnvReal(env, "VAD:Threshold", &r) != 0) return;
    v->Threshold = r;
    if (ReadEnvInt(env, "VAD:FilLen", &i) != 0) return;
    v->FilLen = static_cast<unsigned int>(i);
    if (ReadEnvInt(env, "VAD:MaxSDuration", &i) != 0) return;
    v->roho->MaxSDuration = static_cast<unsigned int>(i);
    if (ReadEnvInt(env, "VAD:MaxNDuration", &i) != 0) return;
    v->roho->MaxNDuration = static_cast<unsigned int>(i);
    if (ReadEnvInt(env, "VAD:MaxGap", &i) != 0) return;
    v->roho->MaxGap = static_cast<unsigned int>(i);
    if (ReadEnvStr(env, "VAD:Output", &s) != 0) return;
    v->output = std::strcmp(s, "MMSE_WAV") == 0 ? 1 : 0;
}

std::size_t WindowLength(const VADPrms* v)
{
    return 2 * std::size_t(v->FilLen) + 1;
}

// Pushes the newest odds, returns the median and moves the window on.
double MedianFilter(double* window, unsigned int F, double odds, double* scratch)
{
    window[2 * F] = odds;
    const double median = DescendingMedian(window, F, scratch);
    for (unsigned int j = 1; j <= 2 * F; ++j) {
        window[j - 1] = window[j];
    }
    return median;
}

double Odds(const double* pair)
{
    return pair[0] == 0.0 ? kMaxOdds : pair[1] / pair[0];
}

// pair = {a0, a1} / (a0 + a1); an undefined quotient (0/0, NaN) gives {0.5, 0.5}.
void Normalise(double a0, double a1, double* pair)
{
    const double sum = a0 + a1;
    if (!(sum > 0.0) || !std::isfinite(sum)) {
        pair[0] = 0.5;
        pair[1] = 0.5;
        return;
    }
    pair[0] = a0 / sum;
    pair[1] = 1.0 - pair[0];
}

int DurationCode(RoHoPrms& r, int p, int d)
{
    int code = VAD_CODE_NONSPEECH;
    if (p == 1 && d == 1) {
        ++r.speechRun;
        if (r.candidate && r.speechRun >= r.MaxSDuration) {
            r.candidate = 0;
            r.inSpeech = 1;
            r.pendingPause = 0;
            code = VAD_CODE_START;
        } else if (r.inSpeech) {
            if (r.speechRun < r.MaxSDuration) {
                ++r.pauseSpeechRun;
                code = VAD_CODE_PAUSE;
            } else {
                r.pauseSpeechRun = 0;
                code = VAD_CODE_SPEECH;
            }
        }
    } else if (p == 0 && d == 1) {
        if (r.inSpeech) {
            r.speechRun = 1;
            r.pauseSpeechRun = 1;
            code = VAD_CODE_PAUSE;
        } else if (r.pendingPause == 0) {
            r.speechRun = 1;
            r.candidate = 1;
        } else {
            r.speechRun = r.speechRun + r.pendingPause + 1;
        }
    } else if (p == 1 && d == 0) {
        if (!r.inSpeech) {
            r.nonSpeechRun = 1;
            r.pendingPause = 1;
        } else {
            r.nonSpeechRun = r.pauseSpeechRun != 0 ? r.nonSpeechRun + r.pauseSpeechRun + 1 : 1;
            code = VAD_CODE_PAUSE;
        }
    } else {
        ++r.nonSpeechRun;
        if (r.inSpeech) {
            if (r.nonSpeechRun <= r.MaxGap) {
                code = VAD_CODE_PAUSE;
            } else {
                r.inSpeech = 0;
                r.pauseSpeechRun = 0;
                code = VAD_CODE_END;
            }
        } else if (r.pendingPause == 0) {
        } else if (r.nonSpeechRun >= r.MaxNDuration) {
            r.pendingPause = 0;
            r.candidate = 0;
        } else {
            ++r.pendingPause;
        }
    }
    if (code == VAD_CODE_NONSPEECH && !r.candidate) {
        r.speechRun = 0;
    }
    return code;
}

int RunWiener(GMMWnrPrms* wnr, const PKFPrms* pkf, DataBuf* db, unsigned int frame)
{
    int result = AddNewFilter(wnr, frame);
    if (result == 0) result = SetFilterPrms(wnr, pkf, db);
    if (result == 0) result = GMMBasedWFilter(wnr, pkf, db);
    if (result == 0) result = SetEnhData(wnr, db);
    if (result == 0) DeleteFilter(wnr, frame - 1);
    return result;
}

} // namespace

VADPrms* InitVADPrms(VADEnvList* env, unsigned int numChan)
{
    VADPrms* v = static_cast<VADPrms*>(std::calloc(1, sizeof(VADPrms)));
    if (v == nullptr) {
        Fail("VADPrms");
        return nullptr;
    }
    v->roho = static_cast<RoHoPrms*>(std::calloc(1, sizeof(RoHoPrms)));
    if (v->roho == nullptr) {
        std::free(v);
        Fail("RoHoPrms");
        return nullptr;
    }
    v->NumChan = numChan;
    v->NumStream = 1;
    v->T[0] = 0.8;
    v->T[1] = 0.2;
    v->T[2] = 0.1;
    v->T[3] = 0.9;
    v->FilLen = 2;
    v->Threshold = 5.0;
    v->roho->MaxSDuration = 10;
    v->roho->MaxNDuration = 10;
    v->roho->MaxGap = 50;
    if (env != nullptr) {
        ReadVariables(v, env);
    }
    const std::size_t length = WindowLength(v);
    v->window = CreateDVector(length);
    v->sortScratch = v->window ? CreateDVector(length) : nullptr;
    if (v->sortScratch == nullptr) {
        FreeVADPrms(v);
        Fail("VADPrms");
        return nullptr;
    }
    v->chan = static_cast<VADChanBuf*>(std::calloc(numChan, sizeof(VADChanBuf)));
    if (v->chan == nullptr) {
        FreeVADPrms(v);
        Fail("VADChanBuf");
        return nullptr;
    }
    for (unsigned int c = 0; c < numChan; ++c) {
        v->chan[c].window = CreateDVector(length);
        if (v->chan[c].window == nullptr) {
            FreeVADPrms(v);
            Fail("VADChanBuf");
            return nullptr;
        }
        v->chan[c].stream = static_cast<StreamPair*>(std::calloc(v->NumStream, sizeof(StreamPair)));
        if (v->chan[c].stream == nullptr) {
            FreeVADPrms(v);
            Fail("StreamBuf");
            return nullptr;
        }
        v->chan[c].previous[0] = 1.0;
    }
    return v;
}

void FreeVADPrms(VADPrms* v)
{
    if (v == nullptr) {
        return;
    }
    if (v->chan != nullptr) {
        for (unsigned int c = 0; c < v->NumChan; ++c) {
            FreeDVector(v->chan[c].window);
            std::free(v->chan[c].stream);
        }
        std::free(v->chan);
    }
    FreeDVector(v->window);
    FreeDVector(v->sortScratch);
    std::free(v->roho);
    std::free(v);
}

int ResetRoHoPrms(RoHoPrms* r)
{
    if (r == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    r->speechRun = 0;
    r->pendingPause = 0;
    r->nonSpeechRun = 0;
    r->pauseSpeechRun = 0;
    r->candidate = 0;
    r->inSpeech = 0;
    return 0;
}

int ResetVADChanBuf(VADPrms* v)
{
    if (v == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    for (unsigned int c = 0; c < v->NumChan; ++c) {
        VADChanBuf& ch = v->chan[c];
        ch.observation[0] = ch.observation[1] = 0.0;
        ch.posterior[0] = ch.posterior[1] = 0.0;
        ch.previous[0] = 1.0;
        ch.previous[1] = 0.0;
        ch.odds = 0.0;
        ch.median = 0.0;
        ch.decision = 0;
        ZeroDVector(ch.window, WindowLength(v));
        std::memset(ch.stream, 0, v->NumStream * sizeof(StreamPair));
    }
    return 0;
}

int ResetVADPrms(VADPrms* v)
{
    if (v == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    v->ready = 0;
    v->posterior[0] = v->posterior[1] = 0.0;
    v->odds = 0.0;
    v->median = 0.0;
    v->decision = 0;
    v->previousDecision = 0;
    ZeroDVector(v->window, WindowLength(v));
    ResetRoHoPrms(v->roho);
    return ResetVADChanBuf(v);
}

int SetVADProb(VADPrms* v, const PKFPrms* pkf, const ParadePrms* parade, unsigned int frame)
{
    if (v == nullptr || pkf == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    if (frame < pkf->InitFrame) {
        return 0;
    }
    v->ready = 1;
    const unsigned int channels = v->NumChan < pkf->NumChan ? v->NumChan : pkf->NumChan;
    for (unsigned int c = 0; c < channels; ++c) {
        VADChanBuf& ch = v->chan[c];
        for (unsigned int k = 0; k < 2; ++k) {
            ch.stream[0].p[k] = pkf->chan[c].state[k].weight;
        }
        if (v->NumStream == 1 || parade == nullptr) {
            ch.observation[0] = ch.stream[0].p[0];
            ch.observation[1] = ch.stream[0].p[1];
        } else if (c < parade->NumChan) {
            ch.stream[1].p[0] = parade->chan[c].prob[0];
            ch.stream[1].p[1] = parade->chan[c].prob[1];
        }
    }
    return 0;
}

int StatisticalVAD(int* code, DataBuf* db, VADPrms* v, const PKFPrms* pkf, GMMWnrPrms* wnr, unsigned int frame)
{
    if (code == nullptr || db == nullptr || v == nullptr || db->frames.tail == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    if (!v->ready) {
        return VAD_FAIL(VAD_ERR_NOT_STARTED);
    }
    *code = VAD_CODE_NONSPEECH;
    if (v->output == 1) {
        const int result = RunWiener(wnr, pkf, db, frame);
        if (result != 0) {
            return result;
        }
    }
    const unsigned int F = v->FilLen;
    for (unsigned int c = 0; c < v->NumChan; ++c) {
        VADChanBuf& ch = v->chan[c];
        if (v->NumStream == 2) {
            const double* s = ch.stream[0].p;
            const double* r = ch.stream[1].p;
            Normalise(s[0] * r[0], s[1] * r[1], ch.observation);
        }
        const double* Q = ch.previous;
        const double* L = ch.observation;
        const double a0 = (Q[0] * v->T[0] + Q[1] * v->T[2]) * L[0];
        const double a1 = (Q[0] * v->T[1] + Q[1] * v->T[3]) * L[1];
        Normalise(a0, a1, ch.posterior);
        ch.previous[0] = ch.posterior[0];
        ch.previous[1] = ch.posterior[1];
        ch.odds = Odds(ch.posterior);
    }
    v->previousDecision = v->decision;
    double mean0 = 0.0;
    double mean1 = 0.0;
    for (unsigned int c = 0; c < v->NumChan; ++c) {
        VADChanBuf& ch = v->chan[c];
        ch.median = MedianFilter(ch.window, F, ch.odds, v->sortScratch);
        ch.decision = ch.median > v->Threshold ? 1 : 0;
        mean0 += ch.posterior[0];
        mean1 += ch.posterior[1];
    }
    mean0 /= v->NumChan;
    mean1 /= v->NumChan;
    Normalise(mean0, mean1, v->posterior);
    v->odds = Odds(v->posterior);
    v->median = MedianFilter(v->window, F, v->odds, v->sortScratch);
    v->decision = v->median > v->Threshold ? 1 : 0;

    FrameNode* node = db->frames.tail;
    node->result = VADFrameResult{v->decision, v->posterior[1], v->posterior[0], v->odds, v->median};
    const unsigned int channels = v->NumChan < db->NumChan ? v->NumChan : db->NumChan;
    for (unsigned int c = 0; c < channels; ++c) {
        const VADChanBuf& ch = v->chan[c];
        node->chan[c].result = VADFrameResult{ch.decision, ch.posterior[1], ch.posterior[0], ch.odds, ch.median};
    }

    *code = VADDecisionCode(v->roho, v->previousDecision, v->decision);
    return 0;
}

int VADDecisionCode(RoHoPrms* r, int previous, int current)
{
    if (r->MaxSDuration == 0 && r->MaxNDuration == 0 && r->MaxGap == 0) {
        if (previous == 0) {
            return current == 1 ? VAD_CODE_START : VAD_CODE_NONSPEECH;
        }
        return current == 1 ? VAD_CODE_SPEECH : VAD_CODE_END;
    }
    return DurationCode(*r, previous, current);
}
