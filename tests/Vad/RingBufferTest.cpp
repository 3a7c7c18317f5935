#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <random>
#include <vector>

#include "Orvane/Vad/SpeechBoundaryManager.h"
#include "Vad/ring_buffer.h"
#include "Vad/sbm_error_code.h"

namespace {

struct QueueDeleter {
    void operator()(RingBufferInfo_t* q) const { FreeRB(&q); }
};

// The reference: a std::deque of the last `capacity` elements written, oldest first (zeros
// before the first writes), and how many of the newest are readable by the queue and by
// one view.
template <typename T>
struct Reference {
    explicit Reference(unsigned capacity) : capacity(capacity), history(capacity, T()) {}
    unsigned capacity;
    std::deque<T> history;
    std::size_t readable = 0;
    std::size_t viewBehind = 0; // elements written since the view's read position

    // A view that fell whole laps behind sees only what lies past the last lap.
    std::size_t viewReadable()
    {
        viewBehind %= capacity;
        return viewBehind;
    }
    std::vector<T> Newest(std::size_t count, std::size_t n) const
    {
        return std::vector<T>(history.end() - static_cast<std::ptrdiff_t>(count),
                              history.end() - static_cast<std::ptrdiff_t>(count - n));
    }
    void Write(const std::vector<T>& values)
    {
        const bool fits = capacity - readable != 0 && capacity - readable >= values.size();
        for (const T& v : values) {
            history.push_back(v);
            history.pop_front();
        }
        readable = fits ? readable + values.size() : capacity;
        viewBehind += values.size();
    }
};

template <typename T>
void RandomOperations(int type, std::uint32_t seed)
{
    std::mt19937 random(seed);
    for (int round = 0; round < 40; ++round) {
        const unsigned capacity = 1 + random() % 17;
        SCOPED_TRACE(testing::Message() << "capacity " << capacity << " round " << round);
        RingBufferInfo_t* raw = nullptr;
        ASSERT_EQ(0, AllocateRB(&raw, capacity, type));
        std::unique_ptr<RingBufferInfo_t, QueueDeleter> queue(raw);
        RingBufferInfo_t* rawView = nullptr;
        ASSERT_EQ(0, CopyRB(&rawView, &raw));
        std::unique_ptr<RingBufferInfo_t, QueueDeleter> view(rawView);
        Reference<T> ref(capacity);
        T next = T(1);
        for (int op = 0; op < 300; ++op) {
            const unsigned n = random() % (capacity + 1);
            switch (random() % 8) {
            case 0:
            case 1: {
                std::vector<T> values(n);
                values.reserve(1);
                for (T& v : values) {
                    v = next;
                    next = static_cast<T>(next + 1);
                }
                ASSERT_EQ(0, WriteRB(raw, values.data(), n));
                ref.Write(values);
                break;
            }
            case 2: {
                std::vector<T> out(n);
                out.reserve(1);
                const int result = ReadRB(raw, out.data(), n);
                if (n > ref.readable) {
                    ASSERT_EQ(n == 0 ? 0 : -4, result);
                    break;
                }
                ASSERT_EQ(0, result);
                ASSERT_EQ(ref.Newest(ref.readable, n), out);
                ref.readable -= n;
                break;
            }
            case 3: {
                std::vector<T> out(n);
                out.reserve(1);
                const int result = ReadRB(rawView, out.data(), n);
                const std::size_t readable = ref.viewReadable();
                if (n > readable) {
                    ASSERT_EQ(n == 0 ? 0 : -4, result);
                    break;
                }
                ASSERT_EQ(0, result);
                ASSERT_EQ(ref.Newest(readable, n), out);
                ref.viewBehind -= n;
                break;
            }
            case 4: {
                const int back = static_cast<int>(n);
                const int result = RSeekRB(raw, -back);
                if (capacity - ref.readable < n) {
                    ASSERT_EQ(back == 0 ? 0 : -4, result);
                } else {
                    ASSERT_EQ(0, result);
                    ref.readable += n;
                }
                break;
            }
            case 5: {
                const int result = RSeekRB(raw, static_cast<int>(n));
                if (n > ref.readable) {
                    ASSERT_EQ(-4, result);
                } else {
                    ASSERT_EQ(0, result);
                    ref.readable -= n;
                }
                break;
            }
            case 6: {
                const int result = SyncBackRB(raw, n);
                if (ref.readable == 0) {
                    ASSERT_EQ(-4, result);
                } else if (ref.readable < n) {
                    ASSERT_EQ(static_cast<int>(n - ref.readable), result);
                } else {
                    ASSERT_EQ(0, result);
                    ref.readable = n;
                }
                break;
            }
            default: {
                ASSERT_EQ(0, SetSkipReadCopyFlag(raw, 1));
                const int result = ReadRB(raw, nullptr, n);
                ASSERT_EQ(0, SetSkipReadCopyFlag(raw, 0));
                if (n <= ref.readable) {
                    ASSERT_EQ(0, result);
                    ref.readable -= n;
                } else {
                    ASSERT_EQ(n == 0 ? 0 : -4, result);
                }
                break;
            }
            }
            ASSERT_EQ(static_cast<int>(ref.readable), GetReadableRB(raw));
            ASSERT_EQ(static_cast<int>(ref.viewReadable()), GetReadableRB(rawView));
        }
    }
}

TEST(RingBuffer, MatchesAStreamReferenceForEveryWidth)
{
    RandomOperations<signed char>(RB_BYTE, 1);
    RandomOperations<short>(RB_SHORT, 2);
    RandomOperations<int>(RB_INT, 3);
    RandomOperations<double>(RB_DOUBLE, 4);
}

TEST(RingBuffer, RefusesWhatItCannotHold)
{
    RingBufferInfo_t* q = nullptr;
    ASSERT_EQ(0, AllocateRB(&q, 8, RB_SHORT));
    const short values[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(0, WriteRB(q, values, 3));
    // A write larger than the queue is refused and leaves it as it was.
    EXPECT_EQ(-4, WriteRB(q, values, 9));
    EXPECT_EQ(3, GetReadableRB(q));
    short out[3] = {};
    EXPECT_EQ(0, ReadRB(q, out, 3));
    EXPECT_EQ(3, out[2]);

    // Read failures are recorded with the manager's texts; others only return their code.
    _SetSBMNoError();
    EXPECT_EQ(-4, ReadRB(q, out, 1));
    EXPECT_EQ(-4, GetSBMLastError());
    EXPECT_EQ(-3, ReadRB(q, nullptr, 1));
    EXPECT_EQ(-3, GetSBMLastError());
    _SetSBMNoError();
    EXPECT_EQ(-3, WriteRB(q, nullptr, 1));
    EXPECT_EQ(0, GetSBMLastError());
    EXPECT_EQ(-4, SetSkipReadCopyFlag(q, 2));

    RingBufferInfo_t* empty = nullptr;
    EXPECT_EQ(-4, AllocateRB(&empty, 0, RB_BYTE));
    EXPECT_EQ(nullptr, empty);
    EXPECT_EQ(-4, AllocateRB(&empty, kMaxRingCapacity + 1, RB_BYTE));

    // A view reads its parent's current storage and loses it with the parent.
    RingBufferInfo_t* view = nullptr;
    ASSERT_EQ(0, CopyRB(&view, &q));
    EXPECT_EQ(-3, WriteRB(view, values, 1));
    FreeRB(&q);
    EXPECT_EQ(-3, GetReadableRB(view));
    EXPECT_EQ(-3, ReadRB(view, out, 1));
    EXPECT_EQ(0, ClearRB(view));
    FreeRB(&view);
    _SetSBMNoError();
}

} // namespace
