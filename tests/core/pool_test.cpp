#include "core/pool.h"

#include "heap_fixture.h"

#include <cstring>
#include <vector>

namespace {

PoolBlock* BlockOf(void* element) {
    void* block;
    std::memcpy(&block, static_cast<uint8_t*>(element) - sizeof(void*), sizeof block);
    return static_cast<PoolBlock*>(block);
}

class PoolTest : public PrivateHeapTest {
  protected:
    void SetUp() override {
        PrivateHeapTest::SetUp();
        pool = PoolCreate(20, 16, 256);
        ASSERT_NE(pool, nullptr);
    }
    std::vector<void*> Take(int n) {
        std::vector<void*> e;
        for (int i = 0; i < n; i++)
            e.push_back(PoolTake(pool));
        return e;
    }
    ElementPool* pool = nullptr;
};

TEST(PoolSlots, ElementPlusHeaderWordRoundedToTheWord) {
    struct Case {
        int32_t element, slot32, slot64;
    } cases[] = {{20, 24, 32}, {21, 28, 32}, {1, 8, 16}, {0, 4, 8}};
    ASSERT_EQ(PrivateHeapCreate(0), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element);
        const ElementPool* p = PoolCreate(c.element, 16, 256);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->slotSize, sizeof(void*) == 4 ? c.slot32 : c.slot64);
    }
    PrivateHeapDestroy();
}

TEST_F(PoolTest, TheLastReturnedSlotIsReusedFirst) {
    const std::vector<void*> e = Take(3);
    PoolGive(pool, e[1]);
    EXPECT_EQ(PoolTake(pool), e[1]);
    PoolGive(pool, e[2]);
    PoolGive(pool, e[0]);
    EXPECT_EQ(PoolTake(pool), e[0]);
    EXPECT_EQ(PoolTake(pool), e[2]);
    EXPECT_EQ(BlockOf(e[0])->handedOut, 3) << "untouched slots wait until freed ones are used";
}

// A full block moves to the full list and back when given one; clearing releases both lists.
TEST_F(PoolTest, ListsFollowEachBlocksFillAndClearEmptiesBoth) {
    const std::vector<void*> first = Take(16);
    PoolBlock* full = BlockOf(first[0]);
    EXPECT_EQ(pool->fullBlocks, full);
    EXPECT_EQ(pool->openBlocks, nullptr);
    Take(3);
    PoolGive(pool, first[7]);
    EXPECT_EQ(pool->openBlocks, full);
    EXPECT_EQ(pool->fullBlocks, nullptr);
    EXPECT_EQ(PoolTake(pool), first[7]);
    EXPECT_EQ(pool->fullBlocks, full);
    ASSERT_NE(pool->openBlocks, nullptr);
    PoolClear(pool);
    EXPECT_EQ(pool->totalSlots, 0);
    EXPECT_EQ(pool->openBlocks, nullptr);
    EXPECT_EQ(pool->fullBlocks, nullptr);
    EXPECT_NE(PoolTake(pool), nullptr) << "usable again after clearing";
    PoolDestroy(pool);
}

TEST_F(PoolTest, BlocksGrowWithThePool) {
    // 16 slots a block up to 512, then a sixteenth of the total in multiples of 16, at most 256:
    // block sizes and how many blocks of each size in turn, up to 8192 slots.
    const std::vector<std::pair<int32_t, int>> expected = {
        {16, 32}, {32, 8},  {48, 6},  {64, 4},  {80, 3},  {96, 3},  {112, 2}, {128, 2},
        {144, 2}, {160, 2}, {176, 1}, {192, 2}, {208, 1}, {224, 1}, {240, 1}, {256, 16}};
    std::vector<std::pair<int32_t, int>> runs;
    PoolBlock* last = nullptr;
    while (pool->totalSlots < 8192) {
        PoolBlock* b = BlockOf(PoolTake(pool));
        if (b == last)
            continue;
        last = b;
        if (runs.empty() || runs.back().first != b->slotCount)
            runs.push_back({b->slotCount, 0});
        runs.back().second++;
    }
    EXPECT_EQ(runs, expected);
}

TEST_F(PoolTest, ElementsKeepTheirContentsAndListsStayConsistent) {
    // Random traffic; every element carries its own id, and the counts always add up.
    std::vector<std::pair<uint32_t*, uint32_t>> live;
    uint32_t seed = 1;
    for (uint32_t id = 1; id < 20000; id++) {
        seed = seed * 1664525u + 1013904223u;
        if (live.empty() || (seed >> 16) % 3) {
            auto* e = static_cast<uint32_t*>(PoolTake(pool));
            for (int w = 0; w < 5; w++)
                e[w] = id;
            live.push_back({e, id});
        } else {
            size_t k = (seed >> 8) % live.size();
            for (int w = 0; w < 5; w++)
                ASSERT_EQ(live[k].first[w], live[k].second);
            PoolGive(pool, live[k].first);
            live[k] = live.back();
            live.pop_back();
        }
    }
    int32_t slots = 0, taken = 0;
    for (PoolBlock* b : {pool->openBlocks, pool->fullBlocks})
        for (; b; b = b->next) {
            slots += b->slotCount;
            taken += b->handedOut - b->freeCount;
            EXPECT_GT(b->handedOut - b->freeCount, 0) << "no empty block is kept";
        }
    EXPECT_EQ(slots, pool->totalSlots);
    EXPECT_EQ(taken, static_cast<int32_t>(live.size()));
    for (auto& [e, id] : live)
        PoolGive(pool, e);
    EXPECT_EQ(pool->totalSlots, 0);
    EXPECT_EQ(pool->openBlocks, nullptr);
    EXPECT_EQ(pool->fullBlocks, nullptr);
}

TEST_F(SmallHeapTest, PoolFallsBackToOneSlotBlocksThenYieldsNone) {
    ElementPool* pool = PoolCreate(20, 16, 256);
    ASSERT_NE(pool, nullptr);
    std::vector<void*> taken;
    while (void* e = PoolTake(pool)) {
        taken.push_back(e);
        ASSERT_LT(taken.size(), 100000u);
    }
    // When a block of n slots no longer fits, single slots still do before the heap is full.
    EXPECT_EQ(BlockOf(taken.back())->slotCount, 1);
    EXPECT_NE(pool->fullBlocks, nullptr);
    // Giving one back lets the next take succeed again.
    PoolGive(pool, taken.back());
    taken.pop_back();
    EXPECT_NE(PoolTake(pool), nullptr);
}

} // namespace
