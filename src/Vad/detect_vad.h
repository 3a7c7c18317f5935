#pragma once

#include "Orvane/Vad/VadEngine.h"

struct VADPrms;
struct ParadePrms;
struct PKFPrms;
struct VADEnvList;

// Per-frame codes stored in the handle.
enum VadFrameCode {
    VAD_FRAME_NONSPEECH = 0,
    VAD_FRAME_SPEECH = 1,
    VAD_FRAME_START = 2,
    VAD_FRAME_PAUSE = -1,
    VAD_FRAME_END = -2,
};

struct VADInfoProcRecord {
    GetVADInfoProc proc;
    void* user;
};

// The detection handle; owns its stages and variables.
struct _tagVADInfo {
    VADPrms* vad;
    ParadePrms* parade;
    PKFPrms* pkf;
    GMMWnrPrms* wnr;
    DataBuf* data;
    unsigned int frame;
    int lastCode;
    VADEnvList* env;
    VADInfoProcRecord* infoProc;
};

// Frees and rebuilds every stage from the current variables.
int SetupVADInfo(_tagVADInfo* handle);
