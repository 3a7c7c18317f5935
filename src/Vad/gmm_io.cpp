#include "Vad/gmm_io.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "Vad/fmath.h"
#include "Vad/quillet_error_common.h"

namespace {

// Bytes of one mixture in the file.
std::uint64_t MixBytes(std::uint64_t dim)
{
    return 16 + 16 * dim;
}

// A byte source that knows how much is left, so every count can be bounded before use.
class Source {
public:
    virtual ~Source() = default;
    virtual bool Read(void* to, std::size_t n) = 0;
    virtual std::uint64_t Left() const = 0;
};

class MemorySource : public Source {
public:
    MemorySource(const unsigned char* data, std::size_t size) : data_(data), left_(size) {}
    bool Read(void* to, std::size_t n) override
    {
        if (n > left_) {
            return false;
        }
        std::memcpy(to, data_, n);
        data_ += n;
        left_ -= n;
        return true;
    }
    std::uint64_t Left() const override { return left_; }

private:
    const unsigned char* data_;
    std::size_t left_;
};

class FileSource : public Source {
public:
    FileSource(std::FILE* file, std::uint64_t size) : file_(file), left_(size) {}
    bool Read(void* to, std::size_t n) override
    {
        if (n > left_ || std::fread(to, 1, n, file_) != n) {
            return false;
        }
        left_ -= n;
        return true;
    }
    std::uint64_t Left() const override { return left_; }

private:
    std::FILE* file_;
    std::uint64_t left_;
};

void FreeGMMContents(GMMBuf& gmm)
{
    if (gmm.Mix == nullptr) {
        return;
    }
    for (unsigned int m = 0; m < gmm.NumMix; ++m) {
        std::free(gmm.Mix[m].Mean);
        std::free(gmm.Mix[m].Var);
    }
    std::free(gmm.Mix);
    gmm.Mix = nullptr;
}

double* NewBands(unsigned int dim)
{
    return static_cast<double*>(std::calloc(dim == 0 ? 1 : dim, sizeof(double)));
}

bool AllocGMM(GMMBuf& gmm, unsigned int numMix, unsigned int dim)
{
    gmm.NumMix = numMix;
    gmm.Dim = dim;
    gmm.Mix = static_cast<MixBuf*>(std::calloc(numMix == 0 ? 1 : numMix, sizeof(MixBuf)));
    if (gmm.Mix == nullptr) {
        gmm.NumMix = 0;
        return false;
    }
    for (unsigned int m = 0; m < numMix; ++m) {
        gmm.Mix[m].Mean = NewBands(dim);
        gmm.Mix[m].Var = NewBands(dim);
        if (gmm.Mix[m].Mean == nullptr || gmm.Mix[m].Var == nullptr) {
            FreeGMMContents(gmm);
            gmm.NumMix = 0;
            return false;
        }
    }
    return true;
}

ModelBuf* NewSet(unsigned int numModel)
{
    ModelBuf* set = static_cast<ModelBuf*>(std::calloc(1, sizeof(ModelBuf)));
    if (set == nullptr) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "ModelBuf");
        return nullptr;
    }
    set->GMM = static_cast<GMMBuf*>(std::calloc(numModel == 0 ? 1 : numModel, sizeof(GMMBuf)));
    if (set->GMM == nullptr) {
        std::free(set);
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "GMMBuf");
        return nullptr;
    }
    set->NumModel = numModel;
    return set;
}

ModelBuf* Invalid(ModelBuf* partial)
{
    FreeModelBuf(partial);
    VAD_SET_ERROR(VAD_ERR_GMM_INVALID);
    return nullptr;
}

// Parses the layout; every count is checked against the bytes left before allocating.
ModelBuf* Parse(Source& in)
{
    std::uint32_t numModel = 0;
    if (!in.Read(&numModel, 4) || std::uint64_t(numModel) * 8 > in.Left()) {
        return Invalid(nullptr);
    }
    ModelBuf* set = NewSet(numModel);
    if (set == nullptr) {
        return nullptr;
    }
    for (std::uint32_t g = 0; g < numModel; ++g) {
        std::uint32_t counts[2];
        if (!in.Read(counts, 8)) {
            return Invalid(set);
        }
        const std::uint64_t need = std::uint64_t(counts[0]) * MixBytes(counts[1]);
        if (need > in.Left()) {
            return Invalid(set);
        }
        GMMBuf& gmm = set->GMM[g];
        if (!AllocGMM(gmm, counts[0], counts[1])) {
            FreeModelBuf(set);
            VAD_SET_ERROR(VAD_ERR_MEMORY);
            return nullptr;
        }
        const std::size_t bands = std::size_t(gmm.Dim) * sizeof(double);
        for (unsigned int m = 0; m < gmm.NumMix; ++m) {
            MixBuf& mix = gmm.Mix[m];
            if (!in.Read(&mix.MixWt, 8) || !in.Read(mix.Mean, bands) || !in.Read(mix.Var, bands) ||
                !in.Read(&mix.GConst, 8)) {
                return Invalid(set);
            }
        }
    }
    return set;
}

bool Put(std::FILE* file, const void* data, std::size_t n, const char* field)
{
    if (n != 0 && std::fwrite(data, 1, n, file) != n) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_GMM_WRITE, "%s", field);
        return false;
    }
    return true;
}

bool WriteSet(std::FILE* file, const ModelBuf* set)
{
    if (!Put(file, &set->NumModel, 4, "NumModel")) {
        return false;
    }
    for (unsigned int g = 0; g < set->NumModel; ++g) {
        const GMMBuf& gmm = set->GMM[g];
        if (!Put(file, &gmm.NumMix, 4, "NumMix") || !Put(file, &gmm.Dim, 4, "Dim")) {
            return false;
        }
        const std::size_t bands = std::size_t(gmm.Dim) * sizeof(double);
        for (unsigned int m = 0; m < gmm.NumMix; ++m) {
            const MixBuf& mix = gmm.Mix[m];
            if (!Put(file, &mix.MixWt, 8, "MixWt") || !Put(file, mix.Mean, bands, "Mean") ||
                !Put(file, mix.Var, bands, "Var") || !Put(file, &mix.GConst, 8, "GConst")) {
                return false;
            }
        }
    }
    return true;
}

void BlankGMM(GMMBuf& gmm)
{
    for (unsigned int m = 0; m < gmm.NumMix; ++m) {
        MixBuf& mix = gmm.Mix[m];
        mix.MixWt = 1.0 / gmm.NumMix;
        for (unsigned int d = 0; d < gmm.Dim; ++d) {
            mix.Mean[d] = 0.0;
            mix.Var[d] = 1.0;
        }
        mix.GConst = 0.0;
    }
}

// The counts of a set's first GMM, which the compositions apply to all of its GMMs;
// a set whose GMMs differ is refused.
bool UniformCounts(const ModelBuf* set, unsigned int& numMix, unsigned int& dim)
{
    if (set == nullptr || set->NumModel == 0) {
        return false;
    }
    numMix = set->GMM[0].NumMix;
    dim = set->GMM[0].Dim;
    for (unsigned int g = 1; g < set->NumModel; ++g) {
        if (set->GMM[g].NumMix != numMix || set->GMM[g].Dim != dim) {
            return false;
        }
    }
    return true;
}

ModelBuf* NewUniformSet(unsigned int numModel, unsigned int numMix, unsigned int dim)
{
    ModelBuf* set = NewSet(numModel);
    if (set == nullptr) {
        return nullptr;
    }
    for (unsigned int g = 0; g < numModel; ++g) {
        if (!AllocGMM(set->GMM[g], numMix, dim)) {
            FreeModelBuf(set);
            VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "MixBuf");
            return nullptr;
        }
    }
    return set;
}

bool CompositionShape(const ModelBuf* speech, const ModelBuf* noise, unsigned int& ms, unsigned int& mn,
                      unsigned int& dim)
{
    unsigned int noiseDim = 0;
    if (!UniformCounts(speech, ms, dim) || !UniformCounts(noise, mn, noiseDim) || noiseDim != dim) {
        VAD_SET_ERROR(speech == nullptr || noise == nullptr ? VAD_ERR_NULL : VAD_ERR_COMBINATION);
        return false;
    }
    if (std::uint64_t(speech->NumModel) * noise->NumModel > 0xffffffffu ||
        std::uint64_t(ms) * mn > 0xffffffffu) {
        VAD_SET_ERROR(VAD_ERR_RANGE);
        return false;
    }
    return true;
}

// Fills the composed set with one band rule per speech and noise mixture pair.
template <typename BandRule>
void Compose(ModelBuf* out, const ModelBuf* speech, const ModelBuf* noise, unsigned int ms, unsigned int mn,
             unsigned int dim, BandRule rule)
{
    const unsigned int nn = noise->NumModel;
    for (unsigned int g = 0; g < speech->NumModel; ++g) {
        for (unsigned int i = 0; i < nn; ++i) {
            GMMBuf& composed = out->GMM[g * nn + i];
            for (unsigned int k = 0; k < ms; ++k) {
                for (unsigned int l = 0; l < mn; ++l) {
                    const MixBuf& s = speech->GMM[g].Mix[k];
                    const MixBuf& n = noise->GMM[i].Mix[l];
                    MixBuf& c = composed.Mix[k * mn + l];
                    c.MixWt = s.MixWt + n.MixWt;
                    for (unsigned int d = 0; d < dim; ++d) {
                        rule(s.Mean[d], s.Var[d], n.Mean[d], n.Var[d], c.Mean[d], c.Var[d]);
                    }
                    c.GConst = CompGConst(c.Var, dim);
                }
            }
        }
    }
}

void LogNormalBand(double mus, double vs2, double mun, double vn2, double& mu, double& var)
{
    const double ms = fmath::expd(mus + vs2 / 2.0);
    const double mn = fmath::expd(mun + vn2 / 2.0);
    const double vs = (fmath::expd(vs2) - 1.0) * ms * ms;
    const double vn = (fmath::expd(vn2) - 1.0) * mn * mn;
    const double sum = ms + mn;
    var = fmath::logd((vs + vn) / (sum * sum) + 1.0);
    mu = fmath::logd(sum) - var / 2.0;
}

void VtsBand(double mus, double vs2, double mun, double vn2, double& mu, double& var)
{
    const double x = mun - mus;
    if (x <= fmath::kExpLowest) {
        mu = mus;
        var = vs2;
        return;
    }
    const double e = fmath::expd(x);
    mu = mus + fmath::logd(1.0 + e);
    const double G = 1.0 / (1.0 + e);
    const double H = e / (1.0 + e);
    var = G * G * vs2 + H * H * vn2;
}

ModelBuf* Convert(const ModelBuf* set, double** T, unsigned int inDim, unsigned int outDim)
{
    unsigned int numMix = 0;
    unsigned int dim = 0;
    if (set == nullptr || T == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return nullptr;
    }
    if (!UniformCounts(set, numMix, dim) || dim != inDim) {
        VAD_SET_ERROR(VAD_ERR_COMBINATION);
        return nullptr;
    }
    ModelBuf* out = NewUniformSet(set->NumModel, numMix, outDim);
    if (out == nullptr) {
        return nullptr;
    }
    for (unsigned int g = 0; g < set->NumModel; ++g) {
        for (unsigned int m = 0; m < numMix; ++m) {
            const MixBuf& from = set->GMM[g].Mix[m];
            MixBuf& to = out->GMM[g].Mix[m];
            to.MixWt = from.MixWt;
            for (unsigned int o = 0; o < outDim; ++o) {
                double mean = 0.0;
                double var = 0.0;
                for (unsigned int i = 0; i < inDim; ++i) {
                    mean += T[o][i] * from.Mean[i];
                    var += T[o][i] * T[o][i] * from.Var[i];
                }
                to.Mean[o] = mean;
                to.Var[o] = var;
            }
            to.GConst = CompGConst(to.Var, outDim);
        }
    }
    return out;
}

} // namespace

ModelBuf* ReadGMM(const char* path)
{
    std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) {
        VAD_SET_ERROR(VAD_ERR_GMM_OPEN);
        return nullptr;
    }
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        VAD_SET_ERROR(VAD_ERR_GMM_INVALID);
        return nullptr;
    }
    FileSource in(file, static_cast<std::uint64_t>(info.st_size));
    ModelBuf* set = Parse(in);
    std::fclose(file);
    return set;
}

ModelBuf* ReadGMMBuff(const void* image, std::size_t size)
{
    if (image == nullptr || size == 0) {
        VAD_SET_ERROR(VAD_ERR_GMM_INVALID);
        return nullptr;
    }
    MemorySource in(static_cast<const unsigned char*>(image), size);
    return Parse(in);
}

void FreeModelBuf(ModelBuf* set)
{
    if (set == nullptr) {
        return;
    }
    if (set->GMM != nullptr) {
        for (unsigned int g = 0; g < set->NumModel; ++g) {
            FreeGMMContents(set->GMM[g]);
        }
        std::free(set->GMM);
    }
    std::free(set);
}

ModelBuf* CreateBlankModel(unsigned int numModel, unsigned int numMix, unsigned int dim)
{
    if (std::uint64_t(numModel) * numMix * (std::uint64_t(dim) + 1) > (std::uint64_t(1) << 28)) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "ModelBuf");
        return nullptr;
    }
    ModelBuf* set = NewUniformSet(numModel, numMix, dim);
    if (set != nullptr) {
        ResetModelBuf(set);
    }
    return set;
}

int ResetModelBuf(ModelBuf* set)
{
    if (set == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    for (unsigned int g = 0; g < set->NumModel; ++g) {
        BlankGMM(set->GMM[g]);
    }
    return 0;
}

double CompGConst(const double* var, unsigned int dim)
{
    const double lnTwoPi = fmath::logd(6.28318530717959);
    double sum = dim * lnTwoPi;
    for (unsigned int d = 0; d < dim; ++d) {
        sum += fmath::logd(var[d]);
    }
    return sum;
}

extern "C" {

int WriteGMM(const char* path, const ModelBuf* set)
{
    if (set == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return 0;
    }
    std::FILE* file = path != nullptr ? std::fopen(path, "wb") : nullptr;
    if (file == nullptr) {
        VAD_SET_ERROR(VAD_ERR_GMM_OPEN);
        return 0;
    }
    const bool written = WriteSet(file, set);
    // Buffered data that cannot be flushed is a short write of the last field.
    if (std::fclose(file) != 0 && written) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_GMM_WRITE, "%s", "GConst");
        return 0;
    }
    return written ? 1 : 0;
}

int CopyMixBuf(MixBuf* to, const MixBuf* from, unsigned int dim)
{
    if (to == nullptr || from == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return 0;
    }
    if (dim == 0) {
        return 1;
    }
    std::memcpy(to->Mean, from->Mean, dim * sizeof(double));
    std::memcpy(to->Var, from->Var, dim * sizeof(double));
    to->GConst = from->GConst;
    return 1;
}

int CopyGMMBuf(GMMBuf* to, const GMMBuf* from)
{
    if (to == nullptr || from == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return 0;
    }
    to->NumMix = from->NumMix;
    to->Dim = from->Dim;
    for (unsigned int m = 0; m < from->NumMix; ++m) {
        if (CopyMixBuf(&to->Mix[m], &from->Mix[m], from->Dim) == 0) {
            return 0;
        }
    }
    return 1;
}

int CopyModelBuf(ModelBuf* to, const ModelBuf* from)
{
    if (to == nullptr || from == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return 0;
    }
    to->NumModel = from->NumModel;
    for (unsigned int g = 0; g < from->NumModel; ++g) {
        if (CopyGMMBuf(&to->GMM[g], &from->GMM[g]) == 0) {
            return 0;
        }
    }
    return 1;
}

ModelBuf* LogNormalGMMComposition(const ModelBuf* speech, const ModelBuf* noise)
{
    unsigned int ms = 0;
    unsigned int mn = 0;
    unsigned int dim = 0;
    if (!CompositionShape(speech, noise, ms, mn, dim)) {
        return nullptr;
    }
    ModelBuf* out = NewUniformSet(speech->NumModel * noise->NumModel, ms * mn, dim);
    if (out != nullptr) {
        Compose(out, speech, noise, ms, mn, dim, LogNormalBand);
    }
    return out;
}

int LogVTSGMMComposition(ModelBuf* out, const ModelBuf* speech, const ModelBuf* noise)
{
    unsigned int ms = 0;
    unsigned int mn = 0;
    unsigned int dim = 0;
    if (out == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    if (!CompositionShape(speech, noise, ms, mn, dim)) {
        return GetVADLastError();
    }
    unsigned int outMix = 0;
    unsigned int outDim = 0;
    if (!UniformCounts(out, outMix, outDim) || out->NumModel != speech->NumModel * noise->NumModel ||
        outMix != ms * mn || outDim != dim) {
        return VAD_FAIL(VAD_ERR_COMBINATION);
    }
    Compose(out, speech, noise, ms, mn, dim, VtsBand);
    return 0;
}

ModelBuf* FBankGMM2MfccGMM(const ModelBuf* set, double** T, unsigned int numFB, unsigned int numCep)
{
    return Convert(set, T, numFB, numCep);
}

ModelBuf* MfccGMM2FBankGMM(const ModelBuf* set, double** T, unsigned int numFB, unsigned int numCep)
{
    return Convert(set, T, numCep, numFB);
}

} // extern "C"
