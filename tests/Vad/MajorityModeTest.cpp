#include <gtest/gtest.h>

#include <string>

#include "Orvane/Vad/SpeechBoundaryManager.h"
#include "Vad/majority_mode.h"
#include "Vad/ring_buffer.h"
#include "Vad/sbm_error_code.h"

namespace {

// A majority record over a decision queue of its own, fed one decision at a time.
class Votes {
public:
    Votes(int frames, int votes, int pauseFrames, int pauseVotes)
    {
        AllocateRB(&decisions_, 256, RB_BYTE);
        AllocateMM(&mm_);
        mm_->majority = 1;
        mm_->majorityFrames = frames;
        mm_->majorityVotes = votes;
        mm_->pauseFrames = pauseFrames;
        mm_->pauseVotes = pauseVotes;
    }
    ~Votes()
    {
        EndMM(mm_);
        FreeRB(&decisions_);
    }
    int Begin() { return BeginMM(mm_, &decisions_); }
    // The ratio after one more decision.
    double Next(signed char decision)
    {
        WriteRB(decisions_, &decision, 1);
        EXPECT_EQ(0, CalcSpeechDenthMM(mm_));
        EXPECT_EQ(0, RunMM(mm_));
        return mm_->ratio;
    }
    // 1-based number of the decision in `pattern` ('#' speech, '.' non-speech, '-' for -1)
    // on which the ratio first reaches 1.0; 0 if it never does.
    int FirstWin(const std::string& pattern)
    {
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            const signed char d = pattern[i] == '#' ? 1 : pattern[i] == '-' ? -1 : 0;
            if (Next(d) >= 1.0) {
                return static_cast<int>(i + 1);
            }
        }
        return 0;
    }
    MajorityModeInfo_t* mm() { return mm_; }

private:
    RingBufferInfo_t* decisions_ = nullptr;
    MajorityModeInfo_t* mm_ = nullptr;
};

std::string Repeat(const std::string& part, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += part;
    }
    return out;
}

TEST(MajorityMode, RatioReachesOneOnTheWinningVote)
{
    struct Case {
        const char* name;
        bool pauseWindow;
        std::string pattern;
        int expected;
    };
    const Case cases[] = {
        {"30th speech frame of 50", false, std::string(60, '#'), 30},
        {"after non-speech", false, std::string(20, '.') + std::string(40, '#'), 50},
        {"alternating never wins", false, Repeat("#.", 60), 0},
        {"30th of the last 50", false, Repeat("##.", 30), 44},
        {"-1 is non-speech", false, std::string(29, '#') + "-" + "#", 31},
        {"pause window: 20th of 50", true, std::string(30, '#'), 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Votes votes(50, 30, 50, 20);
        ASSERT_EQ(0, votes.Begin());
        if (c.pauseWindow) {
            ASSERT_EQ(0, SetNextMMInfo(votes.mm()));
        }
        EXPECT_EQ(c.expected, votes.FirstWin(c.pattern));
    }
}

TEST(MajorityMode, PauseWindowCountsOnlyFramesFromTheSwitch)
{
    Votes votes(5, 3, 5, 2);
    ASSERT_EQ(0, votes.Begin());
    for (int i = 0; i < 5; ++i) {
        votes.Next(1);
    }
    // The pause window has followed every frame, but its earlier densities are dropped.
    ASSERT_EQ(0, SetNextMMInfo(votes.mm()));
    EXPECT_DOUBLE_EQ(4.0 / 5 / (2.0 / 5), votes.Next(0));
    // A reset makes the speech window current again, empty.
    ASSERT_EQ(0, ResetMMInfo(votes.mm(), 0));
    EXPECT_DOUBLE_EQ(1.0 / 5 / (3.0 / 5), votes.Next(1));
}

TEST(MajorityMode, RefusesVotesItCannotCount)
{
    struct Case {
        const char* name;
        int frames, votes, pauseFrames, pauseVotes;
        int expected;
    };
    const Case cases[] = {
        {"presets", 50, 30, 50, 20, 0},
        {"no frames", 0, 0, 50, 20, -4},
        {"no pause frames", 50, 30, 0, 0, -4},
        {"no votes", 50, 0, 50, 20, -4},
        {"no pause votes", 50, 30, 50, 0, -4},
        {"more votes than frames", 50, 51, 50, 20, -4},
        {"more pause votes than frames", 50, 30, 10, 11, -4},
        {"every frame", 1, 1, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Votes votes(c.frames, c.votes, c.pauseFrames, c.pauseVotes);
        _SetSBMNoError();
        EXPECT_EQ(c.expected, votes.Begin());
        EXPECT_EQ(c.expected, GetSBMLastError());
    }
    _SetSBMNoError();
}

} // namespace
