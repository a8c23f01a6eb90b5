#include "random/random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

uint32_t Word() { return static_cast<uint32_t>(RandomUpTo(-1)); }

TEST(Random, SeedZeroGivesTheKnownSequence) {
    RandomSetSeed(0);
    const uint32_t words[] = {0x8B910D61u, 0xC8AFE081u, 0xA90E502Fu, 0x60EE47BFu};
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(Word(), words[k]) << "word " << k;
    EXPECT_EQ(RandomUpTo(770), 182);
    EXPECT_EQ(RandomUpTo(770), 481);
    EXPECT_EQ(RandomUpTo(0), 0);
    EXPECT_EQ(RandomUpTo(1), 0);
    EXPECT_EQ(static_cast<uint32_t>(RandomUpTo(-2)), 0x4377F3F6u);
}

TEST(Random, Seed12345GivesTheKnownSequence) {
    RandomSetSeed(12345);
    EXPECT_EQ(Word(), 0x47752D85u);
    EXPECT_EQ(Word(), 0xB5E6CF88u);
    EXPECT_EQ(RandomUpTo(770), 510);
}

TEST(Random, SeedingLeavesTheIndicesAfterTheWarmUp) {
    RandomSetSeed(99);
    EXPECT_EQ(RandomStateGet().i, 3);
    EXPECT_EQ(RandomStateGet().j, 13);
    EXPECT_EQ(RandomStateGet().seeded, 1);
}

// Each reduction is the top of x * m: compare against the raw words of the same seed.
TEST(Random, RangesAreTheHighHalfOfTheProduct) {
    std::vector<uint32_t> raw;
    RandomSetSeed(7);
    for (int k = 0; k < 6; k++)
        raw.push_back(Word());
    RandomSetSeed(7);
    EXPECT_EQ(RandomUpTo(0), 0) << "max 0 still advances the state";
    EXPECT_EQ(RandomUpTo(1), static_cast<int32_t>(raw[1] >> 31)) << "max 1 is the top bit";
    EXPECT_EQ(RandomUpTo(-1), static_cast<int32_t>(raw[2])) << "max -1 is the word itself";
    EXPECT_EQ(static_cast<uint32_t>(RandomUpTo(-2)),
              static_cast<uint32_t>((uint64_t{raw[3]} * 0xFFFFFFFFu) >> 32));
    EXPECT_EQ(RandomUpTo(570), static_cast<int32_t>((uint64_t{raw[4]} * 571) >> 32));
    EXPECT_EQ(RandomUpTo(770), static_cast<int32_t>((uint64_t{raw[5]} * 771) >> 32));
}

TEST(Random, FrameCoordinatesStayInsideTheScreen) {
    RandomSetSeed(2024);
    for (int k = 0; k < 100000; k++) {
        int32_t y = RandomUpTo(570) + 5, x = RandomUpTo(770) + 5;
        ASSERT_GE(y, 5);
        ASSERT_LE(y, 575);
        ASSERT_GE(x, 5);
        ASSERT_LE(x, 775);
    }
}

TEST(Random, NegativeMaxIsReadAsUnsigned) {
    RandomSetSeed(3);
    bool sawHigh = false;
    for (int k = 0; k < 1000; k++) {
        uint32_t v = static_cast<uint32_t>(RandomUpTo(-2));
        ASSERT_LE(v, 0xFFFFFFFEu);
        sawHigh |= v > 0x80000000u;
    }
    EXPECT_TRUE(sawHigh);
}

TEST(Random, TheSeedAloneFixesTheState) {
    RandomSetSeed(555);
    std::vector<uint32_t> first;
    for (int k = 0; k < 50; k++)
        first.push_back(Word());
    for (int k = 0; k < 1000; k++)
        RandomUpTo(k);
    RandomSetSeed(555);
    for (int k = 0; k < 50; k++)
        ASSERT_EQ(Word(), first[k]) << k;
}

} // namespace
