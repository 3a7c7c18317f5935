#include "Vad/real_fft.h"

#include <cmath>
#include <cstddef>

#include "Vad/feature.h"
#include "Vad/memory.h"
#include "Vad/quillet_error_common.h"

namespace {

// Radix-2 decimation-in-time passes over `points` complex values in bit-reversed order.
template <bool Inverse>
void Butterflies(double* z, unsigned int points, const FFTTables& t)
{
    for (unsigned int i = 0; i < points; i += 2) {
        double* a = z + 2 * i;
        const double br = a[2];
        const double bi = a[3];
        a[2] = a[0] - br;
        a[3] = a[1] - bi;
        a[0] += br;
        a[1] += bi;
    }
    for (std::size_t half = 2; half < points; half <<= 1) {
        const std::size_t step = t.size / (2 * half);
        for (std::size_t group = 0; group < points; group += 2 * half) {
            double* a = z + 2 * group;
            double* b = a + 2 * half;
            for (std::size_t j = 0, w = 0; j < 2 * half; j += 2, w += step) {
                const double wr = t.cosine[w];
                const double wi = t.sine[w];
                const double br = b[j];
                const double bi = b[j + 1];
                const double ar = a[j];
                const double ai = a[j + 1];
                // b times the twiddle: e^{+i..} forward, its conjugate inverse.
                const double tr = Inverse ? wr * br + wi * bi : wr * br - wi * bi;
                const double ti = Inverse ? wr * bi - wi * br : wr * bi + wi * br;
                b[j] = ar - tr;
                b[j + 1] = ai - ti;
                a[j] = ar + tr;
                a[j + 1] = ai + ti;
            }
        }
    }
}

// The inverse of a Hermitian spectrum given by its values 0..N/2 (`half(k, re, im)`):
// the even and odd samples are the real and imaginary parts of one N/2-point inverse.
template <typename Half>
void InverseFromHalf(const FFTTables& t, Half half, double* out, double* work)
{
    const unsigned int m = t.size / 2;
    for (unsigned int k = 0; k < m; ++k) {
        double ar;
        double ai;
        double br;
        double bi;
        half(k, ar, ai);
        half(m - k, br, bi);
        bi = -bi;
        // Spectra of the even (a + b) and odd ((a - b) e^{-2 pi i k/N}) samples.
        const double er = ar + br;
        const double ei = ai + bi;
        const double dr = ar - br;
        const double di = ai - bi;
        const double wr = t.cosine[k];
        const double wi = -t.sine[k];
        const double orr = wr * dr - wi * di;
        const double oi = wr * di + wi * dr;
        const unsigned int r = t.reverse[k];
        work[2 * r] = er - oi;
        work[2 * r + 1] = ei + orr;
    }
    Butterflies<true>(work, m, t);
    const double scale = 1.0 / t.size;
    for (unsigned int i = 0; i < t.size; ++i) {
        out[i] = work[i] * scale;
    }
}

} // namespace

int BuildFFTTables(FFTTables* t, unsigned int n)
{
    const unsigned int m = n / 2;
    t->size = n;
    t->cosine = CreateDVector(m);
    t->sine = t->cosine ? CreateDVector(m) : nullptr;
    t->reverse = t->sine ? CreateUIVector(m) : nullptr;
    if (t->reverse == nullptr) {
        FreeFFTTables(t);
        return VAD_ERR_MEMORY;
    }
    for (unsigned int k = 0; k < m; ++k) {
        const double angle = kVadTwoPi * k / n;
        t->cosine[k] = std::cos(angle);
        t->sine[k] = std::sin(angle);
    }
    unsigned int bits = 0;
    while ((1u << bits) < m) {
        ++bits;
    }
    for (unsigned int k = 0; k < m; ++k) {
        unsigned int r = 0;
        for (unsigned int b = 0; b < bits; ++b) {
            r |= ((k >> b) & 1u) << (bits - 1 - b);
        }
        t->reverse[k] = r;
    }
    return 0;
}

void FreeFFTTables(FFTTables* t)
{
    FreeDVector(t->cosine);
    FreeDVector(t->sine);
    FreeUIVector(t->reverse);
    t->cosine = nullptr;
    t->sine = nullptr;
    t->reverse = nullptr;
}

void RealForwardFFT(const FFTTables& t, const double* x, unsigned int count, double* spectrum, double* work)
{
    const unsigned int n = t.size;
    const unsigned int m = n / 2;
    // Even samples as real parts, odd samples as imaginary parts, in bit-reversed order.
    for (unsigned int p = 0; p < m; ++p) {
        const unsigned int r = t.reverse[p];
        work[2 * r] = 2 * p < count ? x[2 * p] : 0.0;
        work[2 * r + 1] = 2 * p + 1 < count ? x[2 * p + 1] : 0.0;
    }
    Butterflies<false>(work, m, t);
    spectrum[0] = work[0] + work[1];
    spectrum[1] = 0.0;
    spectrum[n] = work[0] - work[1];
    spectrum[n + 1] = 0.0;
    for (unsigned int k = 1; k < m; ++k) {
        const double ar = work[2 * k];
        const double ai = work[2 * k + 1];
        const double br = work[2 * (m - k)];
        const double bi = -work[2 * (m - k) + 1];
        // Even-sample spectrum (a + b) / 2, odd-sample spectrum (a - b) / 2i.
        const double er = 0.5 * (ar + br);
        const double ei = 0.5 * (ai + bi);
        const double orr = 0.5 * (ai - bi);
        const double oi = -0.5 * (ar - br);
        const double wr = t.cosine[k];
        const double wi = t.sine[k];
        const double re = er + (wr * orr - wi * oi);
        const double im = ei + (wr * oi + wi * orr);
        spectrum[2 * k] = re;
        spectrum[2 * k + 1] = im;
        spectrum[2 * (n - k)] = re;
        spectrum[2 * (n - k) + 1] = -im;
    }
}

void RealInverseFFT(const FFTTables& t, const double* spectrum, double* out, double* work)
{
    const unsigned int n = t.size;
    // The real part of the inverse is the inverse of the spectrum's Hermitian part.
    InverseFromHalf(
        t,
        [spectrum, n](unsigned int k, double& re, double& im) {
            const unsigned int mirror = k == 0 ? 0 : n - k;
            re = 0.5 * (spectrum[2 * k] + spectrum[2 * mirror]);
            im = 0.5 * (spectrum[2 * k + 1] - spectrum[2 * mirror + 1]);
        },
        out, work);
}

void RealValuedInverseFFT(const FFTTables& t, const double* values, double* out, double* work)
{
    const unsigned int n = t.size;
    InverseFromHalf(
        t,
        [values, n](unsigned int k, double& re, double& im) {
            re = 0.5 * (values[k] + values[k == 0 ? 0 : n - k]);
            im = 0.0;
        },
        out, work);
}
