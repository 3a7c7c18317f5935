// The receive buffer's growth: with the bytes that arrive, never ahead of them to a length
// a peer only declared, and back to the configured size once consumed or discarded.

#include "Utility/Tcp/ReceiveStore.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Orvane::Utility::Tcp::Buffer;
using Orvane::Utility::Tcp::ReceiveStore;

// A read of `count` bytes into the room the store offers, as the connection makes it.
void Read(ReceiveStore& store, unsigned int count)
{
    store.EnsureRoom();
    const boost::shared_ptr<Buffer> buffer = store.GetBuffer();
    ASSERT_LE(buffer->dataLength + count, buffer->storage.size());
    store.Commit(buffer, buffer->dataLength, count);
}

TEST(ReceiveStoreTest, GrowsWithTheBytesAndNoFurtherThanTheExpectedEnd)
{
    struct Case {
        const char* name;
        unsigned int expected;            // the message's length, 0 when not known
        std::vector<unsigned int> reads;  // each fills the room offered
        unsigned int storage;             // the storage at the end
    };
    const Case cases[] = {
        // The configured 4096 filled exactly: doubled for the next read.
        {"unknown length, filled exactly", 0, {4096}, 8192},
        {"unknown length, doubling", 0, {4096, 4096, 8192}, 32768},
        // Doubling would give 16384; the message ends at 10000.
        {"known length, last step up to its end", 10000, {4096, 4096, 1808}, 10000},
        // A declared 60 MB with 4 KiB arrived holds twice that, not the declared length.
        {"declared far beyond what arrived", 60000000, {4096}, 8192},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReceiveStore store(4096);
        store.Expect(c.expected);
        for (unsigned int count : c.reads) {
            Read(store, count);
        }
        EXPECT_EQ(c.storage, store.GetBuffer()->storage.size());
    }
}

TEST(ReceiveStoreTest, AppendedMessagesGrowTheStorageByDoubling)
{
    // Many small appends must not copy the whole buffer on each one.
    ReceiveStore store(4096);
    const std::string message(1000, 'm');
    std::vector<std::size_t> sizes;
    for (int i = 0; i < 100; ++i) {
        store.Append(reinterpret_cast<const unsigned char*>(message.data()), 1000);
        const std::size_t size = store.GetBuffer()->storage.size();
        if (sizes.empty() || sizes.back() != size) {
            sizes.push_back(size);
        }
    }
    EXPECT_EQ((std::vector<std::size_t>{4096, 8192, 16384, 32768, 65536, 131072}), sizes);
    EXPECT_TRUE(store.IsExtended());
}

TEST(ReceiveStoreTest, AGrownBufferGoesOnceConsumedOrDiscarded)
{
    for (bool discard : {false, true}) {
        SCOPED_TRACE(discard ? "discarded" : "consumed");
        ReceiveStore store(4096);
        const std::string bytes(20000, 'b');
        store.Append(reinterpret_cast<const unsigned char*>(bytes.data()), 20000);
        ASSERT_TRUE(store.IsExtended());
        if (discard) {
            store.Discard();
        } else {
            store.Consume(19990);
        }
        EXPECT_FALSE(store.IsExtended());
        EXPECT_EQ(4096u, store.GetBuffer()->storage.size());
        EXPECT_EQ(discard ? 0u : 10u, store.GetBuffer()->dataLength);
    }
}

} // namespace
