#pragma once

// The hangover state machine: turns frame decisions into one utterance with a start and an
// end, tolerating short gaps, and tells the manager how many frames to release to its
// reader and how far back to rewind for the head margin.

struct RingBufferInfo_t;
struct MajorityModeInfo_t;

enum HOState_t {
    HO_NONE = 0,
    PROC_START = 1,
    PROC_END = 2,
    SPEECH_DISTINCT = 3,
    SPEECH_DISTINCT_SPEECH = 4,
    SPEECH_DISTINCT_GAP = 5,
    SPEECH_DISTINCT_GAP_SPEECH = 6,
    SPEECH_ONLY = 7,
    PREV_MARGIN = 8,
    POST_MARGIN = 9,
    GAP = 10,
};

constexpr int kHOStates = 11;

// Transition of the current frame.
enum HOTransition { HO_S_N = 1, HO_N_S = 2, HO_S_S = 3, HO_N_N = 4 };

extern const char* const HOStateStrings[kHOStates];
extern const int HOStateChangeableMatrix[kHOStates][kHOStates];

constexpr unsigned int kHOUnknownFrame = 0xFFFFFFFFu;

struct VADHangOverInfo_t {
    int state;
    int transition;
    int gap;                 // frames of a gap, then of the tail
    int rewind;              // 0, or frames to rewind the wave queues to
    int release;             // frames released for reading
    int stop;                // set by StopHO
    unsigned int frame;      // frames processed
    unsigned int startFrame; // kHOUnknownFrame while unknown
    unsigned int endFrame;
    int headMargin;          // "SBM:HeadMargin"
    int tailMargin;          // "SBM:TailMargin"
    int maxGap;              // "SBM:MaxGap"
    RingBufferInfo_t* stateQueue;
    RingBufferInfo_t* decisionView;
    signed char previous;    // the previous frame was speech
    int pushBack;            // frames after the tail margin to examine again
    int utterances;
    // One utterance only ("SBM:ContinuousSpeech" 0): the maximum gap is "SBM:MaxGap_Single"
    // when set, as a pause that ends the one utterance loses the rest of the sentence; a
    // stretch holding fewer than "SBM:MinSpeech" speech frames is not ended by the maximum
    // gap but by "SBM:MaxGap_Short", and past the maximum gap only speech that wins the
    // majority vote resumes it; a noise burst before the speech then leads into it rather
    // than taking the one utterance.
    int single;              // set at each first step from "SBM:ContinuousSpeech"
    int maxGapSingle;        // "SBM:MaxGap_Single"; 0: "SBM:MaxGap"
    int minSpeech;           // "SBM:MinSpeech"; 0: every stretch ends at "SBM:MaxGap"
    int maxGapShort;         // "SBM:MaxGap_Short"
    int stretch;             // speech frames since confirmation or a resumption past the maximum gap
    int voted;               // the current frame's majority ratio is at least 1 (or no vote)
    // A short stretch that is no burst ends at the maximum gap like a long one, so a short word
    // said alone ends as soon as a sentence would. A burst (a plucked or struck note) is told
    // by its energy falling from one speech frame to the next in at least "SBM:ShortFall" %
    // of its speech frames (those before the confirmation weigh less the older they are); and
    // a stretch whose loudest speech frame stands less than "SBM:ShortContrast" dB above the
    // gap's mean power (over the gap's first maximum gap, so that frames of digital silence
    // after noise stops do not count as a quiet gap) may be speech the noise hides, with more
    // to come.
    int shortFall;           // "SBM:ShortFall"; 0: every short stretch keeps the short gap
    int shortContrast;       // "SBM:ShortContrast"; 0: the contrast is not looked at
    // A word has a voiced nucleus: a short stretch without "SBM:ShortVoiced" voiced speech
    // frames in a row (key presses, knocks, a door's click) keeps the short gap.
    int shortVoiced;         // "SBM:ShortVoiced"; 0: voicing is not looked at
    // A short stretch whose gap holds "SBM:ShortGapSpeech" speech frames or more is no word
    // said alone (more speech follows that the noise hides); a word said alone ends at
    // "SBM:MaxGap_Word", so that a first word before a longer pause still leads into the
    // sentence.
    int shortGapSpeech;      // "SBM:ShortGapSpeech"; 0: not looked at
    int maxGapWord;          // "SBM:MaxGap_Word"; 0: the maximum gap
    RingBufferInfo_t* energyView; // the manager's frame figures, kFrameFigures per decision; none: no rule
    double energy;           // the current frame's log filter-bank energy
    double voicing;          // and its periodicity, 0-1 (0 where not measured)
    int voicedRun;           // voiced speech frames in a row at the stretch's end
    int voicedLongest;       // the stretch's longest such run
    double lastEnergy;       // that of the last speech frame
    double peak;             // the stretch's loudest speech frame
    int speechSeen;          // the stretch has a speech frame (lastEnergy and peak are set)
    double falls;            // weighted speech frames of the stretch whose energy fell
    double rises;            // and those whose energy did not
    double gapPower;         // the current gap's frame energies summed as powers
    int gapFrames;
    int gapSpeech;           // speech frames in the current gap
};

int AllocHOI(VADHangOverInfo_t** hoi);
// Values per frame decision in the manager's frame-figure queue: the log frame energy, then
// the frame's voicing.
constexpr int kFrameFigures = 2;
// `energyQueue`, when given, holds kFrameFigures values per frame decision.
int BeginHO(VADHangOverInfo_t* hoi, RingBufferInfo_t** decisionQueue, MajorityModeInfo_t* mm,
            RingBufferInfo_t** energyQueue = nullptr);
int FreeHOI(VADHangOverInfo_t** hoi);
int ResetHOI(VADHangOverInfo_t* hoi);
int RunHO(VADHangOverInfo_t* hoi, MajorityModeInfo_t* mm);
int StopHO(VADHangOverInfo_t* hoi);
int GetState(VADHangOverInfo_t* hoi);
// The longest gap any stretch of speech bridges in the current mode ("single" as set).
int LongestGapHO(const VADHangOverInfo_t* hoi);
int IsEndHO(VADHangOverInfo_t* hoi);
int IsGap(VADHangOverInfo_t* hoi);
int Request4RB(VADHangOverInfo_t* hoi, int frames);
int Request4RBSync(VADHangOverInfo_t* hoi, int frames, int rewind);
int ChangeState(VADHangOverInfo_t* hoi, int to);

// Transition handlers, run once per frame after the state's own step.
int HO4S_N(VADHangOverInfo_t* hoi, MajorityModeInfo_t* mm);
int HO4N_S(VADHangOverInfo_t* hoi);
int HO4S(VADHangOverInfo_t* hoi);
int HO4N(VADHangOverInfo_t* hoi);
