#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Orvane/Vad/SpeechBoundaryManager.h"
#include "Vad/hangover.h"
#include "Vad/majority_mode.h"
#include "Vad/ring_buffer.h"
#include "Vad/sbm_error_code.h"

namespace {

struct Settings {
    bool majority;
    int frames, votes, pauseFrames, pauseVotes;
    int head, tail, maxGap;
    bool single = false; // one utterance
    int minSpeech = 0, maxGapShort = 0;
    int maxGapSingle = 0;
    int shortFall = 0, shortContrast = 0;
    int shortVoiced = 0;
    int shortGapSpeech = 0, maxGapWord = 0;
};

// What the manager's reader sees when it takes the hangover's requests after every step.
struct Trace {
    std::string states;                // one letter per step, before the reader's reset
    std::vector<int> released;         // frames released per utterance
    std::vector<int> rewinds;          // rewind requests as the reader finds them
    std::vector<int> coveredUpTo;      // per utterance: first frame after what the reader got
    std::vector<int> endSteps;         // per utterance: the step that ended it
    std::vector<std::pair<unsigned, unsigned>> utterances; // start and end frame
    unsigned frame = 0;                // the hangover's frame counter at the end
};

char Letter(int state)
{
    //                     -    PS   PE   SD   SDS  SDG  SDGS SO   PM   POST GAP
    static const char k[] = {'?', 'S', 'E', 'D', 'd', 'G', 'g', 'O', 'P', 'T', 'A'};
    return state >= 0 && state < kHOStates ? k[state] : '?';
}

// Feeds decisions one per step, as the manager does, with a log energy and a voicing per
// frame: '#' voiced speech as loud as the last speech frame, 'v' voiced speech quieter than
// it (a note dying away), 'k' unvoiced speech as loud (a key press), 'q' unvoiced speech 30 dB
// down, '.' non-speech 30 dB down, ',' non-speech 2 dB down.
Trace Feed(const Settings& s, const std::string& decisions)
{
    RingBufferInfo_t* queue = nullptr;
    RingBufferInfo_t* energies = nullptr;
    MajorityModeInfo_t* mm = nullptr;
    VADHangOverInfo_t* hoi = nullptr;
    EXPECT_EQ(0, AllocateRB(&queue, 256, RB_BYTE));
    EXPECT_EQ(0, AllocateRB(&energies, 256 * kFrameFigures, RB_DOUBLE));
    EXPECT_EQ(0, AllocateMM(&mm));
    EXPECT_EQ(0, AllocHOI(&hoi));
    mm->majority = s.majority ? 1 : 0;
    mm->majorityFrames = s.frames;
    mm->majorityVotes = s.votes;
    mm->pauseFrames = s.pauseFrames;
    mm->pauseVotes = s.pauseVotes;
    hoi->headMargin = s.head;
    hoi->tailMargin = s.tail;
    hoi->maxGap = s.maxGap;
    hoi->single = s.single ? 1 : 0;
    hoi->minSpeech = s.minSpeech;
    hoi->maxGapShort = s.maxGapShort;
    hoi->maxGapSingle = s.maxGapSingle;
    hoi->shortFall = s.shortFall;
    hoi->shortContrast = s.shortContrast;
    hoi->shortVoiced = s.shortVoiced;
    hoi->shortGapSpeech = s.shortGapSpeech;
    hoi->maxGapWord = s.maxGapWord;
    EXPECT_EQ(0, BeginMM(mm, &queue));
    EXPECT_EQ(0, BeginHO(hoi, &queue, mm, &energies));
    Trace trace;
    int released = 0;
    int readFrom = 0;
    double speechEnergy = 20.0;
    for (int step = 0; step < static_cast<int>(decisions.size()); ++step) {
        const char c = decisions[static_cast<std::size_t>(step)];
        const signed char d = c == '#' || c == 'v' || c == 'k' || c == 'q' ? 1 : 0;
        speechEnergy -= c == 'v' ? 0.1 : 0.0;
        const double figures[kFrameFigures] = {d && c != 'q' ? speechEnergy : speechEnergy - (c == ',' ? 0.46 : 6.9),
                                               c == '#' || c == 'v' ? 0.9 : 0.1};
        WriteRB(queue, &d, 1);
        WriteRB(energies, figures, kFrameFigures);
        EXPECT_EQ(0, RunHO(hoi, mm));
        trace.states += Letter(hoi->state);
        released += hoi->release;
        hoi->release = 0;
        if (hoi->rewind != 0) {
            trace.rewinds.push_back(hoi->rewind);
            // The reader goes back `rewind` frames from the end of this step's frames.
            readFrom = step + 1 - hoi->rewind;
            hoi->rewind = 0;
        }
        if (hoi->state == PROC_END) {
            trace.coveredUpTo.push_back(readFrom + released);
            trace.endSteps.push_back(step);
            trace.released.push_back(released);
            trace.utterances.emplace_back(hoi->startFrame, hoi->endFrame);
            released = 0;
            ResetHOI(hoi);
        }
    }
    if (released != 0) {
        trace.released.push_back(released);
    }
    trace.frame = hoi->frame;
    FreeHOI(&hoi);
    EndMM(mm);
    FreeRB(&energies);
    FreeRB(&queue);
    return trace;
}

// Worked out by hand from the state machine. Letters: S PROC_START, E PROC_END,
// D SPEECH_DISTINCT, d SPEECH_DISTINCT_SPEECH, G SPEECH_DISTINCT_GAP,
// g SPEECH_DISTINCT_GAP_SPEECH, O SPEECH_ONLY, A GAP.
TEST(Hangover, DecisionTable)
{
    const Settings plain{false, 5, 3, 5, 2, 2, 2, 3};
    const Settings voted{true, 5, 3, 5, 2, 2, 2, 3};
    const Settings pauses{true, 3, 2, 5, 3, 1, 1, 8};
    struct Case {
        const char* name;
        Settings settings;
        std::string decisions;
        std::string states;
        std::vector<int> released;
        std::vector<int> rewinds;
        std::vector<std::pair<unsigned, unsigned>> utterances;
        unsigned frame;
    };
    const Case cases[] = {
        // The first speech frame confirms at once: head 2 + 1 released, rewind 2 + 1 (+1 for
        // the step); the start (3 - 2 - 1) is 0. The 4th gap frame ends it with 2 tail frames;
        // the 2 frames after the tail are read again after the reset.
        {"no majority", plain, "...###.....", "SSSOOOAAAES", {7}, {4}, {{0, 8}}, 11},
        // Two gap frames and the resuming speech frame make a gap of 3, the maximum: the gap
        // is released and the utterance goes on.
        {"gap at the maximum", plain, "..##..##.....", "SSOOAAOOAAAES", {10}, {4}, {{0, 10}}, 13},
        // Three gap frames and the resuming frame make 4: the utterance ends on that frame.
        // The frames after its tail are examined again and start the next utterance, which
        // is confirmed within the same step as the re-read (rewind 4 + 1), and starts no
        // earlier than the first one ended.
        {"gap past the maximum", plain, "..##...##.....", "SSOOAAAEOAAAES", {6, 6}, {4, 5}, {{0, 6}, {6, 11}}, 14},
        // Speech is confirmed when 3 of the last 5 frames are speech: head 2 + votes 3
        // released, and 1 more for the speech frame itself; the pause window (2 of 5) then
        // turns the gap into GAP.
        {"majority", voted, "..#.##....", "SSdDdOGAAE", {9}, {7}, {{0, 8}}, 8},
        // Speech in a gap that the pause window has not yet voted for (g), then voted for while
        // speech goes on: that speech resumes the utterance and is released. Handled as a
        // plain GAP frame, the frames 6..10 would never be released (6 frames in all) and the
        // end would be placed at frame 7, before them.
        {"speech while the gap is voted", pauses, "##....#####.........", "dOGGGGggOOOGAAAAAAAE", {15}, {5},
         {{0, 12}}, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Trace trace = Feed(c.settings, c.decisions);
        EXPECT_EQ(c.states, trace.states);
        EXPECT_EQ(c.released, trace.released);
        EXPECT_EQ(c.rewinds, trace.rewinds);
        EXPECT_EQ(c.utterances, trace.utterances);
        EXPECT_EQ(c.frame, trace.frame);
        // Whatever else happens, the reader gets every speech frame of the first utterance
        // (the step that ends it may be speech that starts the next).
        ASSERT_FALSE(trace.endSteps.empty());
        const std::size_t lastSpeech = c.decisions.find_last_of('#', static_cast<std::size_t>(trace.endSteps[0] - 1));
        EXPECT_GT(trace.coveredUpTo[0], static_cast<int>(lastSpeech));
    }
}

// One utterance only, with a minimum stretch of speech: a stretch shorter than it bridges a
// longer gap, past the maximum gap only voted speech resumes it, and a long stretch ends at
// the maximum gap as before.
TEST(Hangover, ShortStretchInOneUtterance)
{
    Settings single{true, 5, 3, 5, 2, 2, 2, 3};
    single.single = true;
    single.minSpeech = 6;
    single.maxGapShort = 8;
    Settings continuous = single;
    continuous.single = false;
    // One utterance with a maximum gap of its own (5), which continuous detection ignores.
    Settings singleGap = single;
    singleGap.maxGapSingle = 5;
    Settings continuousGap = singleGap;
    continuousGap.single = false;
    struct Case {
        const char* name;
        Settings settings;
        std::string decisions;
        std::string states;
        std::vector<std::pair<unsigned, unsigned>> utterances;
    };
    const Case cases[] = {
        // The burst is confirmed (3 of 5) and its gap passes the maximum (3); the first
        // speech frame after it is not voted (1 of 5 in the pause window), the second is
        // (2 of 5): the gap of 8 is released and the speech goes on in the same utterance,
        // which ends at the maximum gap once the new stretch holds 6 speech frames.
        {"burst, then speech within the short gap", single, "###......#######......", "ddOGAAAAAAOOOOOOGAAESS",
         {{0, 18}}},
        // A burst alone still ends, after the short stretch's gap (9 > 8) with its tail.
        {"burst alone", single, "###..............", "ddOGAAAAAAAESSSSS", {{0, 5}}},
        // Past the maximum gap one stray speech frame does not resume it.
        {"burst, then a stray frame", single, "###.....#........", "ddOGAAAAAAAEDDDDD", {{0, 5}}},
        // A stretch of 6 speech frames or more ends at the maximum gap.
        {"long stretch", single, "##########......###...", "ddOOOOOOOOGAAESSddOGAA", {{0, 12}}},
        // Several utterances: every stretch ends at the maximum gap.
        {"continuous", continuous, "###......#######......", "ddOGAAESSddOOOOOGAAESS", {{0, 5}, {5, 18}}},
        // A pause of 4 frames in a long stretch: one utterance bridges it with its own gap.
        {"pause within the one utterance's gap", singleGap, "##########....######.......",
         "ddOOOOOOOOGAAAOOOOOOGAAAAES", {{0, 22}}},
        {"the same pause, continuous", continuousGap, "##########....######.......",
         "ddOOOOOOOOGAAEddOOOOGAAESSS", {{0, 12}, {12, 22}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Trace trace = Feed(c.settings, c.decisions);
        EXPECT_EQ(c.states, trace.states);
        EXPECT_EQ(c.utterances, trace.utterances);
        // The reader gets the first utterance up to its end, gaps included.
        ASSERT_FALSE(trace.utterances.empty());
        EXPECT_EQ(static_cast<int>(trace.utterances[0].second), trace.coveredUpTo[0]);
    }
}

// The short stretch's own long gap is kept for bursts: a stretch whose energy keeps falling
// (a plucked note), or one hardly above its gap (speech the noise may hide). Any other short
// stretch is a word said alone and ends at the maximum gap like a long stretch.
TEST(Hangover, ShortWordEndsAtTheMaximumGap)
{
    Settings rule{true, 5, 3, 5, 2, 2, 2, 3};
    rule.single = true;
    rule.minSpeech = 6;
    rule.maxGapShort = 8;
    rule.shortFall = 70;
    rule.shortContrast = 5;
    // The same without the rule: every short stretch keeps the long gap.
    Settings before = rule;
    before.shortFall = 0;
    struct Case {
        const char* name;
        std::string decisions;
        std::string states; // with the rule
        std::vector<std::pair<unsigned, unsigned>> utterances;
        bool asBefore;      // the rule changes nothing
    };
    const Case cases[] = {
        // Ends on the 4th gap frame with its tail of 2, as "long stretch" does.
        {"word alone", "###..........", "ddOGAAESSSSSS", {{0, 5}}, false},
        // A note dying away is a burst: its gap is the short stretch's 8, and the speech
        // after it leads into the utterance; speech in the gap is not counted as the
        // stretch's, so its rising energy does not make the note a word.
        {"note, then speech", "vvv......#######......", "ddOGAAAAAAOOOOOOGAAESS", {{0, 18}}, true},
        {"note alone", "vvv..............", "ddOGAAAAAAAESSSSS", {{0, 5}}, true},
        // A word 2 dB above its gap may be followed by more speech the noise hides.
        {"word hardly above its gap", "###,,,,,,,,,,", "ddOGAAAAAAAES", {{0, 5}}, true},
        // The same when the noise stops dead after the maximum gap: the gap is judged over its
        // first frames, as loud as the noise, not over the quiet that follows.
        {"word hardly above its gap, then quiet", "###,,,..........", "ddOGAAAAAAAESSSS", {{0, 5}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Trace trace = Feed(rule, c.decisions);
        EXPECT_EQ(c.states, trace.states);
        EXPECT_EQ(c.utterances, trace.utterances);
        EXPECT_EQ(c.asBefore, Feed(before, c.decisions).states == trace.states);
    }
    // Key presses keep the short gap once a word needs a voiced nucleus (here 2 frames in a
    // row), and the speech after them leads into the utterance; a word still ends at the
    // maximum gap. Without the voicing test the presses pass for a word and take the one
    // utterance.
    Settings voiced = rule;
    voiced.shortVoiced = 2;
    const struct {
        const char* decisions;
        std::string states;
        std::string withoutVoicing;
    } voicing[] = {
        {"kkk......#######......", "ddOGAAAAAAOOOOOOGAAESS", "ddOGAAESSddOOOOOGAAESS"},
        // Voiced frames that are not in a row make no nucleus.
        {"#k#k...............", "ddOOGAAAAAAAESSSSSS", "ddOOGAAESSSSSSSSSSS"},
        {"###..........", "ddOGAAESSSSSS", "ddOGAAESSSSSS"},
    };
    for (const auto& c : voicing) {
        SCOPED_TRACE(c.decisions);
        EXPECT_EQ(c.states, Feed(voiced, c.decisions).states);
        EXPECT_EQ(c.withoutVoicing, Feed(rule, c.decisions).states);
    }
    // A speech frame in the word's gap, too few for the pause vote (4 of 5 here), tells of more
    // speech the noise hides: with "SBM:ShortGapSpeech" 1 the stretch keeps the short gap as a
    // burst does; a word with a quiet gap still ends at the maximum gap.
    Settings word = rule;
    word.pauseVotes = 4;
    Settings burst = word;
    burst.shortFall = 0;
    Settings gapSpeech = word;
    gapSpeech.shortGapSpeech = 1;
    const std::string heard = "###..q.............";
    EXPECT_EQ("ddOGGgGGGGGEDDDDDDD", Feed(gapSpeech, heard).states);
    EXPECT_EQ(Feed(burst, heard).states, Feed(gapSpeech, heard).states);
    EXPECT_EQ("ddOGGgEDDDDDDDDDDDD", Feed(word, heard).states);
    EXPECT_EQ(Feed(word, "###..........").states, Feed(gapSpeech, "###..........").states);
    // A word said alone with a gap of its own (5 frames) ends two frames after the maximum gap.
    Settings wordGap = rule;
    wordGap.maxGapWord = 5;
    const Trace alone = Feed(rule, "###..........");
    const Trace longer = Feed(wordGap, "###..........");
    ASSERT_EQ(1u, alone.endSteps.size());
    ASSERT_EQ(1u, longer.endSteps.size());
    EXPECT_EQ(alone.endSteps[0] + 2, longer.endSteps[0]);
    // Without the contrast test the quiet word ends at the maximum gap too.
    Settings noContrast = rule;
    noContrast.shortContrast = 0;
    EXPECT_EQ("ddOGAAESSSSSS", Feed(noContrast, "###,,,,,,,,,,").states);
}

// The state queue holds the windows and the longest gap any stretch bridges, as the
// manager's queues do: with one utterance the short stretch's gap.
TEST(Hangover, StateQueueHoldsTheLongestGap)
{
    RingBufferInfo_t* queue = nullptr;
    MajorityModeInfo_t* mm = nullptr;
    VADHangOverInfo_t* hoi = nullptr;
    ASSERT_EQ(0, AllocateRB(&queue, 256, RB_BYTE));
    ASSERT_EQ(0, AllocateMM(&mm));
    ASSERT_EQ(0, AllocHOI(&hoi));
    mm->majorityFrames = 50;
    mm->pauseFrames = 40;
    hoi->headMargin = 90;
    hoi->maxGap = 35;
    hoi->single = 1;
    hoi->minSpeech = 70;
    hoi->maxGapShort = 400;
    EXPECT_EQ(0, BeginHO(hoi, &queue, mm));
    ASSERT_NE(nullptr, hoi->stateQueue);
    EXPECT_EQ(2u * (50 + 400), hoi->stateQueue->capacity);
    FreeHOI(&hoi);
    EndMM(mm);
    FreeRB(&queue);
}

TEST(Hangover, StopAndRefusedChanges)
{
    VADHangOverInfo_t* hoi = nullptr;
    ASSERT_EQ(0, AllocHOI(&hoi));
    // Before speech is confirmed a stop asks for an end the matrix does not allow.
    _SetSBMNoError();
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, StopHO(hoi));
    EXPECT_EQ("Invalid change PROC_START to PROC_END\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(PROC_START, hoi->state);
    EXPECT_EQ(-8, GetSBMLastError());
    testing::internal::CaptureStdout();
    EXPECT_EQ(-7, ChangeState(hoi, GAP));
    testing::internal::GetCapturedStdout();

    // Inside speech the stop goes to the tail at once and ends on the next frame.
    hoi->state = SPEECH_ONLY;
    hoi->gap = 0;
    EXPECT_EQ(0, StopHO(hoi));
    EXPECT_EQ(POST_MARGIN, hoi->state);
    EXPECT_EQ(1, hoi->stop);
    EXPECT_EQ(-3, StopHO(nullptr));
    EXPECT_EQ(-3, IsEndHO(nullptr));
    FreeHOI(&hoi);
    EXPECT_EQ(nullptr, hoi);
    _SetSBMNoError();
}

} // namespace
