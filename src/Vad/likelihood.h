#pragma once

#include "Orvane/Vad/VadEngine.h"

// Log-domain likelihoods of diagonal mixtures with linear weights; the log-weight ("Mix")
// family is exported through VadEngine.h.

constexpr double kLogZero = -1.0e10;
constexpr double kLogZeroLimit = -5.0e9;
constexpr double kMinWeight = 1.0e-10;

double LOutP(const double* x, MixBuf mix, unsigned int dim);
double LAdd(double a, double b);
double CompPosteriori(double* post, unsigned int numMix, unsigned int dim, const MixBuf* mixes,
                      const double* x);
