#pragma once

#include "Orvane/Vad/VadEngine.h"

struct VADEnvList;

// Noise tracking state of one model of the speech set.
struct PKFStateBuf {
    unsigned int NumMix;
    double logLikelihood;
    double weight;         // posterior of the model
    double* post;          // NumMix mixture posteriors
    double* rankedWeight;  // NumMix, descending, renormalised over the kept ranks
    unsigned int* rankedIndex;
    unsigned int kept;
    double* mergedMean;    // D
    double* mergedVar;     // D
    ModelBuf* predicted;   // 1 GMM, NumMix x D
    ModelBuf* updated;
    ModelBuf* noisy;
};

struct PKFChanBuf {
    double** initial; // InitFrame x D
    double* observation;
    double* noiseMean;
    double* noiseVar;
    PKFStateBuf* state; // NumModel
};

struct PKFImage {
    const void* data; // held by the variable list
    unsigned int size;
};

struct PKFPrms {
    unsigned int NumChan;
    unsigned int NumModel;
    unsigned int NumFB;
    unsigned int InitFrame;
    double DrvVar;
    double CumR;
    char* SpeechGMMPath;
    char* NoiseGMMPath;
    ModelBuf* speech;
    ModelBuf* noise;
    PKFChanBuf* chan;
    PKFImage SpeechGMMBuff;
    PKFImage NoiseGMMBuff;
};

PKFPrms* InitPKFPrms(VADEnvList* env, unsigned int numChan, unsigned int numFB);
void FreePKFPrms(PKFPrms* pkf);
int ResetPKFPrms(PKFPrms* pkf);
int PKFBasedNoiseUpdating(PKFPrms* pkf, DataBuf* db, unsigned int t);
