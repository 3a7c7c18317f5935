#pragma once

#include "Orvane/Vad/VadEngine.h"
#include "Vad/real_fft.h"

struct VADEnvList;

// Decision results of a frame or of one channel, written by the decision stage.
struct VADFrameResult {
    int decision;
    double speech;    // speech posterior
    double nonSpeech; // non-speech posterior
    double odds;
    double median;
};

struct ChannelBuf {
    VADFrameResult result;
    short* wave;      // FramePts input samples (enhanced samples with noise reduction)
    double* frame;    // NumFFT: pre-emphasised, windowed frame; inverse output after CompSpc2Wave
    double* work;     // 2 * NumFFT: transform scratch
    double* spectrum; // 2 * NumFFT
    double* power;    // NumFFT
    double* autocorr; // NumFFT
    double* fbank;    // NumFB: log filter bank
};

struct FrameNode {
    FrameNode* prev;
    FrameNode* next;
    unsigned int index;
    VADFrameResult result;
    ChannelBuf* chan; // NumChan entries
};

struct FBankPrms {
    unsigned int kmin;
    unsigned int kmax; // empty band range when kmax < kmin
    double* centre;    // NumFB + 2 mel centres
    unsigned int* lower;  // NumFFT / 2: lower channel per bin
    double* weight;       // NumFFT / 2: lower-channel weight per bin
};

struct FrameBuf {
    FrameNode* head;
    FrameNode* tail;
};

struct DataBuf {
    double SampFreq;
    unsigned int FramePts;
    unsigned int ShiftPts;
    double PreEmp;
    unsigned int NumChan;
    unsigned int NumFFT;
    double LowPass;
    double HighPass;
    unsigned int NumFB;
    unsigned int NumBase; // rows of the base filter table mixed by FeaEnh
    double* window;       // FramePts Hamming window
    FFTTables fft;        // NumFFT-point transform tables
    short** prev;         // NumChan x FramePts: the last frame's samples
    FBankPrms fbank;
    FrameBuf frames;
    FrameNode* spare;       // cleared frames kept for reuse, so a stream allocates no frames
};

// 2 pi as the engine writes it.
constexpr double kVadTwoPi = 6.28318530717959;

DataBuf* InitDataBuf(VADEnvList* env);
void FreeDataBuf(DataBuf* db);
int ResetDataBuf(DataBuf* db);
int AddNewFrame(DataBuf* db, unsigned int index);
void DeleteFrame(DataBuf* db, unsigned int index);
void ClearFrameBuf(DataBuf* db);
int Wave2PowSpc(DataBuf* db);
int Wave2FBank(DataBuf* db);
int CompSpc2Wave(DataBuf* db);
int PowSpc2ACCoef(DataBuf* db);

// Mel value of the filter-bank layout: 1127 ln(1 + f/700) with the fast logarithm.
double FBankMel(double f);
