#include "Vad/detect_vad.h"

#include <cstdlib>

#include "Vad/env_list.h"
#include "Vad/feature.h"
#include "Vad/gmm_wiener.h"
#include "Vad/memory.h"
#include "Vad/p_kalman.h"
#include "Vad/parade.h"
#include "Vad/quillet_error_common.h"
#include "Vad/vad.h"

namespace {

void FreeStages(_tagVADInfo* h)
{
    FreeVADPrms(h->vad);
    FreeParadePrms(h->parade);
    FreePKFPrms(h->pkf);
    FreeGMMWnrPrms(h->wnr);
    FreeDataBuf(h->data);
    h->vad = nullptr;
    h->parade = nullptr;
    h->pkf = nullptr;
    h->wnr = nullptr;
    h->data = nullptr;
}

int LastErrorOr(int fallback)
{
    const int code = GetVADLastError();
    return code != 0 ? code : fallback;
}

// Samples of one frame: the whole frame at a stream start, else one shift after the overlap.
int ReadFrameRawData(DataBuf* db, const short* wave, int whole)
{
    if (db == nullptr || wave == nullptr || db->frames.tail == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    const unsigned int channels = db->NumChan;
    const unsigned int length = db->FramePts;
    const unsigned int shift = db->ShiftPts;
    // A shift longer than the frame skips the samples between frames.
    const unsigned int kept = shift < length ? length - shift : 0;
    const unsigned int perChannel = whole ? length : shift;
    for (unsigned int c = 0; c < channels; ++c) {
        short* frame = db->frames.tail->chan[c].wave;
        const short* previous = db->prev[c];
        unsigned int at = 0;
        if (!whole) {
            for (; at < kept; ++at) {
                frame[at] = previous[shift + at];
            }
        }
        const unsigned int skip = whole ? 0 : perChannel - (length - kept);
        for (unsigned int t = 0; at < length; ++at, ++t) {
            frame[at] = wave[(std::size_t(skip) + t) * channels + c];
        }
        CopySVector(db->prev[c], frame, length);
    }
    return static_cast<int>(std::size_t(perChannel) * channels);
}

int WriteFrameRawData(const DataBuf* db, const FrameNode* frame, short* out)
{
    if (db == nullptr || frame == nullptr || out == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    const unsigned int channels = db->NumChan;
    const unsigned int count = db->ShiftPts < db->FramePts ? db->ShiftPts : db->FramePts;
    for (unsigned int c = 0; c < channels; ++c) {
        for (unsigned int t = 0; t < count; ++t) {
            out[std::size_t(t) * channels + c] = frame->chan[c].wave[t];
        }
        for (unsigned int t = count; t < db->ShiftPts; ++t) {
            out[std::size_t(t) * channels + c] = 0;
        }
    }
    return static_cast<int>(std::size_t(db->ShiftPts) * channels);
}

void UpdateOutputs(int d, unsigned int i, int* state, unsigned int* first, unsigned int* second, int* frameCode)
{
    switch (d) {
    case VAD_CODE_START:
        *state = 0;
        *first = i;
        *frameCode = VAD_FRAME_START;
        break;
    case VAD_CODE_SPEECH:
    case VAD_CODE_PAUSE:
        if (*state != 0) {
            *state = 1;
        }
        *frameCode = d == VAD_CODE_SPEECH ? VAD_FRAME_SPEECH : VAD_FRAME_PAUSE;
        break;
    case VAD_CODE_END:
        if (*state == 0) {
            *state = 5;
            *second = i;
        } else {
            *state = 3;
            *first = i;
        }
        *frameCode = VAD_FRAME_END;
        break;
    default:
        if (*state != 3) {
            *state = 4;
        }
        *frameCode = VAD_FRAME_NONSPEECH;
        break;
    }
}

bool StagesBuilt(const _tagVADInfo* h)
{
    return h->vad != nullptr && h->parade != nullptr && h->pkf != nullptr && h->env != nullptr && h->data != nullptr &&
           (h->vad->output != 1 || h->wnr != nullptr);
}

int StartStream(_tagVADInfo* h)
{
    if (!StagesBuilt(h) || (h->env != nullptr && h->env->firstModified != nullptr)) {
        return SetupVADInfo(h);
    }
    ResetDataBuf(h->data);
    ResetVADPrms(h->vad);
    ResetPKFPrms(h->pkf);
    ResetParadePrms(h->parade);
    if (h->wnr != nullptr) {
        ResetGMMWnrPrms(h->wnr);
    }
    h->frame = 0;
    return 0;
}

// The per-frame loop of DetectVAD; returns 0 or the code that stopped it.
int RunFrames(_tagVADInfo* h, const short* wave, int reset, unsigned int nFrames, int* state, unsigned int* first,
              unsigned int* second, short* out)
{
    const bool mmse = h->vad->output == 1;
    for (unsigned int i = 0; i < nFrames; ++i) {
        const unsigned int c = h->frame;
        if (AddNewFrame(h->data, c) != 0) {
            return LastErrorOr(VAD_ERR_MEMORY);
        }
        const int read = ReadFrameRawData(h->data, wave, reset == 1 && i == 0);
        if (read < 0) {
            return LastErrorOr(read);
        }
        wave += read;
        Wave2FBank(h->data);
        PKFBasedNoiseUpdating(h->pkf, h->data, c);
        if (h->vad->NumStream > 1) {
            CompParade(h->parade, h->data);
        }
        SetVADProb(h->vad, h->pkf, h->parade, c);
        int d = -1;
        if (h->vad->ready) {
            if (StatisticalVAD(&d, h->data, h->vad, h->pkf, h->wnr, c) != 0) {
                return LastErrorOr(VAD_ERR_INTERNAL);
            }
            UpdateOutputs(d, i, state, first, second, &h->lastCode);
            if (h->infoProc->proc != nullptr && h->infoProc->proc(h, h->infoProc->user) != 0) {
                return LastErrorOr(VAD_ERR_INTERNAL);
            }
        }
        if (mmse) {
            const int written = WriteFrameRawData(h->data, h->data->frames.tail, out);
            if (written < 0) {
                return LastErrorOr(written);
            }
            out += written;
        } else if (d == VAD_CODE_END) {
            return 0;
        }
        ++h->frame;
    }
    return 0;
}

} // namespace

int SetupVADInfo(_tagVADInfo* h)
{
    FreeStages(h);
    h->data = InitDataBuf(h->env);
    if (h->data == nullptr) {
        return LastErrorOr(VAD_ERR_MEMORY);
    }
    h->vad = InitVADPrms(h->env, h->data->NumChan);
    if (h->vad == nullptr) {
        return LastErrorOr(VAD_ERR_MEMORY);
    }
    h->pkf = InitPKFPrms(h->env, h->data->NumChan, h->data->NumFB);
    if (h->pkf == nullptr) {
        return LastErrorOr(VAD_ERR_MEMORY);
    }
    h->parade = InitParadePrms(h->env, h->data);
    if (h->parade == nullptr) {
        return LastErrorOr(VAD_ERR_MEMORY);
    }
    if (h->vad->output == 1) {
        h->wnr = InitGMMWnrPrms(h->env, h->data);
        if (h->wnr == nullptr) {
            return LastErrorOr(VAD_ERR_MEMORY);
        }
    }
    ClearModifiedVADEnv(h->env);
    h->frame = 0;
    return 0;
}

extern "C" {

_tagVADInfo* BeginVAD(void)
{
    _SetNoError();
    _tagVADInfo* h = static_cast<_tagVADInfo*>(std::calloc(1, sizeof(_tagVADInfo)));
    if (h == nullptr) {
        VAD_SET_ERROR(VAD_ERR_MEMORY);
        return nullptr;
    }
    h->infoProc = static_cast<VADInfoProcRecord*>(std::calloc(1, sizeof(VADInfoProcRecord)));
    if (h->infoProc == nullptr) {
        std::free(h);
        VAD_SET_ERROR(VAD_ERR_MEMORY);
        return nullptr;
    }
    h->env = AllocVADEnvList();
    if (h->env == nullptr || SetupVADEnvList(h->env) != 0) {
        FreeVADEnvList(h->env);
        std::free(h->infoProc);
        std::free(h);
        VAD_SET_ERROR(VAD_ERR_MEMORY);
        return nullptr;
    }
    return h;
}

int EndVAD(_tagVADInfo* h)
{
    _SetNoError();
    if (h == nullptr) {
        return 0;
    }
    FreeStages(h);
    FreeVADEnvList(h->env);
    std::free(h->infoProc);
    std::free(h);
    return 0;
}

int DetectVAD(_tagVADInfo* h, const short* wave, int reset, unsigned int nFrames, int* state, unsigned int* first,
              unsigned int* second, short* out)
{
    _SetNoError();
    if (h == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    if (wave == nullptr || state == nullptr || first == nullptr || second == nullptr) {
        return VAD_FAIL(VAD_ERR_OPTION);
    }
    if (reset == 1) {
        const int result = StartStream(h);
        if (result != 0) {
            return result;
        }
    } else if (!StagesBuilt(h)) {
        // A stream is only continued after a start that built every stage.
        return VAD_FAIL(VAD_ERR_NOT_STARTED);
    }
    if (h->vad->output == 1 && out == nullptr) {
        return VAD_FAIL(VAD_ERR_COMBINATION);
    }
    if (h->env == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    double sampFreq = 0.0;
    int framePts = 0;
    int shiftPts = 0;
    if (ReadEnvReal(h->env, "FE:SampFreq", &sampFreq) != 0 || ReadEnvInt(h->env, "FE:FramePts", &framePts) != 0 ||
        ReadEnvInt(h->env, "FE:ShiftPts", &shiftPts) != 0) {
        return VAD_FAIL(VAD_ERR_UNDEFINED_ENV);
    }
    const double perFrame = sampFreq / shiftPts - (static_cast<double>(framePts) / shiftPts - 1.0);
    if (static_cast<double>(nFrames) > 3865470565.0 / perFrame) {
        return VAD_FAIL(VAD_ERR_TOO_LONG);
    }
    *state = 4;
    *first = nFrames + 1;
    *second = nFrames + 1;
    const int result = nFrames != 0 ? RunFrames(h, wave, reset, nFrames, state, first, second, out) : 0;
    ClearFrameBuf(h->data);
    return result;
}

int SetVADGetVADInfoProc(_tagVADInfo* h, GetVADInfoProc proc, void* user)
{
    if (h == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    h->infoProc->proc = proc;
    h->infoProc->user = user;
    return 0;
}

int AdaptVAD(_tagVADInfo* h)
{
    _SetNoError();
    if (h == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    return 0;
}

int UpdateVADModels(_tagVADInfo* h)
{
    _SetNoError();
    if (h == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    return 0;
}

} // extern "C"
