// Runs in a process of its own: it needs a generator that has never been used.
#include "random/random.h"

#include "core/platform.h"

#include <gtest/gtest.h>

namespace {

TEST(RandomFirstUse, SeedingAnUnusedGeneratorMatchesSeedingItLater) {
    ASSERT_EQ(RandomStateGet().seeded, 0);
    RandomSetSeed(12345);
    EXPECT_EQ(RandomStateGet().seeded, 1);
    EXPECT_EQ(static_cast<uint32_t>(RandomUpTo(-1)), 0x47752D85u);
    EXPECT_EQ(static_cast<uint32_t>(RandomUpTo(-1)), 0xB5E6CF88u);
}

} // namespace
