#pragma once

// The speech-boundary manager's records (its exported functions are declared in
// Orvane/Vad/SpeechBoundaryManager.h).

#include "Orvane/Vad/SpeechBoundaryManager.h"

struct MajorityModeInfo_t;
struct VADHangOverInfo_t;
struct RingBufferInfo_t;
struct VoicingInfo_t;

struct RBsInfo_t {
    RingBufferInfo_t* processed;     // the detection layer's output wave
    RingBufferInfo_t* input;         // the input wave as written
    RingBufferInfo_t* processedView; // read by ReadRawSBM
    RingBufferInfo_t* inputView;     // frames for the detection layer are taken from it
    RingBufferInfo_t* vadInput;      // samples exactly as handed to the detection layer
    RingBufferInfo_t* probRatio;     // per frame: median odds
    RingBufferInfo_t* probSpeech;    // per frame: speech posterior
    RingBufferInfo_t* probNonSpeech; // per frame: non-speech posterior
    RingBufferInfo_t* decisions;     // per frame: final decision (signed byte)
    RingBufferInfo_t* decisionView;
    RingBufferInfo_t* energy;        // per frame: log of the mean filter-bank energy, then the
                                     // voicing of a speech frame (kFrameFigures values)
    int processedDiscard;            // processed samples still to drop
    int inputDiscard;                // input samples still to drop
    int warmUp;                      // samples of the detection layer's initial frames
    int initFrames;                  // "PKF:InitFrame"
    int shift;                       // "FE:ShiftPts"
    int frameLength;                 // "FE:FramePts"
    int channels;                    // "FE:NumChan"
    int fbChannels;                  // "FE:NumFB"
    int frameBufferLength;           // not used
    short* stepInput;                // one step for the detection layer
    short* stepOutput;               // the detection layer's output of one step
    int framesPerStep;
    int firstStep;                   // 1 until the first step of a stream has run
    int outputProcessed;             // 1 when "VAD:Output" is "MMSE_WAV"
    int startFromBeginning;          // "SBM:StartFromBeginning"
    int continuousSpeech;            // "SBM:ContinuousSpeech"
    int distanceDetection;           // "OH:DistanceDetection"
    int filGain;                     // "OH:FilGain"
    int thGain;                      // "OH:ThGain"
    unsigned int stepCapacity;       // samples each step buffer holds
    int prepared;                    // the queues are set up for the coming stream start
};

struct SBMInfo {
    MajorityModeInfo_t* majority;
    VADHangOverInfo_t* hangover;
    RBsInfo_t* queues;
    _tagVADInfo* session;
    VoicingInfo_t* voicing; // made at the first frame whose voicing is needed
};

// Samples of `frames` frames; the first frame of a stream is a whole frame.
long long Frame2DataSmpls(const RBsInfo_t* queues, long long frames, int first);

int SetSBMVariableInt(SBMInfo* handle, const char* name, int value);
int GetSBMVariavleInt(SBMInfo* handle, const char* name, int* value);
