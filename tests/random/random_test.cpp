#include "random/random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

uint32_t Draw(int32_t max) { return static_cast<uint32_t>(RandomUpTo(max)); }

// Draws right after seeding, each with its own max; max 0 still advances the state. The rows
// after the first two take seed 0's first word, 0x8B910D61, to ranges worked out by hand: the top
// half of word * (max + 1), max read as unsigned.
TEST(Random, KnownDraws) {
    const struct {
        uint32_t seed;
        std::vector<int32_t> maxes;
        std::vector<uint32_t> values;
    } cases[] = {
        {0,
         {-1, -1, -1, -1, 770, 770, 0, 1, -2},
         {0x8B910D61u, 0xC8AFE081u, 0xA90E502Fu, 0x60EE47BFu, 182, 481, 0, 0, 0x4377F3F6u}},
        {12345, {-1, -1, 770}, {0x47752D85u, 0xB5E6CF88u, 510}},
        {0, {0}, {0}},
        {0, {1}, {1}},
        {0, {570}, {311}},
        {0, {770}, {420}},
        {0, {0x7FFFFFFF}, {0x45C886B0u}},
        {0, {-2}, {0x8B910D60u}},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        RandomSetSeed(cases[i].seed);
        for (size_t k = 0; k < cases[i].maxes.size(); k++)
            EXPECT_EQ(Draw(cases[i].maxes[k]), cases[i].values[k]) << "row " << i << " draw " << k;
    }
}

TEST(Random, FrameCoordinatesStayInsideTheScreen) {
    RandomSetSeed(2024);
    for (int k = 0; k < 100000; k++) {
        ASSERT_LE(Draw(570), 570u) << k;
        ASSERT_LE(Draw(770), 770u) << k;
    }
}

// Seeding replaces the whole ring, not only the entries the first draws read.
TEST(Random, TheSeedAloneFixesTheState) {
    RandomSetSeed(555);
    std::vector<uint32_t> first;
    for (int k = 0; k < 50; k++)
        first.push_back(Draw(-1));
    for (int k = 0; k < 1000; k++)
        RandomUpTo(k);
    RandomSetSeed(555);
    for (int k = 0; k < 50; k++)
        ASSERT_EQ(Draw(-1), first[k]) << k;
}

} // namespace
