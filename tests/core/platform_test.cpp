#include "core/platform.h"

#include "heap_fixture.h"

#include <cstring>

namespace {

TEST_F(PrivateHeapTest, ReallocationKeepsOldBytesAndZeroesNewOnes) {
    auto* p = static_cast<uint8_t*>(PrivateHeapAlloc(8));
    ASSERT_NE(p, nullptr);
    std::memset(p, 0xAB, 8);
    p = static_cast<uint8_t*>(PrivateHeapReAllocZeroed(p, 4096));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(p[i], 0xAB) << i;
    for (int i = 8; i < 4096; i++)
        ASSERT_EQ(p[i], 0) << i;
    EXPECT_NE(PrivateHeapFree(p), 0);
}

TEST_F(SmallHeapTest, AFullHeapRefusesAndKeepsTheOldBlock) {
    auto* p = static_cast<uint8_t*>(PrivateHeapAllocZeroed(64));
    ASSERT_NE(p, nullptr);
    p[0] = 7;
    EXPECT_EQ(PrivateHeapAlloc(1 << 20), nullptr);
    EXPECT_EQ(PrivateHeapReAllocZeroed(p, 1 << 20), nullptr);
    EXPECT_EQ(p[0], 7) << "the old block is still valid";
}

TEST(ScratchHeap, HoldsASixteenByteBufferAtPositionZero) {
    ASSERT_EQ(ScratchHeapInit(), 1);
    const ScratchHeap* s = ScratchHeapGet();
    EXPECT_NE(s->buffer, nullptr);
    EXPECT_EQ(s->size, 16);
    EXPECT_EQ(s->position, 0);
}

} // namespace
