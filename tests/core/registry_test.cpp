#include "core/registry.h"

#include "heap_fixture.h"

#include <vector>

namespace {

// A record whose first field is non-zero while the object lives, as every owner's is.
struct Thing {
    uint32_t alive;
    uint32_t value;
};

ObjectRegistry* current;
std::vector<ObjectNumber> freed;

// The owner's destroy operation: accepts empty numbers, ends by releasing the slot.
void FreeThing(ObjectNumber number) {
    freed.push_back(number);
    if (RegistryLookup(current, number))
        RegistryRelease(current, number);
}

ObjectNumber Create(ObjectNumber number, uint32_t value) {
    auto* t = static_cast<Thing*>(RegistrySlotFor(current, number));
    if (!t)
        return 0;
    t->alive = 1;
    t->value = value;
    return number == DYNAMIC_NUMBER ? RegistryNumberOf(t) : number;
}

std::vector<ObjectNumber> Enumerate() {
    std::vector<ObjectNumber> seen;
    ObjectNumber n;
    RegistryEnumBegin(current);
    while (RegistryEnumNext(current, &n))
        seen.push_back(n);
    return seen;
}

class RegistryTest : public PrivateHeapTest {
  protected:
    void SetUp() override {
        PrivateHeapTest::SetUp();
        freed.clear();
        current = RegistryCreate(sizeof(Thing), 16, FreeThing);
        ASSERT_NE(current, nullptr);
    }
};

// A used number's old object is destroyed first; growth keeps records and zeroes new slots;
// release zeroes the slot and keeps the table.
TEST_F(RegistryTest, FixedNumbersReplaceGrowAndRelease) {
    ASSERT_EQ(Create(3, 111), 3);
    EXPECT_EQ(freed, std::vector<ObjectNumber>{3}) << "an empty slot still gets the callback";
    ASSERT_EQ(Create(3, 222), 3);
    EXPECT_EQ(freed, (std::vector<ObjectNumber>{3, 3}));
    ASSERT_EQ(Create(20, 9), 20);
    EXPECT_EQ(current->capacity, 36) << "number + growth step";
    EXPECT_EQ(static_cast<Thing*>(RegistryLookup(current, 3))->value, 222u);
    EXPECT_EQ(static_cast<Thing*>(RegistryLookup(current, 20))->value, 9u);
    EXPECT_EQ(Enumerate(), (std::vector<ObjectNumber>{3, 20})) << "new slots are empty";
    RegistryRelease(current, 3);
    const uint8_t* slot = current->slots + 3 * current->elementSize;
    EXPECT_EQ(std::vector<uint8_t>(slot, slot + current->elementSize), std::vector<uint8_t>(8, 0));
    EXPECT_EQ(RegistryLookup(current, 3), nullptr);
    EXPECT_EQ(current->capacity, 36);
}

// Dynamic numbers are the records' addresses; releasing relinks the list around the record.
TEST_F(RegistryTest, DynamicRecordsComeAndGoInAnyOrder) {
    const ObjectNumber a = Create(DYNAMIC_NUMBER, 1), b = Create(DYNAMIC_NUMBER, 2),
                       c = Create(DYNAMIC_NUMBER, 3);
    ASSERT_NE(a, 0);
    EXPECT_TRUE(freed.empty()) << "no free callback for dynamic records";
    EXPECT_EQ(RegistryLookup(current, a), reinterpret_cast<void*>(a));
    EXPECT_EQ(static_cast<Thing*>(RegistryLookup(current, b))->value, 2u);
    RegistryRelease(current, b); // middle
    EXPECT_EQ(RegistryLookup(current, b), nullptr);
    EXPECT_EQ(Enumerate(), (std::vector<ObjectNumber>{a, c}));
    RegistryRelease(current, c); // head
    EXPECT_EQ(Enumerate(), (std::vector<ObjectNumber>{a}));
    RegistryRelease(current, a); // last
    EXPECT_EQ(current->dynamicHead, nullptr);
    EXPECT_TRUE(Enumerate().empty());
}

TEST_F(RegistryTest, NumbersNoRecordHasYieldNoneAndAreNeverDereferenced) {
    ObjectNumber a = Create(DYNAMIC_NUMBER, 1);
    // An address just beside a live record, a stack address, and numbers no record has:
    // dereferencing any of them would be a fault the sanitizers report.
    Thing onStack{1, 1};
    const ObjectNumber foreign[] = {
        -5, -2, 16, 1000, a + 4, a - 8, reinterpret_cast<ObjectNumber>(&onStack)};
    for (ObjectNumber n : foreign) {
        EXPECT_EQ(RegistryLookup(current, n), nullptr) << n;
        RegistryRelease(current, n); // ignored
    }
    EXPECT_NE(RegistryLookup(current, a), nullptr);
    // Numbers whose growth would overflow, or that no slot can have, get none and no callback.
    for (ObjectNumber n : {INT32_MAX, INT32_MAX - 15, -2})
        EXPECT_EQ(RegistrySlotFor(current, n), nullptr) << n;
    EXPECT_EQ(current->capacity, 16);
    EXPECT_TRUE(freed.empty());
}

TEST_F(RegistryTest, EnumerationAndFreeAllVisitSlotsThenDynamicRecordsOldestFirst) {
    Create(2, 0);
    const ObjectNumber a = Create(DYNAMIC_NUMBER, 0);
    Create(40, 0);
    Create(0, 0);
    const ObjectNumber b = Create(DYNAMIC_NUMBER, 0);
    const std::vector<ObjectNumber> all = {0, 2, 40, a, b};
    EXPECT_EQ(Enumerate(), all);
    freed.clear();
    RegistryFreeAll(current); // the callback may destroy each object it is given
    EXPECT_EQ(freed, all);
    EXPECT_TRUE(Enumerate().empty());
    EXPECT_EQ(current->dynamicHead, nullptr);
    // Without a callback, freeing all leaves everything.
    current = RegistryCreate(sizeof(Thing), 4, nullptr);
    Create(1, 0);
    Create(DYNAMIC_NUMBER, 0);
    RegistryFreeAll(current);
    EXPECT_EQ(Enumerate().size(), 2u);
}

TEST_F(RegistryTest, ManyDynamicRecordsComeAndGo) {
    // Enough to grow the live-address set several times and exercise deletion in it.
    std::vector<ObjectNumber> live;
    for (int i = 0; i < 2000; i++)
        live.push_back(Create(DYNAMIC_NUMBER, i));
    for (size_t i = 0; i < live.size(); i += 2)
        RegistryRelease(current, live[i]);
    for (size_t i = 0; i < live.size(); i++) {
        const auto* r = static_cast<Thing*>(RegistryLookup(current, live[i]));
        ASSERT_EQ(r != nullptr, i % 2 == 1) << i;
        ASSERT_TRUE(!r || r->value == i) << i;
    }
    EXPECT_EQ(current->live.count, 1000);
}

TEST_F(SmallHeapTest, RegistryReportsWhatTheHeapRefuses) {
    current = RegistryCreate(sizeof(Thing), 16, FreeThing);
    ASSERT_NE(current, nullptr);
    Create(1, 5);
    // Growth the heap cannot give: none, and the table is as it was.
    EXPECT_EQ(RegistrySlotFor(current, 100000), nullptr);
    EXPECT_EQ(current->capacity, 16);
    EXPECT_EQ(static_cast<Thing*>(RegistryLookup(current, 1))->value, 5u);
    // Dynamic nodes until the heap is full: none, never a write through a null block.
    int made = 0;
    while (RegistrySlotFor(current, DYNAMIC_NUMBER))
        ASSERT_LT(++made, 100000);
    EXPECT_GT(made, 0);
}

// Shutdown gives registries back into a heap that lives on: what one registry leaves behind
// would fill this fixed heap long before the last round.
TEST_F(SmallHeapTest, RegistryDestroyGivesEveryBlockBack) {
    for (int round = 0; round < 200; round++) {
        current = RegistryCreate(sizeof(Thing), 16, FreeThing);
        ASSERT_NE(current, nullptr) << round;
        ASSERT_NE(Create(100, 1), 0) << round;
        for (int i = 0; i < 20; i++)
            ASSERT_NE(Create(DYNAMIC_NUMBER, 1), 0) << round;
        RegistryDestroy(current);
    }
    RegistryFreeAll(nullptr); // shutdown after a start-up that made no registry
    RegistryDestroy(nullptr);
}

#if INTPTR_MAX > INT32_MAX
// An owner's record as the runtime's are: its handle first.
struct Handled {
    uintptr_t handle;
    uint32_t value;
};

// A handle above 4 GiB may have its whole low half zero and still marks its record live; a
// dynamic number above 4 GiB is the whole address, and the number its low half would make
// names nothing.
TEST_F(HighHeapTest, RegistryKeepsHandlesAndNumbersAboveFourGiBWhole) {
    current = RegistryCreate(sizeof(Handled), 16, nullptr);
    ASSERT_NE(current, nullptr);
    const uintptr_t handles[] = {FOUR_GIB, uintptr_t(0xABCD) << 32, FOUR_GIB + 1};
    for (ObjectNumber asked : {ObjectNumber(3), DYNAMIC_NUMBER}) {
        for (uintptr_t handle : handles) {
            SCOPED_TRACE(::testing::Message() << asked << " holding " << handle);
            auto* record = static_cast<Handled*>(RegistrySlotFor(current, asked));
            ASSERT_NE(record, nullptr);
            record->handle = handle;
            const ObjectNumber number = asked == DYNAMIC_NUMBER ? RegistryNumberOf(record) : asked;
            if (asked == DYNAMIC_NUMBER) {
                ASSERT_GE(static_cast<uintptr_t>(number), FOUR_GIB);
            }
            EXPECT_EQ(RegistryLookup(current, number), record);
            EXPECT_EQ(Enumerate(), std::vector<ObjectNumber>{number});
            const ObjectNumber lowHalf = static_cast<uint32_t>(number);
            if (lowHalf != number) {
                EXPECT_EQ(RegistryLookup(current, lowHalf), nullptr);
                EXPECT_EQ(RegistryLookup(current, static_cast<int32_t>(number)), nullptr);
                RegistryRelease(current, lowHalf); // ignored
            }
            RegistryRelease(current, number);
            EXPECT_EQ(RegistryLookup(current, number), nullptr);
            EXPECT_TRUE(Enumerate().empty());
        }
    }
}
#endif

TEST_F(PrivateHeapTest, StateRecordsAreZeroedAndInitialised) {
    static int initialised;
    auto init = [](void* r) {
        initialised++;
        static_cast<uint32_t*>(r)[1] = 42;
    };
    auto* r = static_cast<uint32_t*>(StateRecordCreate(56, init, nullptr));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(initialised, 1);
    EXPECT_EQ(r[0], 0u);
    EXPECT_EQ(r[1], 42u);
    EXPECT_EQ(r[13], 0u);
    EXPECT_EQ(StateRecordGet(r), r);
}

} // namespace
