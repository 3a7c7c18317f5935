#include "Vad/SBM.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Vad/detect_vad.h"
#include "Vad/env_list.h"
#include "Vad/feature.h"
#include "Vad/fmath.h"
#include "Vad/hangover.h"
#include "Vad/majority_mode.h"
#include "Vad/ring_buffer.h"
#include "Vad/sbm_error_code.h"
#include "Vad/voicing.h"

namespace {

enum PresetType { kInt = 0, kReal = 1, kStr = 2, kPtr = 3 };

struct PresetRow {
    const char* name;
    const char* value;
    int type;
};

constexpr int kModes = 4;
constexpr int kPresetRows = 34;

#define SBM_PRESET_ROWS(start, maxDuration)                                                                        \
    {                                                                                                              \
        {"SBM:HeadMargin", "90", kInt}, {"SBM:TailMargin", "10", kInt}, {"SBM:MaxGap", "40", kInt},                \
            {"SBM:Majority", "1", kInt}, {"SBM:MajorityFrames", "50", kInt}, {"SBM:MajorityVotes", "30", kInt},    \
            {"SBM:MajorityFrames_Pause", "50", kInt}, {"SBM:MajorityVotes_Pause", "20", kInt},                     \
            {"SBM:StartFromBeginning", start, kInt}, {"SBM:ContinuousSpeech", "1", kInt},                          \
            {"OH:DistanceDetection", "0", kInt}, {"OH:FilGain", "10", kInt}, {"OH:ThGain", "3", kInt},             \
            {"FE:SampFreq", "16000.0", kReal}, {"FE:FramePts", "320", kInt}, {"FE:ShiftPts", "160", kInt},         \
            {"FE:PreEmp", "0.00", kReal}, {"FE:NumChan", "1", kInt}, {"FE:NumFFT", "512", kInt},                   \
            {"FE:NumFB", "24", kInt}, {"PKF:InitFrame", "10", kInt}, {"PKF:DrvVar", "0.0001", kReal},              \
            {"PKF:CumR", "0.99", kReal}, {"PKF:GMMBuff", "", kPtr}, {"VAD:ProbN2S", "0.10", kReal},                \
            {"VAD:ProbS2N", "0.9", kReal}, {"VAD:Threshold", "1.0", kReal}, {"VAD:FilLen", "1", kInt},             \
            {"VAD:MaxSDuration", maxDuration, kInt}, {"VAD:MaxNDuration", maxDuration, kInt},                      \
            {"VAD:MaxGap", maxDuration, kInt}, {"VAD:Output", "MMSE_WAV", kStr}, {"GMMW:NScale", "0.5", kReal},    \
            {"GMMW:Forget", "0.5", kReal},                                                                         \
    }

// The mode presets, applied row by row in this order.
const PresetRow param_array[kModes][kPresetRows] = {
    SBM_PRESET_ROWS("0", "1"),
    SBM_PRESET_ROWS("0", "1"),
    SBM_PRESET_ROWS("1", "1"),
    SBM_PRESET_ROWS("1", "0"),
};

#undef SBM_PRESET_ROWS

int Fail(int code, int line)
{
    _SetSBMError(code, __FILE__, line);
    return code;
}

#define SBM_FAIL(code) Fail((code), __LINE__)

// A failure of the detection layer, recorded with its own code and message.
int FailVad(int code, int line)
{
    return Fail(code != 0 ? code : SBM_ERR_INTERNAL, line);
}

#define SBM_FAIL_VAD(code) FailVad((code), __LINE__)

bool Complete(const SBMInfo* h)
{
    return h->majority != nullptr && h->hangover != nullptr && h->queues != nullptr && h->session != nullptr;
}

RingBufferInfo_t** QueueFields(RBsInfo_t* q, int i)
{
    RingBufferInfo_t** fields[] = {&q->processed,  &q->input,      &q->processedView, &q->inputView,
                                   &q->vadInput,   &q->probRatio,  &q->probSpeech,    &q->probNonSpeech,
                                   &q->decisions,  &q->decisionView, &q->energy};
    return fields[i];
}

constexpr int kQueueFields = 11;

void FreeQueues(RBsInfo_t* q)
{
    // Views first: they read their parents' storage.
    FreeRB(&q->processedView);
    FreeRB(&q->inputView);
    FreeRB(&q->decisionView);
    for (int i = 0; i < kQueueFields; ++i) {
        FreeRB(QueueFields(q, i));
    }
}

int AllocateRBsInfo(RBsInfo_t** queues)
{
    RBsInfo_t* q = static_cast<RBsInfo_t*>(std::calloc(1, sizeof(RBsInfo_t)));
    *queues = q;
    if (q == nullptr) {
        return SBM_ERR_MEMORY;
    }
    q->framesPerStep = 1;
    q->firstStep = 1;
    q->continuousSpeech = 1;
    q->filGain = 10;
    q->thGain = 3;
    return 0;
}

void FreeRBsInfo(RBsInfo_t** queues)
{
    if (*queues == nullptr) {
        return;
    }
    FreeQueues(*queues);
    std::free((*queues)->stepInput);
    std::free((*queues)->stepOutput);
    std::free(*queues);
    *queues = nullptr;
}

// Frees the manager's parts; 0, or the detection layer's code when its session stays.
int FreeParts(SBMInfo* h)
{
    FreeHOI(&h->hangover);
    FreeVoicing(&h->voicing);
    FreeRBsInfo(&h->queues);
    EndMM(h->majority);
    h->majority = nullptr;
    const int result = EndVAD(h->session);
    if (result == 0) {
        h->session = nullptr;
    }
    return result;
}

// The hang-over stage and the per-frame queues count detection frames; the wave queues and
// their release counts count samples (all channels). The two meet only in Samples, which
// knows the frame geometry.
struct FrameCount {
    long long value;
};

struct SampleCount {
    long long value;
};

SampleCount operator+(SampleCount a, SampleCount b)
{
    return SampleCount{a.value + b.value};
}

// Samples of `frames` frames; the first frame of a stream (`first` 1) is a whole frame,
// every other one a shift.
SampleCount Samples(const RBsInfo_t* q, FrameCount frames, int first)
{
    return SampleCount{Frame2DataSmpls(q, frames.value, first)};
}

// Samples by which the output wave runs ahead of the input it came from: the first step
// puts a whole frame into the output queue but only one shift of it is output. With a shift
// longer than the frame the output lags instead; the input is then taken as it stands, so
// its reader never passes the processed input.
SampleCount OutputLead(const RBsInfo_t* q)
{
    return SampleCount{std::max(static_cast<long long>(q->channels) * (q->frameLength - q->shift), 0LL)};
}

// Input samples already handed to the detection layer (the rest are still unprocessed).
int ProcessedInput(RBsInfo_t* q)
{
    const int all = GetReadableRB(q->input);
    const int unprocessed = GetReadableRB(q->inputView);
    return std::max(all - std::max(unprocessed, 0), 0);
}

int ClampToInt(long long v)
{
    return static_cast<int>(std::max<long long>(std::min<long long>(v, INT32_MAX), INT32_MIN));
}

int ClampToInt(SampleCount samples)
{
    return ClampToInt(samples.value);
}

// Creates the queues for the frame geometry and wave capacity `wave`, keeping those that
// already fit, and the step buffers.
int SyncRBsInfoFromOSTRELParams(RBsInfo_t* q, unsigned int wave, unsigned int frames, bool rebuild)
{
    if (rebuild) {
        FreeQueues(q);
    }
    int result = 0;
    if (q->processed == nullptr) {
        result = AllocateRB(&q->processed, wave, RB_SHORT);
        if (result == 0) result = CopyRB(&q->processedView, &q->processed);
    }
    if (result == 0 && q->input == nullptr) {
        result = AllocateRB(&q->input, wave, RB_SHORT);
        if (result == 0) result = CopyRB(&q->inputView, &q->input);
    }
    if (result == 0 && q->vadInput == nullptr) result = AllocateRB(&q->vadInput, wave, RB_SHORT);
    if (result == 0 && q->probRatio == nullptr) result = AllocateRB(&q->probRatio, frames, RB_DOUBLE);
    if (result == 0 && q->probSpeech == nullptr) result = AllocateRB(&q->probSpeech, frames, RB_DOUBLE);
    if (result == 0 && q->probNonSpeech == nullptr) result = AllocateRB(&q->probNonSpeech, frames, RB_DOUBLE);
    if (result == 0 && q->energy == nullptr) result = AllocateRB(&q->energy, kFrameFigures * frames, RB_DOUBLE);
    if (result == 0 && q->decisions == nullptr) {
        result = AllocateRB(&q->decisions, frames, RB_BYTE);
        if (result == 0) result = CopyRB(&q->decisionView, &q->decisions);
    }
    if (result != 0) {
        return result;
    }
    // A later step may need more than the first when the shift exceeds the frame.
    const long long step = std::max(Samples(q, FrameCount{q->framesPerStep}, 1).value,
                                    Samples(q, FrameCount{q->framesPerStep}, 0).value);
    if (step <= 0 || step > wave) {
        return SBM_ERR_RANGE;
    }
    std::free(q->stepInput);
    std::free(q->stepOutput);
    q->stepInput = static_cast<short*>(std::calloc(static_cast<std::size_t>(step), sizeof(short)));
    q->stepOutput = static_cast<short*>(std::calloc(static_cast<std::size_t>(step), sizeof(short)));
    q->stepCapacity = static_cast<unsigned int>(step);
    if (q->stepInput == nullptr || q->stepOutput == nullptr) {
        return SBM_ERR_MEMORY;
    }
    q->warmUp = ClampToInt(Samples(q, FrameCount{q->initFrames}, 1));
    q->inputDiscard = q->warmUp;
    q->processedDiscard = ClampToInt(SampleCount{q->warmUp} + OutputLead(q));
    return 0;
}

int PrepareStruct(SBMInfo* h)
{
    RBsInfo_t* q = h->queues;
    VADHangOverInfo_t* hoi = h->hangover;
    MajorityModeInfo_t* mm = h->majority;
    VADEnvList* env = h->session->env;

    // Read whole: "OutVADLabel=T" is a legal value longer than ten bytes.
    const char* output = nullptr;
    int result = ReadEnvStr(env, "VAD:Output", &output);
    if (result != 0) {
        return SBM_FAIL_VAD(result);
    }
    q->outputProcessed = std::strcmp(output, "MMSE_WAV") == 0 ? 1 : 0;

    int duration = 0;
    if (mm->majority) {
        for (const char* name : {"VAD:MaxSDuration", "VAD:MaxNDuration", "VAD:MaxGap"}) {
            result = SetVariableVADInt(h->session, name, 0);
            if (result != 0) {
                return SBM_FAIL_VAD(result);
            }
        }
    } else if ((result = ReadEnvInt(env, "VAD:MaxSDuration", &duration)) != 0) {
        return SBM_FAIL_VAD(result);
    }

    int framePts = 0, shiftPts = 0, channels = 0, initFrames = 0, fb = 0;
    if ((result = ReadEnvInt(env, "FE:FramePts", &framePts)) != 0 ||
        (result = ReadEnvInt(env, "FE:ShiftPts", &shiftPts)) != 0 ||
        (result = ReadEnvInt(env, "FE:NumChan", &channels)) != 0 ||
        (result = ReadEnvInt(env, "PKF:InitFrame", &initFrames)) != 0 ||
        (result = ReadEnvInt(env, "FE:NumFB", &fb)) != 0) {
        return SBM_FAIL_VAD(result);
    }
    if (framePts <= 0 || shiftPts <= 0 || channels <= 0 || initFrames <= 0) {
        return SBM_FAIL(SBM_ERR_RANGE);
    }
    // The queues follow the geometry the detection layer will use at this start.
    const bool geometryChanged = q->frameLength != framePts || q->shift != shiftPts || q->channels != channels;
    q->frameLength = framePts;
    q->shift = shiftPts;
    q->channels = channels;
    q->initFrames = initFrames;
    q->fbChannels = fb;

    // The queues hold the head margin, the longest wait for a vote, gap or tail, and one step,
    // twice over; sizes are worked out in 64 bits and bounded.
    hoi->single = q->continuousSpeech == 0 ? 1 : 0;
    long long longest = LongestGapHO(hoi);
    if (mm->majority) {
        longest = std::max({longest, static_cast<long long>(mm->majorityVotes), static_cast<long long>(mm->pauseVotes)});
    }
    longest = std::max(longest, static_cast<long long>(hoi->tailMargin));
    const long long frames =
        2 * (static_cast<long long>(std::max(duration, 0)) + hoi->headMargin + q->framesPerStep + longest);
    const long long wave = frames * shiftPts * channels;
    if (frames <= 0 || wave > kMaxRingCapacity) {
        return SBM_FAIL(SBM_ERR_RANGE);
    }
    const bool rebuild = geometryChanged || (q->input != nullptr && q->input->capacity != wave) ||
                         (q->decisions != nullptr && q->decisions->capacity != frames);
    result = SyncRBsInfoFromOSTRELParams(q, static_cast<unsigned int>(wave), static_cast<unsigned int>(frames), rebuild);
    if (result != 0) {
        return SBM_FAIL(result);
    }
    if ((result = BeginMM(mm, &q->decisions)) != 0 || (result = BeginHO(hoi, &q->decisions, mm, &q->energy)) != 0) {
        return result;
    }
    q->prepared = 1;
    return 0;
}

// Drops `count` samples from the read side of a queue.
int Skip(RingBufferInfo_t* queue, unsigned int count)
{
    SetSkipReadCopyFlag(queue, 1);
    const int result = ReadRB(queue, nullptr, count);
    SetSkipReadCopyFlag(queue, 0);
    return result;
}

// Rewinds a wave queue so that the last `count` samples before `ahead` unprocessed ones
// are readable; a shortfall is taken off the release count.
void Rewind(RingBufferInfo_t* queue, SampleCount count, SampleCount ahead)
{
    if (count.value <= 0) {
        return;
    }
    if (GetReadableRB(queue) <= 0) {
        queue->release = ClampToInt(queue->release - count.value);
        return;
    }
    const long long wanted = std::min<long long>((count + ahead).value, queue->capacity);
    const int shortfall = SyncBackRB(queue, static_cast<unsigned int>(wanted));
    if (shortfall > 0) {
        queue->release -= shortfall;
        const int readable = GetReadableRB(queue);
        if (readable > 0) {
            SyncBackRB(queue, static_cast<unsigned int>(readable));
        }
    }
}

// One wave queue as its reader sees it, in samples:
//
//   | read | released: readable now | processed, held back | input only: not processed |
//          ^ read position                                ^ processing point
//
// The hang-over stage asks in frames: `hoi->release` more frames become readable, and
// `hoi->rewind` frames are taken back before the read position for the head margin. Each
// is turned into samples once, below. The input queue's rewind reaches OutputLead samples
// further back than the processed queue's, as the processed wave runs that far ahead.
int ReadWave(SBMInfo* h, short* out, unsigned int bytes)
{
    RBsInfo_t* q = h->queues;
    VADHangOverInfo_t* hoi = h->hangover;
    const int first = q->firstStep;

    const SampleCount released = Samples(q, FrameCount{hoi->release}, first);
    q->processed->release = ClampToInt(q->processed->release + released.value);
    q->input->release = ClampToInt(q->input->release + released.value);
    hoi->release = 0;

    SampleCount rewindProcessed{0};
    SampleCount rewindInput{0};
    if (hoi->rewind != 0) {
        rewindProcessed = Samples(q, FrameCount{hoi->rewind}, first);
        rewindInput = rewindProcessed + OutputLead(q);
    }

    if (q->startFromBeginning == 1 && (hoi->startFrame == kHOUnknownFrame || hoi->rewind != 0)) {
        const long long readable[2] = {GetReadableRB(q->processed), ProcessedInput(q)};
        RingBufferInfo_t* queues[2] = {q->processed, q->input};
        const SampleCount rewinds[2] = {rewindProcessed, rewindInput};
        for (int i = 0; i < 2; ++i) {
            queues[i]->release = ClampToInt(
                rewinds[i].value > 0 ? readable[i] - (rewinds[i].value - queues[i]->release) : readable[i]);
        }
        hoi->rewind = 0;
        rewindProcessed = rewindInput = SampleCount{0};
    }

    if (q->processed->release <= 0 && q->input->release < 1) {
        if (hoi->state == PROC_END) {
            ResetSBM(h);
            return -1;
        }
        return 0;
    }

    if (rewindProcessed.value > 0 || rewindInput.value > 0) {
        Rewind(q->processed, rewindProcessed, SampleCount{0});
        // The input queue may hold samples not yet processed beyond the processing point.
        Rewind(q->input, rewindInput, SampleCount{std::max(GetReadableRB(q->inputView), 0)});
        hoi->rewind = 0;
    }

    if (hoi->state == PROC_END) {
        const SampleCount shift = Samples(q, FrameCount{1}, 0);
        if (GetReadableRB(q->processed) < q->processed->release) {
            q->processed->release = ClampToInt(GetReadableRB(q->processed) - shift.value);
        }
        if (ProcessedInput(q) < q->input->release) {
            q->input->release = ClampToInt(ProcessedInput(q) - shift.value);
        }
    }

    const unsigned int room = bytes / 2;
    const unsigned int nP = std::min(room, static_cast<unsigned int>(std::max(q->processed->release, 0)));
    const unsigned int nI = std::min(room, static_cast<unsigned int>(std::max(q->input->release, 0)));
    std::memset(out, 0, std::size_t(room) * 2);
    int result = 0;
    if (q->outputProcessed) {
        result = Skip(q->input, nI);
        if (result == 0) result = ReadRB(q->processed, out, nP);
    } else {
        result = Skip(q->processed, nP);
        if (result == 0) result = ReadRB(q->input, out, nI);
    }
    if (result != 0) {
        SBM_FAIL(result);
        return -2;
    }
    q->processed->release -= static_cast<int>(nP);
    q->input->release -= static_cast<int>(nI);
    return static_cast<int>(2 * (q->outputProcessed ? nP : nI));
}

// Reads up to `count` whole elements of `size` bytes from `queue`; a queue not made yet is empty.
int ReadQueue(RingBufferInfo_t* queue, void* out, unsigned int count, unsigned int size)
{
    if (queue == nullptr) {
        return 0;
    }
    const unsigned int n = std::min(count, static_cast<unsigned int>(std::max(GetReadableRB(queue), 0)));
    const int result = ReadRB(queue, out, n);
    return result != 0 ? result : static_cast<int>(n * size);
}

// Reads whole elements of `size` bytes from a per-frame queue.
int ReadValues(SBMInfo* h, RingBufferInfo_t* RBsInfo_t::*field, void* out, unsigned int count, unsigned int size)
{
    if (h == nullptr || out == nullptr) {
        return SBM_FAIL(SBM_ERR_NULL);
    }
    if (h->queues == nullptr) {
        return SBM_FAIL(SBM_ERR_INTERNAL);
    }
    return ReadQueue(h->queues->*field, out, count, size);
}

// Reads a speech boundary frame of the hang-over stage.
int ReadFrameNumber(SBMInfo* h, unsigned int* frame, unsigned int VADHangOverInfo_t::*field)
{
    if (h == nullptr || frame == nullptr) {
        return SBM_FAIL(SBM_ERR_NULL);
    }
    if (h->hangover == nullptr) {
        return SBM_FAIL(SBM_ERR_INTERNAL);
    }
    *frame = h->hangover->*field;
    return 0;
}

} // namespace

long long Frame2DataSmpls(const RBsInfo_t* q, long long frames, int first)
{
    if (frames <= 0) {
        return 0;
    }
    const long long channels = q->channels;
    if (first == 1) {
        return channels * (static_cast<long long>(q->shift) * (frames - 1) + q->frameLength);
    }
    return channels * q->shift * frames;
}

int SetSBMVariableInt(SBMInfo* h, const char* name, int value)
{
    if (h == nullptr || name == nullptr) {
        return SBM_FAIL(SBM_ERR_NULL);
    }
    if (h->hangover == nullptr || h->majority == nullptr || h->queues == nullptr) {
        return SBM_FAIL(SBM_ERR_INTERNAL);
    }
    VADHangOverInfo_t* hoi = h->hangover;
    MajorityModeInfo_t* mm = h->majority;
    RBsInfo_t* q = h->queues;
    struct Target {
        const char* name;
        int* field;
        bool flag; // 0 or 1; otherwise 0 or more
    };
    const Target targets[] = {
        {"SBM:HeadMargin", &hoi->headMargin, false},
        {"SBM:TailMargin", &hoi->tailMargin, false},
        {"SBM:StartFromBeginning", &q->startFromBeginning, true},
        {"SBM:MaxGap", &hoi->maxGap, false},
        {"SBM:MinSpeech", &hoi->minSpeech, false},
        {"SBM:MaxGap_Short", &hoi->maxGapShort, false},
        {"SBM:MaxGap_Single", &hoi->maxGapSingle, false},
        {"SBM:ShortFall", &hoi->shortFall, false},
        {"SBM:ShortContrast", &hoi->shortContrast, false},
        {"SBM:ShortVoiced", &hoi->shortVoiced, false},
        {"SBM:ShortGapSpeech", &hoi->shortGapSpeech, false},
        {"SBM:MaxGap_Word", &hoi->maxGapWord, false},
        {"SBM:MajorityFrames", &mm->majorityFrames, false},
        {"SBM:MajorityVotes", &mm->majorityVotes, false},
        {"SBM:MajorityFrames_Pause", &mm->pauseFrames, false},
        {"SBM:MajorityVotes_Pause", &mm->pauseVotes, false},
        {"SBM:Majority", &mm->majority, true},
        {"SBM:ContinuousSpeech", &q->continuousSpeech, true},
        {"OH:DistanceDetection", &q->distanceDetection, true},
        {"OH:FilGain", &q->filGain, false},
        {"OH:ThGain", &q->thGain, false},
    };
    for (const Target& target : targets) {
        if (std::strcmp(name, target.name) != 0) {
            continue;
        }
        if (value < 0 || (target.flag && value > 1)) {
            return SBM_FAIL(SBM_ERR_RANGE);
        }
        if (target.field == &hoi->headMargin && q->startFromBeginning == 1) {
            return 0;
        }
        *target.field = value;
        if (target.field == &q->startFromBeginning && value == 1) {
            hoi->headMargin = 0;
        }
        return 0;
    }
    return SBM_FAIL(SBM_ERR_UNDEFINED_ENV);
}

int GetSBMVariavleInt(SBMInfo* h, const char* name, int* value)
{
    if (h == nullptr || name == nullptr || value == nullptr) {
        return SBM_FAIL(SBM_ERR_NULL);
    }
    if (h->hangover == nullptr || h->majority == nullptr || h->queues == nullptr) {
        return SBM_FAIL(SBM_ERR_INTERNAL);
    }
    const VADHangOverInfo_t* hoi = h->hangover;
    const MajorityModeInfo_t* mm = h->majority;
    const RBsInfo_t* q = h->queues;
    const struct {
        const char* name;
        int value;
    } sources[] = {
        {"SBM:HeadMargin", hoi->headMargin},
        {"SBM:TailMargin", hoi->tailMargin},
        {"SBM:StartFromBeginning", q->startFromBeginning},
        {"SBM:MaxGap", hoi->maxGap},
        {"SBM:MinSpeech", hoi->minSpeech},
        {"SBM:MaxGap_Short", hoi->maxGapShort},
        {"SBM:MaxGap_Single", hoi->maxGapSingle},
        {"SBM:ShortFall", hoi->shortFall},
        {"SBM:ShortContrast", hoi->shortContrast},
        {"SBM:ShortVoiced", hoi->shortVoiced},
        {"SBM:ShortGapSpeech", hoi->shortGapSpeech},
        {"SBM:MaxGap_Word", hoi->maxGapWord},
        {"SBM:MajorityFrames", mm->majorityFrames},
        {"SBM:MajorityVotes", mm->majorityVotes},
        {"SBM:MajorityFrames_Pause", mm->pauseFrames},
        {"SBM:MajorityVotes_Pause", mm->pauseVotes},
        {"SBM:Majority", mm->majority},
        {"SBM:ContinuousSpeech", q->continuousSpeech},
        {"OH:DistanceDetection", q->distanceDetection},
        {"OH:FilGain", q->filGain},
        {"OH:ThGain", q->thGain},
    };
    for (const auto& source : sources) {
        if (std::strcmp(name, source.name) == 0) {
            *value = source.value;
            return 0;
        }
    }
    return SBM_FAIL(SBM_ERR_UNDEFINED_ENV);
}

extern "C" {

SBMInfo* BeginSBM(void)
{
    _SetSBMNoError();
    SBMInfo* h = static_cast<SBMInfo*>(std::calloc(1, sizeof(SBMInfo)));
    if (h == nullptr) {
        SBM_FAIL(SBM_ERR_MEMORY);
        return nullptr;
    }
    int result = 0;
    h->session = BeginVAD();
    if (h->session == nullptr) {
        result = SBM_FAIL_VAD(GetVADLastError());
    } else if ((result = SetVADGetVADInfoProc(h->session, SBMGetVADInfoProc, h)) != 0) {
        SBM_FAIL_VAD(result);
    } else if ((result = AllocateMM(&h->majority)) != 0 || (result = AllocHOI(&h->hangover)) != 0) {
        SBM_FAIL(result);
    } else if ((result = AllocateRBsInfo(&h->queues)) != 0) {
        SBM_FAIL(result);
    }
    if (result != 0) {
        FreeParts(h);
        std::free(h);
        return nullptr;
    }
    return h;
}

int EndSBM(SBMInfo* h)
{
    _SetSBMNoError();
    if (h == nullptr) {
        return 0;
    }
    const int result = FreeParts(h);
    if (result != 0) {
        return SBM_FAIL_VAD(result);
    }
    std::free(h);
    return 0;
}

int SetSBMMode(SBMInfo* h, int mode, const char* model, unsigned int size)
{
    if (h == nullptr || model == nullptr) {
        return SBM_FAIL(SBM_ERR_NULL);
    }
    if (h->hangover == nullptr || h->majority == nullptr || h->session == nullptr) {
        return SBM_FAIL(SBM_ERR_INTERNAL);
    }
    if (mode < 0 || mode >= kModes || size == 0) {
        return SBM_FAIL(SBM_ERR_RANGE);
    }
    for (const PresetRow& row : param_array[mode]) {
        if (row.name[0] == '\0') {
            continue;
        }
        int result = 0;
        if (std::strncmp(row.name, "SBM:", 4) == 0 || std::strncmp(row.name, "OH:", 3) == 0) {
            result = SetSBMVariable(h, row.name, std::atoi(row.value));
            if (result != 0) {
                return result;
            }
            continue;
        }
        switch (row.type) {
        case kInt: result = SetVariableVADInt(h->session, row.name, std::atoi(row.value)); break;
        case kReal: result = SetVariableVADReal(h->session, row.name, std::strtod(row.value, nullptr)); break;
        case kStr: result = SetVariableVADStr(h->session, row.name, row.value); break;
        default: result = SetVariableVADPtr(h->session, row.name, model, size); break;
        }
        if (result != 0) {
            return SBM_FAIL_VAD(result);
        }
    }
    return 0;
}

int SetSBMVariable(SBMInfo* h, const char* name, int value)
{
    return SetSBMVariableInt(h, name, value);
}

int GetSBMVariable(SBMInfo* h, const char* name, int* value)
{
    return GetSBMVariavleInt(h, name, value);
}

int DetectSBM(SBMInfo* h, const short* pcm, unsigned int bytes)
{
    _SetSBMNoError();
    if (h == nullptr || pcm == nullptr) {
        return SBM_FAIL(SBM_ERR_NULL);
    }
    if (!Complete(h)) {
        return SBM_FAIL(SBM_ERR_INTERNAL);
    }
    if (bytes % 2 != 0) {
        return SBM_FAIL(SBM_ERR_RANGE);
    }
    RBsInfo_t* q = h->queues;
    VADHangOverInfo_t* hoi = h->hangover;
    int result = 0;
    // Prepared once per stream start: the first step may wait for more input than one call
    // brings, and preparing again would restart the warm-up count.
    if (q->firstStep && !q->prepared && (result = PrepareStruct(h)) != 0) {
        return result;
    }
    // Input beyond half the wave queue could overwrite the head margin still to be read.
    const unsigned int samples = bytes / 2;
    if (samples > q->input->capacity / 2) {
        return SBM_FAIL(SBM_ERR_OVERFLOW);
    }
    if ((result = WriteRB(q->input, pcm, samples)) != 0) {
        return SBM_FAIL(result);
    }
    if (q->inputDiscard > 0) {
        const unsigned int drop = std::min(static_cast<unsigned int>(q->inputDiscard), samples);
        if ((result = Skip(q->input, drop)) != 0) {
            return result;
        }
        q->inputDiscard -= static_cast<int>(drop);
    }
    for (;;) {
        // An ended utterance keeps the rest of the input queued until the reader resets.
        if (hoi->state == PROC_END) {
            return 0;
        }
        const unsigned int need =
            static_cast<unsigned int>(Samples(q, FrameCount{q->framesPerStep}, q->firstStep).value);
        if (IsReadableRB(q->inputView, need) != 1) {
            return 0;
        }
        if ((result = ReadRB(q->inputView, q->stepInput, need)) != 0) {
            return result;
        }
        int state = 0;
        unsigned int start = 0;
        unsigned int end = 0;
        result = DetectVAD(h->session, q->stepInput, q->firstStep ? 1 : 0, static_cast<unsigned int>(q->framesPerStep),
                           &state, &start, &end, q->stepOutput);
        if (result != 0) {
            return SBM_FAIL_VAD(result);
        }
        if ((result = WriteRB(q->vadInput, q->stepInput, need)) != 0 ||
            (result = WriteRB(q->processed, q->stepOutput, need)) != 0) {
            return SBM_FAIL(result);
        }
        if (q->processedDiscard > 0) {
            const unsigned int drop = std::min(static_cast<unsigned int>(q->processedDiscard), need);
            if ((result = Skip(q->processed, drop)) != 0 || (result = Skip(q->processedView, drop)) != 0) {
                return result;
            }
            q->processedDiscard -= static_cast<int>(drop);
        }
        if ((result = RunHO(hoi, h->majority)) != 0) {
            return result;
        }
        q->firstStep = 0;
    }
}

int DetectSBM4IM(SBMInfo* h, const short* pcm, unsigned int bytes)
{
    return DetectSBM(h, pcm, bytes);
}

int ReadSBM(SBMInfo* h, short* out, unsigned int bytes)
{
    _SetSBMNoError();
    if (h == nullptr || out == nullptr) {
        SBM_FAIL(SBM_ERR_NULL);
        return -2;
    }
    if (h->hangover == nullptr || h->queues == nullptr || h->queues->processed == nullptr ||
        h->queues->input == nullptr) {
        SBM_FAIL(SBM_ERR_INTERNAL);
        return -2;
    }
    return ReadWave(h, out, bytes);
}

int ReadRawSBM(SBMInfo* h, short* out, unsigned int bytes)
{
    _SetSBMNoError();
    if (h == nullptr || out == nullptr) {
        SBM_FAIL(SBM_ERR_NULL);
        return -2;
    }
    if (h->queues == nullptr) {
        SBM_FAIL(SBM_ERR_INTERNAL);
        return -2;
    }
    const int read = ReadValues(h, &RBsInfo_t::processedView, out, bytes / 2, 2);
    return read < 0 ? -2 : read;
}

int ReadSBMDetectVADInput(SBMInfo* h, short* out, unsigned int bytes)
{
    return ReadValues(h, &RBsInfo_t::vadInput, out, bytes / 2, 2);
}

int GetSBMProbRatio(SBMInfo* h, double* out, unsigned int bytes)
{
    return ReadValues(h, &RBsInfo_t::probRatio, out, bytes / 8, 8);
}

int GetSBMProbSpeech(SBMInfo* h, double* out, unsigned int bytes)
{
    return ReadValues(h, &RBsInfo_t::probSpeech, out, bytes / 8, 8);
}

int GetSBMProbNonSpeech(SBMInfo* h, double* out, unsigned int bytes)
{
    return ReadValues(h, &RBsInfo_t::probNonSpeech, out, bytes / 8, 8);
}

int GetSBMSpeechDenth(SBMInfo* h, double* out, unsigned int bytes)
{
    if (h == nullptr || out == nullptr) {
        return SBM_FAIL(SBM_ERR_NULL);
    }
    if (h->majority == nullptr) {
        return SBM_FAIL(SBM_ERR_INTERNAL);
    }
    return ReadQueue(h->majority->density, out, bytes / 8, 8);
}

int GetSBMRawVADState(SBMInfo* h, signed char* out, unsigned int count)
{
    return ReadValues(h, &RBsInfo_t::decisions, out, count, 1);
}

int GetSBMVADState(SBMInfo* h, signed char* out, unsigned int count)
{
    if (h == nullptr || out == nullptr) {
        return SBM_FAIL(SBM_ERR_NULL);
    }
    if (h->hangover == nullptr) {
        return SBM_FAIL(SBM_ERR_INTERNAL);
    }
    return ReadQueue(h->hangover->stateQueue, out, count, 1);
}

int GetSBMSpeechStartFrameNum(SBMInfo* h, unsigned int* frame)
{
    return ReadFrameNumber(h, frame, &VADHangOverInfo_t::startFrame);
}

int GetSBMSpeechEndFrameNum(SBMInfo* h, unsigned int* frame)
{
    return ReadFrameNumber(h, frame, &VADHangOverInfo_t::endFrame);
}

int StopSBM(SBMInfo* h)
{
    _SetSBMNoError();
    if (h == nullptr) {
        return SBM_FAIL(SBM_ERR_NULL);
    }
    if (h->hangover == nullptr) {
        return SBM_FAIL(SBM_ERR_INTERNAL);
    }
    return StopHO(h->hangover);
}

int ResetSBM(SBMInfo* h)
{
    if (h == nullptr) {
        return SBM_FAIL(SBM_ERR_NULL);
    }
    if (h->hangover == nullptr || h->majority == nullptr || h->queues == nullptr) {
        return SBM_FAIL(SBM_ERR_INTERNAL);
    }
    RBsInfo_t* q = h->queues;
    ResetHOI(h->hangover);
    if (q->continuousSpeech != 0) {
        return 0;
    }
    h->hangover->pushBack = 0;
    q->firstStep = 1;
    q->prepared = 0;
    q->inputDiscard = q->warmUp;
    q->processedDiscard = ClampToInt(SampleCount{q->warmUp} + OutputLead(q));
    // Detection restarts: no decision and no wave from before the reset is read again. Input
    // not yet processed stays queued for the new stream.
    if (q->decisions != nullptr) {
        ClearRB(q->decisions);
        ClearRB(q->decisionView);
    }
    if (q->processed != nullptr) {
        ClearRB(q->processed);
        ClearRB(q->processedView);
    }
    if (q->input != nullptr) {
        const int unprocessed = std::max(GetReadableRB(q->inputView), 0);
        if (GetReadableRB(q->input) > 0) {
            SyncBackRB(q->input, static_cast<unsigned int>(unprocessed));
        }
        q->input->release = 0;
    }
    return 0;
}

int SBMGetVADInfoProc(_tagVADInfo* session, void* user)
{
    SBMInfo* h = static_cast<SBMInfo*>(user);
    if (session == nullptr || h == nullptr) {
        return SBM_FAIL(SBM_ERR_NULL);
    }
    RBsInfo_t* q = h->queues;
    if (q == nullptr || q->decisions == nullptr || session->data == nullptr || session->data->frames.tail == nullptr) {
        return SBM_FAIL(SBM_ERR_INTERNAL);
    }
    const FrameNode* node = session->data->frames.tail;
    int result = WriteRB(q->probRatio, &node->result.median, 1);
    if (result == 0) result = WriteRB(q->probSpeech, &node->result.speech, 1);
    if (result == 0) result = WriteRB(q->probNonSpeech, &node->result.nonSpeech, 1);
    if (result != 0) {
        return SBM_FAIL(result);
    }
    signed char decision = static_cast<signed char>(node->result.decision);
    const unsigned int bands = session->data->NumFB;
    const double* x = node->chan[0].fbank;
    double m = 0.0;
    for (unsigned int i = 0; i < bands; ++i) {
        m += fmath::expd(x[i]);
    }
    m = bands > 0 ? m / bands : 0.0;
    const double energy = m > 0.0 ? fmath::logd(m) : -1000.0;
    // A speech frame whose energy lies far more in the low bands than in the high ones,
    // and is quiet overall, is taken for distant noise. Bands 15..17 need 18 bands.
    if (q->distanceDetection == 1 && decision > 0 && bands >= 18 && m > 0.0 && energy <= q->filGain) {
        const double low = (fmath::expd(x[3]) + fmath::expd(x[4])) / (2.0 * m);
        const double high = (fmath::expd(x[15]) + fmath::expd(x[16]) + fmath::expd(x[17])) / (3.0 * m);
        if (low > 0.0 && high > 0.0 && fmath::logd(low) - fmath::logd(high) >= q->thGain) {
            decision = 0;
        }
    }
    // Voicing is measured only where the short-stretch rule looks at it.
    double figures[kFrameFigures] = {energy, 0.0};
    const VADHangOverInfo_t* hoi = h->hangover;
    if (decision > 0 && hoi != nullptr && hoi->shortVoiced > 0 && q->continuousSpeech == 0) {
        if ((h->voicing == nullptr || h->voicing->size != session->data->NumFFT) &&
            (result = AllocVoicing(&h->voicing, session->data)) != 0) {
            return SBM_FAIL(result);
        }
        figures[1] = FrameVoicing(h->voicing, session->data, node->chan[0]);
    }
    if ((result = WriteRB(q->energy, figures, kFrameFigures)) != 0 ||
        (result = WriteRB(q->decisions, &decision, 1)) != 0) {
        return SBM_FAIL(result);
    }
    return 0;
}

} // extern "C"
