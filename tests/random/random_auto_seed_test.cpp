// Runs in a process of its own: the first draw must seed from the thread id and tick count.
#include "random/random.h"

#include "core/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

TEST(RandomAutoSeed, FirstDrawSeedsFromThreadIdXorTickCount) {
    ASSERT_EQ(RandomStateGet().seeded, 0);
    uint32_t before = PlatformTickCount();
    uint32_t first = static_cast<uint32_t>(RandomUpTo(-1));
    uint32_t after = PlatformTickCount();
    ASSERT_EQ(RandomStateGet().seeded, 1);
    // The draw came from one of the seeds the ticks of the call allow: two processes whose
    // first draw happens on the same thread id at the same tick draw the same sequence.
    std::vector<uint32_t> candidates;
    for (uint32_t t = before; t != after + 1; t++) {
        RandomSetSeed(PlatformThreadId() ^ t);
        candidates.push_back(static_cast<uint32_t>(RandomUpTo(-1)));
    }
    EXPECT_NE(std::find(candidates.begin(), candidates.end(), first), candidates.end());
}

} // namespace
