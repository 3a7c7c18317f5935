#include "Vad/likelihood.h"

#include <cstdarg>
#include <new>
#include <vector>

#include "Vad/fmath.h"
#include "Vad/quillet_error_common.h"

namespace {

// -ln(1e10) with the fast logarithm.
const double kMinLogExp = -fmath::logd(1.0e10);

double LogWeight(double w)
{
    return w < kMinWeight ? kLogZero : fmath::logd(w);
}

double Density(const MixBuf& mix, const double* x, unsigned int dim)
{
    double sum = 0.0;
    for (unsigned int d = 0; d < dim; ++d) {
        const double diff = x[d] - mix.Mean[d];
        sum += diff * diff / mix.Var[d];
    }
    return -0.5 * (mix.GConst + sum);
}

// Concatenates the (vector, length) pieces of the variable arguments into x.
bool Gather(std::vector<double>& x, unsigned int dim, unsigned int numPieces, va_list args)
{
    try {
        x.assign(dim, 0.0);
    } catch (const std::bad_alloc&) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", "DVector");
        return false;
    }
    unsigned int at = 0;
    for (unsigned int p = 0; p < numPieces; ++p) {
        const double* piece = va_arg(args, const double*);
        const unsigned int length = va_arg(args, unsigned int);
        for (unsigned int i = 0; i < length && at < dim; ++i) {
            x[at++] = piece[i];
        }
    }
    return true;
}

} // namespace

double LOutP(const double* x, MixBuf mix, unsigned int dim)
{
    return Density(mix, x, dim);
}

double LAdd(double a, double b)
{
    const double hi = a > b ? a : b;
    const double lo = a > b ? b : a;
    const double diff = lo - hi;
    // Two log zeros add to log zero, not to log zero plus ln 2.
    if (diff < kMinLogExp || hi < kLogZeroLimit) {
        return hi < kLogZeroLimit ? kLogZero : hi;
    }
    return hi + fmath::logd(1.0 + fmath::expd(diff));
}

double CompPosteriori(double* post, unsigned int numMix, unsigned int dim, const MixBuf* mixes, const double* x)
{
    // post holds the weighted log densities until the total is known.
    double total = kLogZero;
    for (unsigned int m = 0; m < numMix; ++m) {
        post[m] = LogWeight(mixes[m].MixWt) + Density(mixes[m], x, dim);
        total = LAdd(total, post[m]);
    }
    for (unsigned int m = 0; m < numMix; ++m) {
        post[m] = fmath::expd(post[m] - total);
    }
    return total;
}

extern "C" {

double LMixOutP(MixBuf mix, const double* x, unsigned int dim)
{
    return Density(mix, x, dim);
}

double CompQOutP(unsigned int numMix, unsigned int dim, const MixBuf* mixes, const double* x, const double* q)
{
    double sum = 0.0;
    for (unsigned int m = 0; m < numMix; ++m) {
        sum += q[m] * (Density(mixes[m], x, dim) + LogWeight(mixes[m].MixWt));
    }
    return sum;
}

double CompMixPosteriori(unsigned int numMix, unsigned int dim, const MixBuf* mixes, double* post,
                         unsigned int numPieces, ...)
{
    std::vector<double> x;
    va_list args;
    va_start(args, numPieces);
    const bool gathered = Gather(x, dim, numPieces, args);
    va_end(args);
    if (!gathered) {
        return 0.0;
    }
    double total = kLogZero;
    for (unsigned int m = 0; m < numMix; ++m) {
        post[m] = mixes[m].MixWt + Density(mixes[m], x.data(), dim);
        total = LAdd(total, post[m]);
    }
    for (unsigned int m = 0; m < numMix; ++m) {
        post[m] = fmath::expd(post[m] - total);
    }
    return total;
}

double CompMixQOutP(unsigned int numMix, unsigned int dim, const MixBuf* mixes, const double* q,
                    unsigned int numPieces, ...)
{
    std::vector<double> x;
    va_list args;
    va_start(args, numPieces);
    const bool gathered = Gather(x, dim, numPieces, args);
    va_end(args);
    if (!gathered) {
        return 0.0;
    }
    double sum = 0.0;
    for (unsigned int m = 0; m < numMix; ++m) {
        sum += q[m] * (Density(mixes[m], x.data(), dim) + mixes[m].MixWt);
    }
    return sum;
}

} // extern "C"
