#include "Vad/majority_mode.h"

#include <algorithm>
#include <cstdlib>

#include "Vad/ring_buffer.h"
#include "Vad/sbm_error_code.h"

namespace {

int Fail(int code, int line)
{
    _SetSBMError(code, __FILE__, line);
    return code;
}

#define MM_FAIL(code) Fail((code), __LINE__)

void FreeWindows(MajorityModeInfo_t* mm)
{
    for (SpeechDensityInfo_t*& window : mm->windows) {
        FreeSDI(window);
        window = nullptr;
    }
    std::free(mm->lengths);
    std::free(mm->votes);
    mm->lengths = nullptr;
    mm->votes = nullptr;
    FreeRB(&mm->density);
}

} // namespace

int AllocateMM(MajorityModeInfo_t** mm)
{
    if (mm == nullptr) {
        return SBM_ERR_NULL;
    }
    *mm = static_cast<MajorityModeInfo_t*>(std::calloc(1, sizeof(MajorityModeInfo_t)));
    if (*mm == nullptr) {
        return MM_FAIL(SBM_ERR_MEMORY);
    }
    return 0;
}

int BeginMM(MajorityModeInfo_t* mm, RingBufferInfo_t** decisionQueue)
{
    if (mm == nullptr || decisionQueue == nullptr || *decisionQueue == nullptr) {
        return MM_FAIL(SBM_ERR_NULL);
    }
    // Each window needs frames to vote over and a vote it can win: 1 <= votes <= frames.
    if (mm->majorityFrames <= 0 || mm->pauseFrames <= 0 || mm->majorityVotes <= 0 || mm->pauseVotes <= 0 ||
        mm->majorityVotes > mm->majorityFrames || mm->pauseVotes > mm->pauseFrames) {
        return MM_FAIL(SBM_ERR_RANGE);
    }
    FreeWindows(mm);
    mm->count = kMajorityWindows;
    mm->current = 0;
    mm->ratio = 0.0;
    mm->lengths = static_cast<int*>(std::calloc(kMajorityWindows, sizeof(int)));
    mm->votes = static_cast<int*>(std::calloc(kMajorityWindows, sizeof(int)));
    if (mm->lengths == nullptr || mm->votes == nullptr) {
        FreeWindows(mm);
        return MM_FAIL(SBM_ERR_MEMORY);
    }
    mm->lengths[0] = mm->majorityFrames;
    mm->lengths[1] = mm->pauseFrames;
    mm->votes[0] = mm->majorityVotes;
    mm->votes[1] = mm->pauseVotes;
    unsigned int capacity = 0;
    GetSizeRB(*decisionQueue, &capacity);
    int result = AllocateRB(&mm->density, capacity, RB_DOUBLE);
    if (result != 0) {
        return MM_FAIL(result);
    }
    for (int i = 0; i < kMajorityWindows; ++i) {
        result = AllocateSDI(&mm->windows[i], decisionQueue, mm->lengths[i],
                             static_cast<double>(mm->votes[i]) / mm->lengths[i]);
        if (result != 0) {
            return MM_FAIL(result);
        }
    }
    return 0;
}

int EndMM(MajorityModeInfo_t* mm)
{
    if (mm == nullptr) {
        return 0;
    }
    FreeWindows(mm);
    std::free(mm);
    return 0;
}

int AllocateSDI(SpeechDensityInfo_t** sdi, RingBufferInfo_t** decisionQueue, int frames, double voteRatio)
{
    if (sdi == nullptr || decisionQueue == nullptr || *decisionQueue == nullptr) {
        return SBM_ERR_NULL;
    }
    if (frames < 1) {
        return MM_FAIL(SBM_ERR_RANGE);
    }
    FreeSDI(*sdi);
    SpeechDensityInfo_t* s = static_cast<SpeechDensityInfo_t*>(std::calloc(1, sizeof(SpeechDensityInfo_t)));
    *sdi = s;
    if (s == nullptr) {
        return MM_FAIL(SBM_ERR_MEMORY);
    }
    s->frames = frames;
    s->voteRatio = voteRatio;
    const unsigned int n = static_cast<unsigned int>(frames);
    int result = AllocateRB(&s->window, n, RB_BYTE);
    if (result == 0) result = AllocateRB(&s->density, n, RB_DOUBLE);
    if (result == 0) result = CopyRB(&s->densityView, &s->density);
    if (result == 0) result = CopyRB(&s->decisionView, decisionQueue);
    if (result != 0) {
        FreeSDI(s);
        *sdi = nullptr;
        return MM_FAIL(result);
    }
    // The window starts as `frames` non-speech frames.
    FillRB(s->window);
    return 0;
}

int FreeSDI(SpeechDensityInfo_t* sdi)
{
    if (sdi == nullptr) {
        return 0;
    }
    FreeRB(&sdi->decisionView);
    FreeRB(&sdi->densityView);
    FreeRB(&sdi->density);
    FreeRB(&sdi->window);
    std::free(sdi);
    return 0;
}

int CalcSpeechDensity(SpeechDensityInfo_t* sdi)
{
    if (sdi == nullptr || sdi->window == nullptr || sdi->decisionView == nullptr || sdi->density == nullptr) {
        return SBM_ERR_NULL;
    }
    const double n = sdi->window->capacity;
    while (IsReadableRB(sdi->decisionView, 1) == 1) {
        signed char decision = 0;
        unsigned char oldest = 0;
        int result = ReadRB(sdi->decisionView, &decision, 1);
        if (result == 0) result = ReadRB(sdi->window, &oldest, 1);
        const unsigned char flag = decision > 0 ? 1 : 0;
        if (result == 0) result = WriteRB(sdi->window, &flag, 1);
        if (result != 0) {
            return MM_FAIL(result);
        }
        sdi->sum += static_cast<double>(flag) - oldest;
        sdi->value = sdi->sum / n;
        WriteRB(sdi->density, &sdi->value, 1);
    }
    return 0;
}

int CalcSpeechDenthMM(MajorityModeInfo_t* mm)
{
    if (mm == nullptr || mm->windows[0] == nullptr || mm->windows[1] == nullptr) {
        return SBM_ERR_NULL;
    }
    for (SpeechDensityInfo_t* window : mm->windows) {
        const int result = CalcSpeechDensity(window);
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

int RunMM(MajorityModeInfo_t* mm)
{
    if (mm == nullptr || mm->current < 0 || mm->current >= kMajorityWindows || mm->windows[mm->current] == nullptr) {
        return SBM_ERR_NULL;
    }
    SpeechDensityInfo_t* window = mm->windows[mm->current];
    if (IsReadableRB(window->density, 1) != 1) {
        mm->ratio = 0.0;
        return 0;
    }
    double density = 0.0;
    const int result = ReadRB(window->density, &density, 1);
    if (result != 0) {
        return result;
    }
    mm->ratio = density / window->voteRatio;
    WriteRB(mm->density, &mm->ratio, 1);
    return 0;
}

int SetNextMMInfo(MajorityModeInfo_t* mm, int pending)
{
    if (mm == nullptr) {
        return SBM_ERR_NULL;
    }
    if (mm->current + 1 < mm->count) {
        ++mm->current;
    }
    SpeechDensityInfo_t* window = mm->windows[mm->current];
    if (window == nullptr) {
        return SBM_ERR_NULL;
    }
    // Only densities of frames from now on count; an empty queue is already so.
    const int readable = GetReadableRB(window->density);
    if (readable > 0) {
        SyncBackRB(window->density, static_cast<unsigned int>(std::min(std::max(pending, 0), readable)));
    }
    return 0;
}

int ResetSDI(SpeechDensityInfo_t* sdi, int frames)
{
    if (sdi == nullptr) {
        return SBM_ERR_NULL;
    }
    sdi->sum = 0.0;
    sdi->value = 0.0;
    ClearRB(sdi->density);
    ClearRB(sdi->densityView);
    ClearRB(sdi->window);
    FillRB(sdi->window);
    const int result = RSeekRB(sdi->decisionView, -frames);
    return result != 0 ? MM_FAIL(result) : 0;
}

int ResetMMInfo(MajorityModeInfo_t* mm, int frames)
{
    if (mm == nullptr) {
        return SBM_ERR_NULL;
    }
    mm->current = 0;
    for (SpeechDensityInfo_t* window : mm->windows) {
        const int result = ResetSDI(window, frames);
        if (result != 0) {
            return result;
        }
    }
    return 0;
}
