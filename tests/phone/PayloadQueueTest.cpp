// The bound of the payload queue and what it drops when the decoder falls
// behind.

#include "phone/PayloadQueue.h"
#include "tests/phone/PhonePeer.h"

#include <gtest/gtest.h>

namespace {
const Bytes kSps = Hex("00 00 00 01 67 42 00 1F 00 00 00 01 68 CE 00 00 01 65 88");
const Bytes kIdr = Hex("00 00 00 01 06 05 01 00 00 00 01 65 88 84");
const Bytes kInter = Hex("00 00 00 01 41 9A 02");
} // namespace

TEST(PayloadQueueTest, TellsWhereDecodingCanStart) {
    const struct {
        Bytes payload;
        bool bKey;
    } cases[] = {
        {kSps, true},
        {kIdr, true},
        {Hex("00 00 01 67 42"), true}, // a 3-byte start code
        {kInter, false},
        {Hex("00 00 00 01 06 05 01 00 00 01 41 9A 00 00 01 65"), false}, // IDR after a slice
        {Hex("00 00 00 01"), false},
        {Bytes(), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PayloadQueue::IsKeyPayload(c.payload.data(), c.payload.size()), c.bKey);
    }
}

TEST(PayloadQueueTest, WhenFullDropsWhatIsQueuedAndSkipsToTheNextKeyPayload) {
    PayloadQueue queue(3, 1000);
    const Bytes bigInter = Concat({kInter, Bytes(600, 0xAB)});
    const Bytes bigSps = Concat({kSps, Bytes(600, 0xCD)});
    const struct {
        const Bytes& payload;
        bool bQueued;
        int nSize;
        long long nDropped;
    } steps[] = {
        {kSps, true, 1, 0},    {kInter, true, 2, 0},     {kInter, true, 3, 0},
        {kInter, false, 0, 4}, // full: three dropped, and this one
        {kInter, false, 0, 5}, // still no key frame
        {kIdr, true, 1, 5},    {kInter, true, 2, 5},     {bigInter, true, 3, 5}, // 640 bytes queued
        {kSps, true, 1, 8},                              // full again, but a key payload is kept
        {bigSps, true, 2, 8},  {bigInter, false, 0, 11}, // over 1000 bytes
    };
    for (const auto& step : steps) {
        EXPECT_EQ(queue.Push(step.payload.data(), step.payload.size()), step.bQueued);
        EXPECT_EQ(queue.Size(), step.nSize);
        EXPECT_EQ(queue.Dropped(), step.nDropped);
    }
    ASSERT_TRUE(queue.Push(kIdr.data(), kIdr.size()));
    ASSERT_TRUE(queue.Push(kInter.data(), kInter.size()));
    Bytes payload;
    ASSERT_TRUE(queue.Pop(payload));
    EXPECT_EQ(payload, kIdr);
    ASSERT_TRUE(queue.Pop(payload));
    EXPECT_EQ(payload, kInter);
    queue.Stop();
    EXPECT_FALSE(queue.Pop(payload));
}
