#include "Vad/gmm_wiener.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "Vad/env_list.h"
#include "Vad/feature.h"
#include "Vad/fmath.h"
#include "Vad/memory.h"
#include "Vad/p_kalman.h"
#include "Vad/quillet_error_common.h"

namespace {

void ReadVariables(GMMWnrPrms* p, VADEnvList* env)
{
    double r = 0.0;
    if (ReadEnvReal(env, "GMMW:NScale", &r) != 0) return;
    p->NScale = r;
    if (ReadEnvReal(env, "GMMW:Forget", &r) != 0) return;
    p->Forget = r;
}

void FreeFilterNode(FilterNode* node, unsigned int numChan)
{
    if (node == nullptr) {
        return;
    }
    if (node->chan != nullptr) {
        for (unsigned int c = 0; c < numChan; ++c) {
            FilterChan& ch = node->chan[c];
            FreeDVector(ch.previous);
            FreeDVector(ch.current);
            FreeSVector(ch.output);
            FreeDVector(ch.filter);
            for (double* gain : ch.gain) {
                FreeDVector(gain);
            }
        }
        std::free(node->chan);
    }
    std::free(node);
}

FilterNode* NewFilterNode(const GMMWnrPrms* p)
{
    FilterNode* node = static_cast<FilterNode*>(std::calloc(1, sizeof(FilterNode)));
    if (node == nullptr) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "FilterNode");
        return nullptr;
    }
    node->chan = static_cast<FilterChan*>(std::calloc(p->NumChan, sizeof(FilterChan)));
    bool built = node->chan != nullptr;
    for (unsigned int c = 0; built && c < p->NumChan; ++c) {
        FilterChan& ch = node->chan[c];
        ch.previous = CreateDVector(p->FramePts);
        ch.current = ch.previous ? CreateDVector(p->FramePts) : nullptr;
        ch.output = ch.current ? CreateSVector(p->FramePts) : nullptr;
        ch.filter = ch.output ? CreateDVector(p->numKnots) : nullptr;
        built = ch.filter != nullptr;
        for (unsigned int j = 0; built && j < kWienerModels; ++j) {
            ch.gain[j] = CreateDVector(p->NumFB);
            built = ch.gain[j] != nullptr;
        }
    }
    if (!built) {
        FreeFilterNode(node, p->NumChan);
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "FilterNode");
        return nullptr;
    }
    return node;
}

// A reused node is only unlinked: SetFilterPrms writes or clears every buffer of the tail
// node and GMMBasedWFilter writes its output whole before anything reads them.
void UnlinkFilterNode(FilterNode* node)
{
    node->prev = nullptr;
    node->next = nullptr;
    node->index = 0;
}

double WienerMel(double f)
{
    return 2595.0 * fmath::logd(1.0 + f / 700.0) / fmath::logd(10.0);
}

// Knot frequencies on the mel scale and the knot interval of every bin.
void BuildKnots(GMMWnrPrms* p, const DataBuf* db)
{
    const unsigned int n = p->numKnots;
    const double mlo = WienerMel(0.0);
    const double mhi = WienerMel(db->SampFreq / 2.0);
    p->knot[0] = 0.0;
    p->knot[n - 1] = db->SampFreq / 2.0;
    for (unsigned int i = 1; i + 1 < n; ++i) {
        const double mel = static_cast<double>(i) / (p->NumFB + 1) * (mhi - mlo) + mlo;
        p->knot[i] = 700.0 * (std::pow(10.0, mel / 2595.0) - 1.0);
    }
    for (unsigned int k = 0; k <= db->NumFFT / 2; ++k) {
        const double f = k * p->binWidth;
        unsigned int segment = n - 2;
        for (unsigned int i = 0; i + 1 < n; ++i) {
            if (p->knot[i] <= f && f <= p->knot[i + 1]) {
                segment = i;
                break;
            }
        }
        p->segment[k] = segment;
    }
}

// Cubic spline through (knot[i], f[i]) with end conditions from third differences.
void SolveSpline(GMMWnrPrms* p, const double* f)
{
    const unsigned int n = p->numKnots;
    const double* x = p->knot;
    double* h = p->h;
    double* s = p->s;
    double* b = p->b;
    double* c = p->c;
    double* d = p->d;
    for (unsigned int i = 0; i + 1 < n; ++i) {
        h[i] = x[i + 1] - x[i];
        s[i] = (f[i + 1] - f[i]) / h[i];
    }
    b[0] = -h[0];
    b[n - 1] = -h[n - 2];
    for (unsigned int i = 1; i + 1 < n; ++i) {
        b[i] = 2.0 * (h[i - 1] + h[i]);
        c[i] = s[i] - s[i - 1];
    }
    c[0] = c[2] / (x[3] - x[1]) - c[1] / (x[2] - x[0]);
    c[0] = c[0] * h[0] * h[0] / (x[3] - x[0]);
    c[n - 1] = c[n - 2] / (x[n - 1] - x[n - 3]) - c[n - 3] / (x[n - 2] - x[n - 4]);
    c[n - 1] = -c[n - 1] * h[n - 2] * h[n - 2] / (x[n - 1] - x[n - 4]);
    for (unsigned int i = 1; i < n; ++i) {
        const double t = h[i - 1] / b[i - 1];
        b[i] = b[i] - t * h[i - 1];
        c[i] = c[i] - t * c[i - 1];
    }
    c[n - 1] = c[n - 1] / b[n - 1];
    for (unsigned int i = n - 1; i-- > 0;) {
        c[i] = (c[i] - h[i] * c[i + 1]) / b[i];
    }
    b[n - 1] = s[n - 2] + h[n - 2] * (c[n - 2] + 2.0 * c[n - 1]);
    for (unsigned int i = 0; i + 1 < n; ++i) {
        b[i] = s[i] - h[i] * (c[i + 1] + 2.0 * c[i]);
        d[i] = (c[i + 1] - c[i]) / h[i];
        c[i] = 3.0 * c[i];
    }
    c[n - 1] = 3.0 * c[n - 1];
    d[n - 1] = d[n - 2];
}

// Gains of the two combined models and the filter at the knots.
void ComputeFilter(const GMMWnrPrms* p, const PKFPrms* pkf, unsigned int c, FilterChan& ch, const FilterNode* before)
{
    const unsigned int D = p->NumFB;
    for (unsigned int j = 0; j < kWienerModels; ++j) {
        const PKFStateBuf& st = pkf->chan[c].state[j];
        const MixBuf* clean = pkf->speech->GMM[j].Mix;
        const MixBuf* noisy = st.noisy->GMM[0].Mix;
        double* gain = ch.gain[j];
        for (unsigned int d = 0; d < D; ++d) {
            double g = 0.0;
            for (unsigned int r = 0; r < st.kept; ++r) {
                const unsigned int m = st.rankedIndex[r];
                g += st.rankedWeight[r] * fmath::expd(clean[m].Mean[d] - noisy[m].Mean[d]);
            }
            gain[d] = g;
        }
    }
    for (unsigned int d = 0; d < D; ++d) {
        double value = 0.0;
        for (unsigned int j = 0; j < kWienerModels; ++j) {
            value += pkf->chan[c].state[j].weight * ((1.0 - p->NScale) * ch.gain[j][d] + p->NScale);
        }
        ch.filter[d + 1] = value;
    }
    if (before != nullptr) {
        const double* previous = before->chan[c].filter;
        for (unsigned int d = 1; d <= D; ++d) {
            ch.filter[d] = p->Forget * ch.filter[d] + (1.0 - p->Forget) * previous[d];
        }
    }
    ch.filter[0] = ch.filter[1];
    ch.filter[D + 1] = ch.filter[D];
}

void ApplyGain(GMMWnrPrms* p, const FilterChan& ch, double* spectrum, unsigned int nfft)
{
    SolveSpline(p, ch.filter);
    for (unsigned int k = 0; k <= nfft / 2; ++k) {
        const unsigned int i = static_cast<unsigned int>(p->segment[k]);
        const double u = k * p->binWidth - p->knot[i];
        const double g = ch.filter[i] + u * (p->b[i] + u * (p->c[i] + u * p->d[i]));
        spectrum[2 * k] *= g;
        spectrum[2 * k + 1] *= g;
    }
    for (unsigned int k = 1; k < nfft / 2; ++k) {
        spectrum[2 * (nfft - k)] = spectrum[2 * k];
        spectrum[2 * (nfft - k) + 1] = -spectrum[2 * k + 1];
    }
}

// Base filter rows need a table of rows x cols; it is kept between calls when large enough.
bool ReserveBase(GMMWnrPrms* p, unsigned int rows, unsigned int cols)
{
    if (p->base != nullptr && p->baseRows >= rows && p->baseCols >= cols) {
        return true;
    }
    FreeDMatrix(p->base, p->baseRows);
    p->base = CreateDMatrix(rows, cols);
    p->baseRows = p->base != nullptr ? rows : 0;
    p->baseCols = p->base != nullptr ? cols : 0;
    return p->base != nullptr;
}

} // namespace

short SaturateSample(double v)
{
    if (!std::isfinite(v)) {
        return 0;
    }
    const double t = std::trunc(v);
    if (t >= 32767.0) {
        return 32767;
    }
    if (t <= -32768.0) {
        return -32768;
    }
    return static_cast<short>(t);
}

GMMWnrPrms* InitGMMWnrPrms(VADEnvList* env, const DataBuf* db)
{
    if (env == nullptr || db == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return nullptr;
    }
    // The overlap-add reads half a frame back and the spline needs four knots.
    if (2ull * db->ShiftPts > db->FramePts || db->NumFB < 2) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_RANGE, "%s", "GMMWnrPrms");
        return nullptr;
    }
    GMMWnrPrms* p = static_cast<GMMWnrPrms*>(std::calloc(1, sizeof(GMMWnrPrms)));
    if (p == nullptr) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "GMMWnrPrms");
        return nullptr;
    }
    p->NScale = 0.0;
    p->Forget = 1.0;
    ReadVariables(p, env);
    p->FramePts = db->FramePts;
    p->ShiftPts = db->ShiftPts;
    p->NumChan = db->NumChan;
    p->NumModel = kWienerModels;
    p->NumFB = db->NumFB;
    p->NumFFT = db->NumFFT;
    p->numKnots = db->NumFB + 2;
    p->binWidth = db->SampFreq / db->NumFFT;
    p->numBase = 1;
    const std::size_t n = p->numKnots;
    p->knot = CreateDVector(n);
    p->b = p->knot ? CreateDVector(n) : nullptr;
    p->c = p->b ? CreateDVector(n) : nullptr;
    p->d = p->c ? CreateDVector(n) : nullptr;
    p->h = p->d ? CreateDVector(n) : nullptr;
    p->s = p->h ? CreateDVector(n) : nullptr;
    p->segment = p->s ? CreateDVector(std::size_t(db->NumFFT) / 2 + 1) : nullptr;
    if (p->segment == nullptr) {
        FreeGMMWnrPrms(p);
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "GMMWnrPrms");
        return nullptr;
    }
    BuildKnots(p, db);
    return p;
}

void FreeGMMWnrPrms(GMMWnrPrms* p)
{
    if (p == nullptr) {
        return;
    }
    ClearFilterBuf(p);
    while (p->spare != nullptr) {
        FilterNode* next = p->spare->next;
        FreeFilterNode(p->spare, p->NumChan);
        p->spare = next;
    }
    FreeDVector(p->knot);
    FreeDVector(p->b);
    FreeDVector(p->c);
    FreeDVector(p->d);
    FreeDVector(p->h);
    FreeDVector(p->s);
    FreeDVector(p->segment);
    FreeDMatrix(p->base, p->baseRows);
    std::free(p);
}

int ResetGMMWnrPrms(GMMWnrPrms* p)
{
    if (p == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    ClearFilterBuf(p);
    return 0;
}

void ClearFilterBuf(GMMWnrPrms* p)
{
    if (p == nullptr) {
        return;
    }
    FilterNode* node = p->filters.head;
    while (node != nullptr) {
        FilterNode* next = node->next;
        node->next = p->spare;
        p->spare = node;
        node = next;
    }
    p->filters.head = nullptr;
    p->filters.tail = nullptr;
}

int AddNewFilter(GMMWnrPrms* p, unsigned int index)
{
    if (p == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    FilterNode* node = p->spare;
    if (node != nullptr) {
        p->spare = node->next;
        UnlinkFilterNode(node);
    } else {
        node = NewFilterNode(p);
        if (node == nullptr) {
            return VAD_ERR_MEMORY;
        }
    }
    node->index = index;
    node->prev = p->filters.tail;
    if (p->filters.tail != nullptr) {
        p->filters.tail->next = node;
    } else {
        p->filters.head = node;
    }
    p->filters.tail = node;
    return 0;
}

void DeleteFilter(GMMWnrPrms* p, unsigned int index)
{
    if (p == nullptr) {
        return;
    }
    for (FilterNode* node = p->filters.head; node != nullptr; node = node->next) {
        if (node->index != index) {
            continue;
        }
        (node->prev ? node->prev->next : p->filters.head) = node->next;
        (node->next ? node->next->prev : p->filters.tail) = node->prev;
        node->next = p->spare;
        p->spare = node;
        return;
    }
}

int SetFilterPrms(GMMWnrPrms* p, const PKFPrms* pkf, DataBuf* db)
{
    if (p == nullptr || pkf == nullptr || db == nullptr || p->filters.tail == nullptr || db->frames.tail == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    FilterNode* node = p->filters.tail;
    for (unsigned int c = 0; c < p->NumChan; ++c) {
        FilterChan& ch = node->chan[c];
        if (node->prev != nullptr) {
            CopyDVector(ch.previous, node->prev->chan[c].current, p->FramePts);
        } else {
            ZeroDVector(ch.previous, p->FramePts);
        }
        CopySDVector(ch.current, db->frames.tail->chan[c].wave, p->FramePts);
        for (double* gain : ch.gain) {
            ZeroDVector(gain, p->NumFB);
        }
        ZeroDVector(ch.filter, p->numKnots);
    }
    return 0;
}

int GMMBasedWFilter(GMMWnrPrms* p, const PKFPrms* pkf, DataBuf* db)
{
    if (p == nullptr || pkf == nullptr || db == nullptr || p->filters.tail == nullptr || db->frames.tail == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    FilterNode* node = p->filters.tail;
    for (unsigned int c = 0; c < p->NumChan; ++c) {
        FilterChan& ch = node->chan[c];
        ComputeFilter(p, pkf, c, ch, node->prev);
        ApplyGain(p, ch, db->frames.tail->chan[c].spectrum, db->NumFFT);
    }
    const int result = CompSpc2Wave(db);
    if (result != 0) {
        return result;
    }
    const unsigned int S = p->ShiftPts;
    const double* w = db->window;
    for (unsigned int c = 0; c < p->NumChan; ++c) {
        FilterChan& ch = node->chan[c];
        CopyDVector(ch.current, db->frames.tail->chan[c].frame, p->FramePts);
        for (unsigned int i = 0; i < S; ++i) {
            ch.output[i] = SaturateSample((ch.previous[S + i] + ch.current[i]) / (w[S + i] + w[i]));
        }
        for (unsigned int i = S; i < p->FramePts; ++i) {
            ch.output[i] = SaturateSample(ch.current[i]);
        }
    }
    return 0;
}

int SetEnhData(GMMWnrPrms* p, DataBuf* db)
{
    if (p == nullptr || db == nullptr || p->filters.tail == nullptr || db->frames.tail == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    for (unsigned int c = 0; c < p->NumChan; ++c) {
        CopySVector(db->frames.tail->chan[c].wave, p->filters.tail->chan[c].output, p->FramePts);
    }
    return 0;
}

extern "C" {

int CompBaseFilter(GMMWnrPrms* p, const ModelBuf* noisy, const ModelBuf* clean)
{
    if (p == nullptr || noisy == nullptr || clean == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    if (noisy->NumModel == 0 || clean->NumModel == 0) {
        return VAD_FAIL(VAD_ERR_RANGE);
    }
    const unsigned int NX = noisy->NumModel;
    const unsigned int MX = noisy->GMM[0].NumMix;
    const unsigned int NY = clean->NumModel;
    const unsigned int MY = clean->GMM[0].NumMix;
    const unsigned int D = noisy->GMM[0].Dim;
    // Both quotients need a nonzero divisor.
    if (MY == 0) {
        return VAD_FAIL(VAD_ERR_RANGE);
    }
    const unsigned int q = NX / NY;
    const unsigned int r = MX / MY;
    for (unsigned int g = 0; g < NX; ++g) {
        if (noisy->GMM[g].NumMix != MX || noisy->GMM[g].Dim != D) {
            return VAD_FAIL(VAD_ERR_COMBINATION);
        }
    }
    for (unsigned int g = 0; g < NY; ++g) {
        if (clean->GMM[g].NumMix != MY || clean->GMM[g].Dim < D) {
            return VAD_FAIL(VAD_ERR_COMBINATION);
        }
    }
    const std::uint64_t rows = std::uint64_t(MX) * NX;
    if (rows > kMaxVectorElements || !ReserveBase(p, static_cast<unsigned int>(rows), D)) {
        return VAD_FAIL(VAD_ERR_MEMORY);
    }
    ZeroDMatrix(p->base, p->baseRows, p->baseCols);
    unsigned int row = 0;
    for (unsigned int g = 0; g < NY; ++g) {
        for (unsigned int i = 0; i < q; ++i) {
            for (unsigned int k = 0; k < MY; ++k) {
                for (unsigned int l = 0; l < r; ++l) {
                    const MixBuf& c = clean->GMM[g].Mix[k];
                    const MixBuf& n = noisy->GMM[g * q + i].Mix[k * r + l];
                    for (unsigned int d = 0; d < D; ++d) {
                        p->base[row][d] = fmath::expd(c.Mean[d] - n.Mean[d]);
                    }
                    ++row;
                }
            }
        }
    }
    p->numBase = static_cast<unsigned int>(rows);
    return 0;
}

double* FeaEnh(GMMWnrPrms* p, const double* y, const double* post, double* state, const DataBuf* db)
{
    if (p == nullptr || y == nullptr || post == nullptr || state == nullptr || db == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return nullptr;
    }
    const unsigned int D = p->NumFB;
    // Rows come from the frame buffer's count, held to the rows the table has.
    unsigned int R = db->NumBase;
    if (p->base == nullptr) {
        R = 0;
    } else if (R > p->baseRows) {
        R = p->baseRows;
    }
    if (R > 0 && p->baseCols < D) {
        VAD_SET_ERROR(VAD_ERR_COMBINATION);
        return nullptr;
    }
    double* acc = CreateDVector(std::size_t(D) + 2);
    double* result = acc ? CreateDVector(D) : nullptr;
    if (result == nullptr) {
        FreeDVector(acc);
        return nullptr;
    }
    for (unsigned int d = 0; d < D; ++d) {
        double sum = 0.0;
        for (unsigned int row = 0; row < R; ++row) {
            sum += post[row] * ((1.0 - p->NScale) * p->base[row][d] + p->NScale);
        }
        acc[d + 1] = sum;
    }
    for (unsigned int d = 1; d <= D; ++d) {
        if (state[d] != 0.0) {
            acc[d] = p->Forget * acc[d] + (1.0 - p->Forget) * state[d];
        }
    }
    acc[0] = acc[1];
    acc[D + 1] = acc[D];
    CopyDVector(state, acc, std::size_t(D) + 2);
    for (unsigned int d = 0; d < D; ++d) {
        result[d] = y[d] + fmath::logd(acc[d + 1]);
    }
    FreeDVector(acc);
    return result;
}

int CompMmseMapFilter(double* out, const double* y, const ModelBuf* noisy, const ModelBuf* clean,
                      const ModelBuf* noise)
{
    if (out == nullptr || y == nullptr || noisy == nullptr || clean == nullptr || noise == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    if (clean->NumModel == 0 || noise->NumModel == 0) {
        return VAD_FAIL(VAD_ERR_RANGE);
    }
    const unsigned int NB = clean->NumModel;
    const unsigned int MB = clean->GMM[0].NumMix;
    const unsigned int NC = noise->NumModel;
    const unsigned int MC = noise->GMM[0].NumMix;
    const unsigned int D = clean->GMM[0].Dim;
    bool layout = noisy->NumModel == NB * NC;
    for (unsigned int g = 0; layout && g < NB; ++g) {
        layout = clean->GMM[g].NumMix == MB && clean->GMM[g].Dim == D;
    }
    for (unsigned int i = 0; layout && i < NC; ++i) {
        layout = noise->GMM[i].NumMix == MC && noise->GMM[i].Dim >= D;
    }
    for (unsigned int g = 0; layout && g < noisy->NumModel; ++g) {
        layout = noisy->GMM[g].NumMix == MB * MC && noisy->GMM[g].Dim >= D;
    }
    if (!layout) {
        return VAD_FAIL(VAD_ERR_COMBINATION);
    }
    for (unsigned int g = 0; g < NB; ++g) {
        for (unsigned int i = 0; i < NC; ++i) {
            for (unsigned int k = 0; k < MB; ++k) {
                for (unsigned int l = 0; l < MC; ++l) {
                    const MixBuf& c = clean->GMM[g].Mix[k];
                    const MixBuf& n = noise->GMM[i].Mix[l];
                    const MixBuf& x = noisy->GMM[g * NC + i].Mix[k * MC + l];
                    double* o = out + ((((std::size_t(g) * NC + i) * MB + k) * MC + l) * D);
                    for (unsigned int d = 0; d < D; ++d) {
                        const double exponent = n.Mean[d] - c.Mean[d];
                        const double G = exponent <= fmath::kExpLowest ? 1.0 : 1.0 / (1.0 + fmath::expd(exponent));
                        const double v = G * c.Var[d] / x.Var[d] * (y[d] - x.Mean[d]) + c.Mean[d] - y[d];
                        o[d] = fmath::expd(v);
                    }
                }
            }
        }
    }
    return 0;
}

} // extern "C"
