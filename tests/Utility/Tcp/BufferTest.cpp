#include "Utility/Tcp/Buffer.h"

#include <cstdint>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Utility/Exception.h"
#include "Utility/Tcp/SendData.h"

namespace {

using Orvane::Utility::Exception;
using Orvane::Utility::Tcp::Buffer;
using Orvane::Utility::Tcp::SendData;

std::vector<unsigned char> Bytes(size_t n)
{
    std::vector<unsigned char> bytes(n);
    std::iota(bytes.begin(), bytes.end(), 1);
    return bytes;
}

bool AllZero(const Buffer& buffer, size_t from)
{
    for (size_t i = from; i < buffer.storage.size(); ++i) {
        if (buffer.storage[i] != 0) {
            return false;
        }
    }
    return true;
}

TEST(BufferTest, Construction)
{
    Buffer empty(1024, nullptr, 0);
    EXPECT_EQ(1024u, empty.storage.size());
    EXPECT_EQ(0u, empty.dataLength);
    EXPECT_TRUE(AllZero(empty, 0));

    const auto bytes = Bytes(20);
    Buffer small(8, bytes.data(), 20);
    EXPECT_EQ(28u, small.storage.size());
    EXPECT_EQ(20u, small.dataLength);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), small.storage.begin()));
    EXPECT_TRUE(AllZero(small, 20));

    EXPECT_THROW(Buffer(8, nullptr, 4), Exception);
}

TEST(BufferTest, AppendGrowsByGrowthUnit)
{
    struct Case {
        const char* name;
        unsigned int before;
        unsigned int appended;
        size_t storage;
        unsigned int length;
    };
    const Case cases[] = {
        {"grows past storage", 1000, 100, 2124, 1100},
        {"fills exactly", 1000, 24, 1024, 1024},
        {"nothing appended", 1000, 0, 1024, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer buffer(1024, nullptr, 0);
        const auto first = Bytes(c.before);
        buffer.AppendData(first.data(), c.before);
        const auto second = Bytes(c.appended);
        buffer.AppendData(second.data(), c.appended);
        EXPECT_EQ(c.storage, buffer.storage.size());
        EXPECT_EQ(c.length, buffer.dataLength);
        EXPECT_TRUE(std::equal(first.begin(), first.end(), buffer.storage.begin()));
        EXPECT_TRUE(std::equal(second.begin(), second.end(), buffer.storage.begin() + c.before));
        EXPECT_TRUE(AllZero(buffer, c.length));
    }
}

TEST(BufferTest, AppendRefusesNullDataAndWrap)
{
    Buffer buffer(16, nullptr, 0);
    EXPECT_THROW(buffer.AppendData(nullptr, 1), Exception);
    buffer.dataLength = 10;
    const unsigned char byte = 0;
    // A sum beyond 32 bits would wrap; it is refused before any copy.
    EXPECT_THROW(buffer.AppendData(&byte, UINT32_MAX - 5), std::length_error);
    EXPECT_EQ(10u, buffer.dataLength);
    EXPECT_EQ(16u, buffer.storage.size());
}

TEST(BufferTest, Trim)
{
    const auto bytes = Bytes(10);
    Buffer buffer(1024, bytes.data(), 10);
    buffer.Trim(0, 5);
    EXPECT_EQ(5u, buffer.dataLength);
    EXPECT_EQ(1, buffer.storage[0]);

    Buffer moved(1024, bytes.data(), 10);
    moved.Trim(4, 6);
    EXPECT_EQ(6u, moved.dataLength);
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + 4, bytes.end()),
              std::vector<unsigned char>(moved.storage.begin(), moved.storage.begin() + 6));
}

TEST(BufferTest, TrimOutsideStorage)
{
    struct Case {
        unsigned int offset;
        unsigned int length;
        const char* message;
    };
    const Case cases[] = {
        {1020, 10, "範囲外へのアクセスが発生しました。バッファサイズ=1024, 開始オフセット=1020, トリム後のデータ長=10"},
        // offset + length wraps to a small number in 32 bits; it is still refused.
        {UINT32_MAX, 2, "範囲外へのアクセスが発生しました。バッファサイズ=1024, 開始オフセット=4294967295, トリム後のデータ長=2"},
        {2, UINT32_MAX, "範囲外へのアクセスが発生しました。バッファサイズ=1024, 開始オフセット=2, トリム後のデータ長=4294967295"},
        {1025, 0, "範囲外へのアクセスが発生しました。バッファサイズ=1024, 開始オフセット=1025, トリム後のデータ長=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        const auto bytes = Bytes(10);
        Buffer buffer(1024, bytes.data(), 10);
        try {
            buffer.Trim(c.offset, c.length);
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_STREQ("Orvane::Utility::Tcp", e.GetType());
            EXPECT_EQ(4, e.GetErrorNo());
            EXPECT_STREQ(c.message, e.what());
        }
        EXPECT_EQ(10u, buffer.dataLength);
    }
    Buffer edge(1024, nullptr, 0);
    EXPECT_NO_THROW(edge.Trim(1024, 0));
}

TEST(SendDataTest, CreateAndDestroy)
{
    auto buffer = boost::shared_ptr<Buffer>(new Buffer(1024, nullptr, 0));
    int calls = 0;
    {
        auto send = SendData::CreateInstance(buffer, -1, 32768,
                                             [&](const unsigned char*, unsigned int, const boost::system::error_code&) {
                                                 ++calls;
                                             });
        EXPECT_EQ(buffer, send->buffer);
        EXPECT_EQ(-1, send->sendTimeout);
        EXPECT_EQ(32768u, send->chunkSize);
        EXPECT_EQ(0u, send->sent);
        EXPECT_EQ(2, buffer.use_count());
    }
    EXPECT_EQ(1, buffer.use_count());
    EXPECT_EQ(0, calls);
}

} // namespace
