#pragma once

// Majority vote over the frame decisions: a speech window and a pause window, each giving
// per frame the share of speech frames among its last frames (the speech density). The
// ratio of that density to votes / frames reaches 1.0 when the window's vote is won.

struct RingBufferInfo_t;

struct SpeechDensityInfo_t {
    int frames;                     // window length
    RingBufferInfo_t* window;       // speech flags (0 or 1) of the last `frames` frames
    RingBufferInfo_t* decisionView; // view of the manager's frame decision queue
    RingBufferInfo_t* density;      // one density per frame
    RingBufferInfo_t* densityView;  // view of `density`
    double voteRatio;               // votes / frames
    double sum;                     // speech frames in the window
    double value;                   // sum / frames
};

enum { kMajorityWindows = 2 };

struct MajorityModeInfo_t {
    int* lengths;          // {"SBM:MajorityFrames", "SBM:MajorityFrames_Pause"}
    int* votes;            // {"SBM:MajorityVotes", "SBM:MajorityVotes_Pause"}
    int count;             // windows
    int current;           // 0 speech window, 1 pause window
    int majority;          // "SBM:Majority"
    int majorityFrames;    // "SBM:MajorityFrames"
    int majorityVotes;     // "SBM:MajorityVotes"
    int pauseFrames;       // "SBM:MajorityFrames_Pause"
    int pauseVotes;        // "SBM:MajorityVotes_Pause"
    SpeechDensityInfo_t* windows[kMajorityWindows];
    RingBufferInfo_t* density; // one ratio per frame, read by GetSBMSpeechDenth
    double ratio;              // current window's last density / its vote ratio
};

int AllocateMM(MajorityModeInfo_t** mm);
int BeginMM(MajorityModeInfo_t* mm, RingBufferInfo_t** decisionQueue);
int EndMM(MajorityModeInfo_t* mm);
int AllocateSDI(SpeechDensityInfo_t** sdi, RingBufferInfo_t** decisionQueue, int frames, double voteRatio);
int FreeSDI(SpeechDensityInfo_t* sdi);
int CalcSpeechDensity(SpeechDensityInfo_t* sdi);
int CalcSpeechDenthMM(MajorityModeInfo_t* mm);
int RunMM(MajorityModeInfo_t* mm);
// `pending` densities of frames not yet run (the rest of a batch) are kept.
int SetNextMMInfo(MajorityModeInfo_t* mm, int pending = 0);
int ResetSDI(SpeechDensityInfo_t* sdi, int frames);
int ResetMMInfo(MajorityModeInfo_t* mm, int frames);
