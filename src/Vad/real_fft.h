#pragma once

// Discrete Fourier transforms of the front end, on tables built once per size N (a power of
// two, at least 4). The forward kernel is e^{+2 pi i nk/N}, unscaled; the inverse kernel is
// e^{-2 pi i nk/N}, scaled by 1/N. Real sequences go through an N/2-point complex transform.
// Complex data is re/im interleaved.

struct FFTTables {
    unsigned int size;     // N
    double* cosine;        // N/2 entries: cos(2 pi k / N)
    double* sine;          // N/2 entries: sin(2 pi k / N)
    unsigned int* reverse; // N/2 entries: bit reversal of the N/2-point transform
};

// 0, or VAD_ERR_MEMORY (recorded) with the tables freed.
int BuildFFTTables(FFTTables* t, unsigned int n);
void FreeFFTTables(FFTTables* t);

// All N spectrum values of `count` <= N real values zero-padded to N. `work`: N doubles.
void RealForwardFFT(const FFTTables& t, const double* x, unsigned int count, double* spectrum, double* work);
// Real part of the inverse of N complex values, into N doubles. `work`: N doubles.
void RealInverseFFT(const FFTTables& t, const double* spectrum, double* out, double* work);
// Real part of the inverse of N real values, into N doubles. `work`: N doubles.
void RealValuedInverseFFT(const FFTTables& t, const double* values, double* out, double* work);
