#pragma once

#include "Orvane/Vad/VadEngine.h"

struct VADEnvList;
struct PKFPrms;
struct ParadePrms;

// Decision codes of StatisticalVAD.
enum VadDecisionCode {
    VAD_CODE_START = 0,
    VAD_CODE_SPEECH = 1,
    VAD_CODE_PAUSE = 2,
    VAD_CODE_END = 3,
    VAD_CODE_NONSPEECH = 4,
};

struct RoHoPrms {
    unsigned int speechRun;
    unsigned int pendingPause;
    unsigned int nonSpeechRun;
    unsigned int pauseSpeechRun;
    unsigned int MaxSDuration;
    unsigned int MaxNDuration;
    unsigned int MaxGap;
    unsigned int candidate;
    unsigned int inSpeech;
};

struct StreamPair {
    double p[2]; // {non-speech, speech}
};

struct VADChanBuf {
    double observation[2];
    double posterior[2];
    double previous[2];
    double odds;
    double median;
    double* window; // 2F + 1, newest last
    int decision;
    StreamPair* stream; // one pair per stream
};

struct VADPrms {
    int ready;
    unsigned int NumChan;
    unsigned int NumStream;
    double T[4];
    double posterior[2];
    double odds;
    double median;
    unsigned int FilLen;
    double* window; // 2F + 1, newest last
    double Threshold;
    int decision;
    int previousDecision;
    RoHoPrms* roho;
    int output; // 1 for "MMSE_WAV"
    VADChanBuf* chan;
    double* sortScratch;    // 2F + 1 values for the median
};

VADPrms* InitVADPrms(VADEnvList* env, unsigned int numChan);
void FreeVADPrms(VADPrms* stage);
int ResetVADPrms(VADPrms* stage);
int ResetRoHoPrms(RoHoPrms* roho);
int ResetVADChanBuf(VADPrms* stage);
int SetVADProb(VADPrms* stage, const PKFPrms* pkf, const ParadePrms* parade, unsigned int frame);
// The code of a frame from the previous and current frame decisions (plain mode when the
// three duration limits are 0, else the duration rules, which update `r`).
int VADDecisionCode(RoHoPrms* r, int previous, int current);
int StatisticalVAD(int* code, DataBuf* db, VADPrms* stage, const PKFPrms* pkf, GMMWnrPrms* wnr, unsigned int frame);
