#pragma once

#include "Orvane/Vad/VadEngine.h"

struct VADEnvList;

struct PARChanBuf {
    double* history; // 2 FilLen + 1 ratios, oldest first
    double ratio;
    double logProb[2]; // {non-speech, speech}
    double prob[2];
};

struct ParadePrms {
    unsigned int NumChan;
    double LowF0;
    double HighF0;
    unsigned int longestLag;
    unsigned int shortestLag;
    double eta; // window factor
    unsigned int FilLen;
    PARChanBuf* chan;
    double* sortScratch; // 2 FilLen + 1 values for the median
};

ParadePrms* InitParadePrms(VADEnvList* env, const DataBuf* db);
void FreeParadePrms(ParadePrms* p);
int ResetParadePrms(ParadePrms* p);
int CompParade(ParadePrms* p, DataBuf* db);

// The element at position `half` of the 2 half + 1 values sorted in descending order
// (selection sort of a copy in `scratch`).
double DescendingMedian(const double* values, unsigned int half, double* scratch);
