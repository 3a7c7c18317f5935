#include "Vad/hangover.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Orvane/Vad/SpeechBoundaryManager.h"
#include "Vad/majority_mode.h"
#include "Vad/ring_buffer.h"
#include "Vad/sbm_error_code.h"

const char* const HOStateStrings[kHOStates] = {
    "",          "PROC_START",  "PROC_END",    "SPEECH_DISTINCT", "SPEECH_DISTINCT_SPEECH", "SPEECH_DISTINCT_GAP",
    "SPEECH_DISTINCT_GAP_SPEECH", "SPEECH_ONLY", "PREV_MARGIN", "POST_MARGIN", "GAP",
};

// [from][to] = 1 where the change is allowed.
const int HOStateChangeableMatrix[kHOStates][kHOStates] = {
    //            -  PS PE SD SDS SDG SDGS SO PM PoM GAP
    /* none */  {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* PS   */  {0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0},
    /* PE   */  {0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0},
    /* SD   */  {0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0},
    /* SDS  */  {0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0},
    /* SDG  */  {0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 1},
    /* SDGS */  {0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 1},
    /* SO   */  {0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1},
    /* PM   */  {0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0},
    /* PoM  */  {0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0},
    /* GAP  */  {0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1},
};

namespace {

int Fail(int code, int line)
{
    _SetSBMError(code, __FILE__, line);
    return code;
}

#define HO_FAIL(code) Fail((code), __LINE__)

bool InSpeechDistinct(int state)
{
    return state == SPEECH_DISTINCT || state == SPEECH_DISTINCT_SPEECH || state == SPEECH_DISTINCT_GAP ||
           state == SPEECH_DISTINCT_GAP_SPEECH;
}

// The maximum gap of the mode: one utterance may have its own.
int MaxGap(const VADHangOverInfo_t* hoi)
{
    return hoi->single && hoi->maxGapSingle > 0 ? hoi->maxGapSingle : hoi->maxGap;
}

// Whether the short stretch's gap is in force in this mode.
bool ShortStretches(const VADHangOverInfo_t* hoi) { return hoi->single && hoi->minSpeech > 0; }

// Log energy per decibel (the filter bank holds natural logarithms of energies).
constexpr double kLogPerDb = 0.1 * 2.302585092994046;

// A short stretch whose energy did not keep falling (no pluck or struck note), that holds
// a voiced nucleus and whose loudest frame stands clear of the gap: it ends at the maximum
// gap.
bool ShortWord(const VADHangOverInfo_t* hoi)
{
    const double frames = hoi->falls + hoi->rises;
    if (hoi->shortFall == 0 || frames <= 0.0 || 100.0 * hoi->falls >= hoi->shortFall * frames ||
        hoi->voicedLongest < hoi->shortVoiced || (hoi->shortGapSpeech > 0 && hoi->gapSpeech >= hoi->shortGapSpeech)) {
        return false;
    }
    return hoi->shortContrast == 0 ||
           (hoi->gapFrames > 0 && hoi->gapPower > 0.0 &&
            hoi->peak - std::log(hoi->gapPower / hoi->gapFrames) >= kLogPerDb * hoi->shortContrast);
}

// The longest gap the current stretch of speech bridges.
int GapLimit(const VADHangOverInfo_t* hoi)
{
    if (!ShortStretches(hoi) || hoi->stretch >= hoi->minSpeech) {
        return MaxGap(hoi);
    }
    if (!ShortWord(hoi)) {
        return std::max(MaxGap(hoi), hoi->maxGapShort);
    }
    return hoi->maxGapWord > 0 ? hoi->maxGapWord : MaxGap(hoi);
}

// Frames before the confirmation count for the stretch's energy less by this much a frame.
constexpr double kUnconfirmedWeight = 0.95;

// A frame at least this periodic is voiced.
constexpr double kVoiced = 0.5;

// The current frame's figures for the short-stretch rule: the gap's power and speech frames,
// and the speech frames' peak, voicing and whether their energy fell from the last speech
// frame's.
void FollowStretch(VADHangOverInfo_t* hoi, bool speech)
{
    if (hoi->state == SPEECH_ONLY) {
        hoi->gapPower = 0.0;
        hoi->gapFrames = 0;
        hoi->gapSpeech = 0;
    }
    const bool gap = hoi->state == SPEECH_DISTINCT_GAP || hoi->state == SPEECH_DISTINCT_GAP_SPEECH || hoi->state == GAP;
    // The gap is judged over its first maximum gap, so that a word's judgement stands once it
    // has been made.
    if ((gap || (hoi->state == SPEECH_ONLY && !speech)) && hoi->gapFrames < MaxGap(hoi)) {
        hoi->gapPower += std::exp(hoi->energy);
        ++hoi->gapFrames;
        hoi->gapSpeech += speech ? 1 : 0;
    }
    if (hoi->state == PROC_START || hoi->state == SPEECH_DISTINCT || hoi->state == SPEECH_DISTINCT_SPEECH) {
        hoi->falls *= kUnconfirmedWeight;
        hoi->rises *= kUnconfirmedWeight;
    }
    // Speech within a gap belongs to the stretch only once it resumes it.
    if (!speech || gap) {
        return;
    }
    hoi->voicedRun = hoi->voicing >= kVoiced ? hoi->voicedRun + 1 : 0;
    hoi->voicedLongest = std::max(hoi->voicedLongest, hoi->voicedRun);
    if (hoi->speechSeen) {
        (hoi->energy < hoi->lastEnergy ? hoi->falls : hoi->rises) += 1.0;
        hoi->peak = std::max(hoi->peak, hoi->energy);
    } else {
        hoi->peak = hoi->energy;
    }
    hoi->lastEnergy = hoi->energy;
    hoi->speechSeen = 1;
}

// A new stretch starts its figures afresh.
void StartStretch(VADHangOverInfo_t* hoi)
{
    hoi->speechSeen = 0;
    hoi->falls = 0.0;
    hoi->rises = 0.0;
    hoi->voicedRun = 0;
    hoi->voicedLongest = 0;
}

// One more frame of a gap; past the gap limit the utterance moves to its tail.
void CountGap(VADHangOverInfo_t* hoi)
{
    ++hoi->gap;
    if (hoi->gap > GapLimit(hoi)) {
        ChangeState(hoi, POST_MARGIN);
    }
}

// Speech returning within the maximum gap releases the gap and continues the utterance;
// past it (a short stretch's longer gap) only voted speech does, and starts a new stretch.
void ResumeFromGap(VADHangOverInfo_t* hoi)
{
    ++hoi->gap;
    if (hoi->gap <= MaxGap(hoi) || (hoi->gap <= GapLimit(hoi) && hoi->voted)) {
        if (hoi->gap > MaxGap(hoi)) {
            hoi->stretch = 1;
            StartStretch(hoi);
        }
        Request4RB(hoi, hoi->gap);
        hoi->gap = 0;
        ChangeState(hoi, SPEECH_ONLY);
    } else if (hoi->gap > GapLimit(hoi)) {
        ChangeState(hoi, POST_MARGIN);
    }
}

// Speech confirmed: release the head margin (and the votes' frames) and rewind to it.
void ConfirmSpeech(VADHangOverInfo_t* hoi, const MajorityModeInfo_t* mm)
{
    const int votes = mm->majority ? mm->majorityVotes : 0;
    const int head = hoi->headMargin + votes;
    Request4RBSync(hoi, head, head + 1);
    hoi->gap = 0;
    std::int64_t start = static_cast<std::int64_t>(hoi->frame) - hoi->headMargin - 1;
    if (mm->majority) {
        start -= votes + 1;
    }
    start = std::max<std::int64_t>(start, 0);
    start = std::max<std::int64_t>(start, hoi->utterances > 0 ? hoi->endFrame : 0);
    hoi->startFrame = static_cast<unsigned int>(start);
    hoi->stretch = votes + 1;
    Request4RB(hoi, 1);
    ChangeState(hoi, SPEECH_ONLY);
}

// The tail is complete (or a stop was asked): release it and end the utterance.
void EndUtterance(VADHangOverInfo_t* hoi)
{
    const int tail = std::min(hoi->gap, hoi->tailMargin);
    hoi->pushBack = std::max(hoi->gap - hoi->tailMargin, 0);
    Request4RB(hoi, tail);
    hoi->endFrame = static_cast<unsigned int>(static_cast<std::int64_t>(hoi->frame) - hoi->gap + tail + 1);
    ChangeState(hoi, PROC_END);
}

// The frame figures are read from the decisions' frame, as both queues get theirs for each
// frame. Where a reader of the manager's queues has taken them apart, the decisions go on
// alone.
void AlignEnergies(VADHangOverInfo_t* hoi)
{
    if (hoi->energyView != nullptr &&
        RSeekRB(hoi->energyView, GetReadableRB(hoi->energyView) -
                                     kFrameFigures * std::max(GetReadableRB(hoi->decisionView), 0)) != 0) {
        FreeRB(&hoi->energyView);
    }
}

} // namespace

int AllocHOI(VADHangOverInfo_t** hoi)
{
    if (hoi == nullptr) {
        return SBM_ERR_NULL;
    }
    VADHangOverInfo_t* h = static_cast<VADHangOverInfo_t*>(std::calloc(1, sizeof(VADHangOverInfo_t)));
    *hoi = h;
    if (h == nullptr) {
        return HO_FAIL(SBM_ERR_MEMORY);
    }
    h->state = PROC_START;
    h->transition = HO_N_N;
    h->startFrame = kHOUnknownFrame;
    h->headMargin = 90;
    h->tailMargin = 5;
    h->maxGap = 120;
    return 0;
}

int BeginHO(VADHangOverInfo_t* hoi, RingBufferInfo_t** decisionQueue, MajorityModeInfo_t* mm,
            RingBufferInfo_t** energyQueue)
{
    if (hoi == nullptr || decisionQueue == nullptr || *decisionQueue == nullptr || mm == nullptr ||
        (energyQueue != nullptr && *energyQueue == nullptr)) {
        return HO_FAIL(SBM_ERR_NULL);
    }
    int result = CopyRB(&hoi->decisionView, decisionQueue);
    if (result != 0) {
        return HO_FAIL(result);
    }
    FreeRB(&hoi->energyView);
    if (energyQueue != nullptr) {
        if ((result = CopyRB(&hoi->energyView, energyQueue)) != 0) {
            return HO_FAIL(result);
        }
        AlignEnergies(hoi);
    }
    const std::int64_t capacity = 2 * (static_cast<std::int64_t>(std::max(mm->majorityFrames, mm->pauseFrames)) +
                                       std::max(hoi->headMargin, LongestGapHO(hoi)));
    if (capacity <= 0 || capacity > kMaxRingCapacity) {
        return HO_FAIL(SBM_ERR_RANGE);
    }
    result = AllocateRB(&hoi->stateQueue, static_cast<unsigned int>(capacity), RB_BYTE);
    return result != 0 ? HO_FAIL(result) : 0;
}

int FreeHOI(VADHangOverInfo_t** hoi)
{
    if (hoi == nullptr || *hoi == nullptr) {
        return 0;
    }
    FreeRB(&(*hoi)->decisionView);
    FreeRB(&(*hoi)->energyView);
    FreeRB(&(*hoi)->stateQueue);
    std::free(*hoi);
    *hoi = nullptr;
    return 0;
}

int ResetHOI(VADHangOverInfo_t* hoi)
{
    if (hoi == nullptr) {
        return SBM_ERR_NULL;
    }
    hoi->state = PROC_START;
    hoi->transition = HO_N_N;
    hoi->gap = 0;
    hoi->rewind = 0;
    hoi->release = 0;
    hoi->stop = 0;
    hoi->previous = 0;
    hoi->stretch = 0;
    hoi->voted = 0;
    StartStretch(hoi);
    hoi->gapPower = 0.0;
    hoi->gapFrames = 0;
    hoi->gapSpeech = 0;
    return 0;
}

int RunHO(VADHangOverInfo_t* hoi, MajorityModeInfo_t* mm)
{
    if (hoi == nullptr || mm == nullptr || hoi->decisionView == nullptr) {
        return HO_FAIL(SBM_ERR_NULL);
    }
    // An ended utterance waits for the reader's reset; its later decisions stay queued.
    if (hoi->state == PROC_END) {
        return 0;
    }
    if (mm->majority) {
        const int result = CalcSpeechDenthMM(mm);
        if (result != 0) {
            return HO_FAIL(result);
        }
    }
    while (IsReadableRB(hoi->decisionView, 1) == 1) {
        signed char decision = 0;
        int result = ReadRB(hoi->decisionView, &decision, 1);
        if (result != 0) {
            return result;
        }
        RunMM(mm);
        if (hoi->pushBack > 0) {
            double discarded = 0.0;
            if (IsReadableRB(mm->density, 1) == 1) {
                ReadRB(mm->density, &discarded, 1);
            }
            --hoi->pushBack;
        }

        const bool speech = decision > 0;
        double figures[kFrameFigures] = {};
        if (hoi->energyView != nullptr && IsReadableRB(hoi->energyView, kFrameFigures) == 1 &&
            (result = ReadRB(hoi->energyView, figures, kFrameFigures)) != 0) {
            return result;
        }
        hoi->energy = figures[0];
        hoi->voicing = figures[1];
        FollowStretch(hoi, speech);
        hoi->stretch += speech && hoi->state == SPEECH_ONLY ? 1 : 0;
        hoi->voted = !mm->majority || mm->ratio >= 1.0 ? 1 : 0;
        if (hoi->previous) {
            hoi->transition = speech ? HO_S_S : HO_S_N;
        } else {
            hoi->transition = speech ? HO_N_S : HO_N_N;
        }
        if (hoi->transition == HO_N_S && hoi->state == PROC_START) {
            ChangeState(hoi, SPEECH_DISTINCT);
        }

        bool confirm = true;
        if (InSpeechDistinct(hoi->state)) {
            if (!mm->majority) {
                ChangeState(hoi, PREV_MARGIN);
            } else if (mm->ratio >= 1.0) {
                const bool inGap = hoi->state == SPEECH_DISTINCT_GAP || hoi->state == SPEECH_DISTINCT_GAP_SPEECH;
                ChangeState(hoi, inGap ? GAP : PREV_MARGIN);
            } else {
                confirm = false;
            }
        }
        if (confirm && hoi->state == PREV_MARGIN) {
            ConfirmSpeech(hoi, mm);
        }
        if (hoi->rewind != 0) {
            ++hoi->rewind;
        }
        if (hoi->state == POST_MARGIN) {
            ++hoi->gap;
        }
        switch (hoi->transition) {
        case HO_N_S: result = HO4N_S(hoi); break;
        case HO_S_N: result = HO4S_N(hoi, mm); break;
        case HO_S_S: result = HO4S(hoi); break;
        default: result = HO4N(hoi); break;
        }
        if (result != 0) {
            _SetSBMError(result, __FILE__, __LINE__);
        }
        if (hoi->state == POST_MARGIN && (hoi->gap >= hoi->tailMargin || hoi->stop)) {
            EndUtterance(hoi);
        }
        hoi->previous = speech ? 1 : 0;
        ++hoi->frame;
        if (hoi->state == PROC_END) {
            break;
        }
    }
    if (hoi->state == PROC_END) {
        ++hoi->utterances;
        hoi->frame -= static_cast<unsigned int>(hoi->pushBack);
        // The majority windows have also consumed the decisions after the end.
        const int unread = std::max(GetReadableRB(hoi->decisionView), 0);
        int result = RSeekRB(hoi->decisionView, -hoi->pushBack);
        AlignEnergies(hoi);
        if (result == 0) {
            result = ResetMMInfo(mm, hoi->pushBack + unread);
        }
        if (result != 0) {
            return HO_FAIL(result);
        }
    }
    return 0;
}

int HO4S_N(VADHangOverInfo_t* hoi, MajorityModeInfo_t* mm)
{
    if (hoi == nullptr || mm == nullptr) {
        return SBM_ERR_NULL;
    }
    switch (hoi->state) {
    case SPEECH_DISTINCT_GAP_SPEECH:
        ++hoi->gap;
        ChangeState(hoi, SPEECH_DISTINCT_GAP);
        if (hoi->gap > GapLimit(hoi)) {
            ChangeState(hoi, POST_MARGIN);
        }
        break;
    case SPEECH_ONLY:
        if (mm->majority) {
            SetNextMMInfo(mm, std::max(GetReadableRB(hoi->decisionView), 0));
            ChangeState(hoi, SPEECH_DISTINCT_GAP);
        } else {
            ChangeState(hoi, GAP);
        }
        hoi->gap = 1;
        if (hoi->gap > GapLimit(hoi)) {
            ChangeState(hoi, POST_MARGIN);
        }
        break;
    case SPEECH_DISTINCT_SPEECH:
        ChangeState(hoi, SPEECH_DISTINCT);
        break;
    case GAP:
        // Reached from a gap with speech when the pause vote was won: this frame is part of
        // the gap like any other.
        CountGap(hoi);
        break;
    default:
        break;
    }
    return GetSBMLastError();
}

int HO4N_S(VADHangOverInfo_t* hoi)
{
    if (hoi == nullptr) {
        return SBM_ERR_NULL;
    }
    switch (hoi->state) {
    case SPEECH_DISTINCT_GAP:
        ++hoi->gap;
        ChangeState(hoi, hoi->gap <= GapLimit(hoi) ? SPEECH_DISTINCT_GAP_SPEECH : POST_MARGIN);
        break;
    case GAP:
        ResumeFromGap(hoi);
        break;
    case SPEECH_DISTINCT:
        ChangeState(hoi, SPEECH_DISTINCT_SPEECH);
        break;
    default:
        break;
    }
    return GetSBMLastError();
}

int HO4S(VADHangOverInfo_t* hoi)
{
    if (hoi == nullptr) {
        return SBM_ERR_NULL;
    }
    switch (hoi->state) {
    case SPEECH_DISTINCT_GAP_SPEECH:
        CountGap(hoi);
        break;
    case SPEECH_ONLY:
        Request4RB(hoi, 1);
        break;
    case GAP:
        // Speech going on when the pause vote moved a gap with speech to GAP: it resumes the
        // utterance, so its frames are released rather than left behind the reader.
        ResumeFromGap(hoi);
        break;
    default:
        break;
    }
    return 0;
}

int HO4N(VADHangOverInfo_t* hoi)
{
    if (hoi == nullptr) {
        return SBM_ERR_NULL;
    }
    if (hoi->state == SPEECH_DISTINCT_GAP || hoi->state == GAP) {
        CountGap(hoi);
    }
    return 0;
}

int StopHO(VADHangOverInfo_t* hoi)
{
    if (hoi == nullptr) {
        return SBM_ERR_NULL;
    }
    if (hoi->state == PROC_START || hoi->state == SPEECH_DISTINCT || hoi->state == SPEECH_DISTINCT_SPEECH) {
        ChangeState(hoi, PROC_END);
    } else {
        hoi->stop = 1;
        hoi->state = POST_MARGIN;
    }
    return 0;
}

int GetState(VADHangOverInfo_t* hoi)
{
    return hoi != nullptr ? hoi->state : SBM_ERR_NULL;
}

int IsEndHO(VADHangOverInfo_t* hoi)
{
    if (hoi == nullptr) {
        return SBM_ERR_NULL;
    }
    return hoi->state == PROC_END ? 1 : 0;
}

int IsGap(VADHangOverInfo_t* hoi)
{
    if (hoi == nullptr) {
        return SBM_ERR_NULL;
    }
    return hoi->gap <= GapLimit(hoi) ? 1 : 0;
}

int Request4RB(VADHangOverInfo_t* hoi, int frames)
{
    if (hoi == nullptr) {
        return SBM_ERR_NULL;
    }
    hoi->release += frames;
    return 0;
}

int Request4RBSync(VADHangOverInfo_t* hoi, int frames, int rewind)
{
    if (hoi == nullptr) {
        return SBM_ERR_NULL;
    }
    hoi->release += frames;
    hoi->rewind = rewind;
    return 0;
}

int ChangeState(VADHangOverInfo_t* hoi, int to)
{
    if (hoi == nullptr) {
        return SBM_ERR_NULL;
    }
    const int from = hoi->state;
    if (from < 0 || from >= kHOStates || to < 0 || to >= kHOStates || !HOStateChangeableMatrix[from][to]) {
        HO_FAIL(SBM_ERR_STATE);
        std::printf("Invalid change %s to %s\n", from >= 0 && from < kHOStates ? HOStateStrings[from] : "",
                    to >= 0 && to < kHOStates ? HOStateStrings[to] : "");
        return SBM_ERR_VALUE;
    }
    hoi->state = to;
    return 0;
}

int LongestGapHO(const VADHangOverInfo_t* hoi)
{
    return ShortStretches(hoi) ? std::max({MaxGap(hoi), hoi->maxGapShort, hoi->maxGapWord}) : MaxGap(hoi);
}
