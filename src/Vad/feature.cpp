#include "Vad/feature.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Vad/env_list.h"
#include "Vad/fmath.h"
#include "Vad/memory.h"
#include "Vad/quillet_error_common.h"

namespace {

void FreeChannels(ChannelBuf* chan, unsigned int numChan)
{
    if (chan == nullptr) {
        return;
    }
    for (unsigned int c = 0; c < numChan; ++c) {
        FreeSVector(chan[c].wave);
        FreeDVector(chan[c].frame);
        FreeDVector(chan[c].work);
        FreeDVector(chan[c].spectrum);
        FreeDVector(chan[c].power);
        FreeDVector(chan[c].autocorr);
        FreeDVector(chan[c].fbank);
    }
    std::free(chan);
}

void FreeNode(FrameNode* node, unsigned int numChan)
{
    if (node != nullptr) {
        FreeChannels(node->chan, numChan);
        std::free(node);
    }
}

FrameNode* NewNode(const DataBuf* db)
{
    FrameNode* node = static_cast<FrameNode*>(std::calloc(1, sizeof(FrameNode)));
    if (node == nullptr) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "FrameNode");
        return nullptr;
    }
    node->chan = static_cast<ChannelBuf*>(std::calloc(db->NumChan, sizeof(ChannelBuf)));
    if (node->chan == nullptr) {
        std::free(node);
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "ChannelBuf");
        return nullptr;
    }
    const std::size_t n = db->NumFFT;
    for (unsigned int c = 0; c < db->NumChan; ++c) {
        ChannelBuf& ch = node->chan[c];
        ch.wave = CreateSVector(db->FramePts);
        ch.frame = ch.wave ? CreateDVector(n) : nullptr;
        ch.work = ch.frame ? CreateDVector(2 * n) : nullptr;
        ch.spectrum = ch.work ? CreateDVector(2 * n) : nullptr;
        ch.power = ch.spectrum ? CreateDVector(n) : nullptr;
        ch.autocorr = ch.power ? CreateDVector(n) : nullptr;
        ch.fbank = ch.autocorr ? CreateDVector(db->NumFB) : nullptr;
        if (ch.fbank == nullptr) {
            FreeNode(node, db->NumChan);
            return nullptr;
        }
    }
    return node;
}

// Back to the state of a freshly allocated node. The per-frame steps overwrite the
// transform buffers and the filter bank whole before anything reads them, so only the
// results and the samples are cleared.
void ZeroNode(FrameNode* node, const DataBuf* db)
{
    node->prev = nullptr;
    node->next = nullptr;
    node->index = 0;
    node->result = VADFrameResult{};
    for (unsigned int c = 0; c < db->NumChan; ++c) {
        ChannelBuf& ch = node->chan[c];
        ch.result = VADFrameResult{};
        ZeroSVector(ch.wave, db->FramePts);
    }
}

// Band edges and mel layout; the bins are clamped to the spectrum's lower half.
int BuildFBank(DataBuf* db)
{
    FBankPrms& fb = db->fbank;
    const unsigned int half = db->NumFFT / 2;
    fb.centre = CreateDVector(std::size_t(db->NumFB) + 2);
    fb.lower = fb.centre ? CreateUIVector(half) : nullptr;
    fb.weight = fb.lower ? CreateDVector(half) : nullptr;
    if (fb.weight == nullptr) {
        return VAD_ERR_MEMORY;
    }
    const double fres = db->SampFreq / db->NumFFT;
    const double low = std::trunc(db->LowPass / db->SampFreq * db->NumFFT);
    const double high = std::trunc(db->HighPass / db->SampFreq * db->NumFFT);
    // K is the first bin past the band; it never goes past the Nyquist bin.
    const std::int64_t K = high < 0.0 ? 0 : high > half ? half : static_cast<std::int64_t>(high);
    const std::int64_t kmin = low < 0.0 ? 1 : low >= half ? std::int64_t(half) + 1 : static_cast<std::int64_t>(low) + 1;
    const std::int64_t kmax = K - 1;
    const double mhi = FBankMel(K * fres);
    const unsigned int nfb = db->NumFB;
    for (unsigned int i = 0; i <= nfb + 1; ++i) {
        fb.centre[i] = static_cast<double>(i) / (nfb + 1) * mhi;
    }
    if (kmax < kmin) {
        fb.kmin = 1;
        fb.kmax = 0;
        return 0;
    }
    fb.kmin = static_cast<unsigned int>(kmin);
    fb.kmax = static_cast<unsigned int>(kmax);
    unsigned int j = 1;
    for (unsigned int k = fb.kmin; k <= fb.kmax; ++k) {
        const double m = FBankMel(k * fres);
        while (j < nfb + 1 && m > fb.centre[j]) {
            ++j;
        }
        fb.lower[k] = j - 1;
        const double upper = fb.centre[j];
        const double lower = fb.centre[j - 1];
        fb.weight[k] = (upper - m) / (upper - lower);
    }
    return 0;
}

// Reads the front-end variables in table order; the first missing one stops the reading.
void ReadVariables(DataBuf* db, VADEnvList* env)
{
    int i = 0;
    double r = 0.0;
    if (ReadEnvReal(env, "FE:SampFreq", &r) != 0) return;
    db->SampFreq = r;
    if (ReadEnvInt(env, "FE:FramePts", &i) != 0) return;
    db->FramePts = static_cast<unsigned int>(i);
    if (ReadEnvInt(env, "FE:ShiftPts", &i) != 0) return;
    db->ShiftPts = static_cast<unsigned int>(i);
    if (ReadEnvReal(env, "FE:PreEmp", &r) != 0) return;
    db->PreEmp = r;
    if (ReadEnvInt(env, "FE:NumChan", &i) != 0) return;
    db->NumChan = static_cast<unsigned int>(i);
    if (ReadEnvInt(env, "FE:NumFFT", &i) != 0) return;
    db->NumFFT = static_cast<unsigned int>(i);
    if (ReadEnvInt(env, "FE:NumFB", &i) != 0) return;
    db->NumFB = static_cast<unsigned int>(i);
    if (ReadEnvReal(env, "FE:LowPass", &r) != 0) return;
    db->LowPass = r;
    if (ReadEnvReal(env, "FE:HighPass", &r) != 0) return;
    db->HighPass = r;
}

} // namespace

double FBankMel(double f)
{
    return 1127.0 * fmath::logd(1.0 + f / 700.0);
}

DataBuf* InitDataBuf(VADEnvList* env)
{
    if (env == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return nullptr;
    }
    DataBuf* db = static_cast<DataBuf*>(std::calloc(1, sizeof(DataBuf)));
    if (db == nullptr) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "DataBuf");
        return nullptr;
    }
    db->SampFreq = 16000.0;
    db->FramePts = 320;
    db->ShiftPts = 160;
    db->PreEmp = 0.97;
    db->NumChan = 1;
    db->NumFFT = 256;
    db->LowPass = 0.0;
    db->HighPass = 8000.0;
    db->NumFB = 12;
    ReadVariables(db, env);

    // Transform size: a power of two of at least the frame and at least 256.
    std::uint64_t nfft = db->NumFFT;
    if (db->FramePts > nfft) {
        nfft = 2;
        while (nfft < db->FramePts) {
            nfft <<= 1;
        }
    }
    if (nfft < 256) {
        nfft = 256;
    }
    // Every frame holds about 8 NumFFT values per channel; all of it stays within bounds.
    const std::uint64_t perChannel = std::uint64_t(db->FramePts) + 8 * nfft + db->NumFB;
    if (nfft > kMaxVectorElements / 2 || std::uint64_t(db->NumChan) * perChannel > kMaxVectorElements ||
        db->NumFB > kMaxVectorElements) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "DataBuf");
        std::free(db);
        return nullptr;
    }
    db->NumFFT = static_cast<unsigned int>(nfft);

    db->window = CreateDVector(db->FramePts);
    db->prev = db->window && BuildFFTTables(&db->fft, db->NumFFT) == 0 ? CreateSMatrix(db->NumChan, db->FramePts)
                                                                       : nullptr;
    if (db->prev == nullptr || BuildFBank(db) != 0) {
        if (db->prev != nullptr) {
            VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "FBankPrms");
        }
        FreeDataBuf(db);
        return nullptr;
    }
    for (unsigned int i = 0; i < db->FramePts; ++i) {
        const double denominator = db->FramePts > 1 ? db->FramePts - 1.0 : 1.0;
        db->window[i] = 0.54 - 0.46 * std::cos(kVadTwoPi * i / denominator);
    }
    return db;
}

void FreeDataBuf(DataBuf* db)
{
    if (db == nullptr) {
        return;
    }
    ClearFrameBuf(db);
    while (db->spare != nullptr) {
        FrameNode* next = db->spare->next;
        FreeNode(db->spare, db->NumChan);
        db->spare = next;
    }
    FreeDVector(db->window);
    FreeFFTTables(&db->fft);
    FreeSMatrix(db->prev, db->NumChan);
    FreeDVector(db->fbank.centre);
    FreeUIVector(db->fbank.lower);
    FreeDVector(db->fbank.weight);
    std::free(db);
}

int ResetDataBuf(DataBuf* db)
{
    if (db == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    ZeroSMatrix(db->prev, db->NumChan, db->FramePts);
    ClearFrameBuf(db);
    return 0;
}

int AddNewFrame(DataBuf* db, unsigned int index)
{
    if (db == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    FrameNode* node = db->spare;
    if (node != nullptr) {
        db->spare = node->next;
        ZeroNode(node, db);
    } else {
        node = NewNode(db);
        if (node == nullptr) {
            return VAD_ERR_MEMORY;
        }
    }
    node->index = index;
    node->prev = db->frames.tail;
    if (db->frames.tail != nullptr) {
        db->frames.tail->next = node;
    } else {
        db->frames.head = node;
    }
    db->frames.tail = node;
    return 0;
}

void DeleteFrame(DataBuf* db, unsigned int index)
{
    if (db == nullptr) {
        return;
    }
    for (FrameNode* node = db->frames.head; node != nullptr; node = node->next) {
        if (node->index != index) {
            continue;
        }
        (node->prev ? node->prev->next : db->frames.head) = node->next;
        (node->next ? node->next->prev : db->frames.tail) = node->prev;
        node->next = db->spare;
        db->spare = node;
        return;
    }
}

void ClearFrameBuf(DataBuf* db)
{
    if (db == nullptr) {
        return;
    }
    FrameNode* node = db->frames.head;
    while (node != nullptr) {
        FrameNode* next = node->next;
        node->next = db->spare;
        db->spare = node;
        node = next;
    }
    db->frames.head = nullptr;
    db->frames.tail = nullptr;
}

int Wave2PowSpc(DataBuf* db)
{
    if (db == nullptr || db->frames.tail == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    const unsigned int n = db->NumFFT;
    const unsigned int len = db->FramePts;
    for (unsigned int c = 0; c < db->NumChan; ++c) {
        ChannelBuf& ch = db->frames.tail->chan[c];
        const short* s = ch.wave;
        double* x = ch.frame;
        for (unsigned int i = len - 1; i >= 1; --i) {
            x[i] = s[i] - db->PreEmp * s[i - 1];
        }
        x[0] = (1.0 - db->PreEmp) * s[0];
        for (unsigned int i = 0; i < len; ++i) {
            x[i] *= db->window[i];
        }
        for (unsigned int i = len; i < n; ++i) {
            x[i] = 0.0;
        }
        RealForwardFFT(db->fft, x, len, ch.spectrum, ch.work);
        for (unsigned int k = 0; k <= n / 2; ++k) {
            const double re = ch.spectrum[2 * k];
            const double im = ch.spectrum[2 * k + 1];
            ch.power[k] = re * re + im * im;
        }
        for (unsigned int k = 1; k < n / 2; ++k) {
            ch.power[n - k] = ch.power[k];
        }
    }
    return 0;
}

int Wave2FBank(DataBuf* db)
{
    const int result = Wave2PowSpc(db);
    if (result != 0) {
        return result;
    }
    const FBankPrms& fb = db->fbank;
    const unsigned int nfb = db->NumFB;
    for (unsigned int c = 0; c < db->NumChan; ++c) {
        ChannelBuf& ch = db->frames.tail->chan[c];
        double* out = ch.fbank;
        ZeroDVector(out, nfb);
        for (unsigned int k = fb.kmin; k <= fb.kmax; ++k) {
            const double a = std::sqrt(ch.power[k]);
            const double t = fb.weight[k] * a;
            const unsigned int l = fb.lower[k];
            if (l > 0) {
                out[l - 1] += t;
            }
            if (l < nfb) {
                out[l] += a - t;
            }
        }
        for (unsigned int d = 0; d < nfb; ++d) {
            out[d] = out[d] < 1.0 ? 0.0 : fmath::logd(out[d]);
        }
    }
    return 0;
}

int CompSpc2Wave(DataBuf* db)
{
    if (db == nullptr || db->frames.tail == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    for (unsigned int c = 0; c < db->NumChan; ++c) {
        ChannelBuf& ch = db->frames.tail->chan[c];
        RealInverseFFT(db->fft, ch.spectrum, ch.frame, ch.work);
    }
    return 0;
}

int PowSpc2ACCoef(DataBuf* db)
{
    if (db == nullptr || db->frames.tail == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    for (unsigned int c = 0; c < db->NumChan; ++c) {
        ChannelBuf& ch = db->frames.tail->chan[c];
        RealValuedInverseFFT(db->fft, ch.power, ch.autocorr, ch.work);
    }
    return 0;
}
