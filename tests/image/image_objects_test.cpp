// Image objects on the real GDI: registry numbers, the fills, freeing, and the bitmap
// routines the drawing layer shares.
#include "image/image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/platform.h"
#include "gdi_handles.h"
#include "tests/app/partial_runtime.h"

namespace {

class ImageTest : public PartialRuntimeTest {
  protected:
    ImageTest() : PartialRuntimeTest(RUNTIME_IMAGES) {}
    void SetUp() override {
        PartialRuntimeTest::SetUp();
        ASSERT_NE(ImageRegistry(), nullptr);
    }
};

HBITMAP AsBitmap(ObjectNumber result) { return reinterpret_cast<HBITMAP>(result); }

ImageRecord* RecordOf(ObjectNumber number) {
    return static_cast<ImageRecord*>(RegistryLookup(ImageRegistry(), number));
}

// Every pixel of the section as a 32-bit value (24-bit pixels with a top byte of 0), bottom
// row first as the section stores them.
std::vector<uint32_t> SectionPixels(HBITMAP bitmap) {
    DIBSECTION s = {};
    EXPECT_EQ(GetObjectA(bitmap, sizeof s, &s), static_cast<int>(sizeof s));
    std::vector<uint32_t> pixels;
    int bytesPerPixel = s.dsBm.bmBitsPixel / 8;
    for (int y = 0; y < s.dsBm.bmHeight; y++) {
        auto* row = static_cast<uint8_t*>(s.dsBm.bmBits) + y * s.dsBm.bmWidthBytes;
        for (int x = 0; x < s.dsBm.bmWidth; x++) {
            uint32_t v = 0;
            std::memcpy(&v, row + x * bytesPerPixel, bytesPerPixel);
            pixels.push_back(v);
        }
    }
    return pixels;
}

TEST_F(ImageTest, CreatedImagesAreBottomUpSectionsWithTheirFill) {
    struct Case {
        ObjectNumber number;
        int32_t width, height, depth;
        int bits;       // bits per pixel of the section
        uint32_t pixel; // every pixel
    } cases[] = {
        {0, 20, 20, 24, 24, 0x000000},
        {1, 4, 2, 32, 32, 0xFF000000},                          // opaque black
        {2, 4, 2, 32 + IMAGE_TRANSPARENT_FILL, 32, 0x00000000}, // transparent black
        {3, 5, 3, 8, 24, 0x000000},                             // raised to 24 bits
        {4, 3, 2, 1 + IMAGE_TRANSPARENT_FILL, 24, 0x000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        HBITMAP bitmap = AsBitmap(ImageCreateWithDepth(c.number, c.width, c.height, c.depth));
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(ImageNativeHandle(c.number), bitmap);
        DIBSECTION s = {};
        ASSERT_EQ(GetObjectA(bitmap, sizeof s, &s), static_cast<int>(sizeof s));
        EXPECT_EQ(s.dsBm.bmWidth, c.width);
        EXPECT_EQ(s.dsBm.bmHeight, c.height);
        EXPECT_EQ(s.dsBm.bmBitsPixel, c.bits);
        EXPECT_EQ(s.dsBmih.biHeight, c.height) << "rows run bottom-up";
        EXPECT_EQ(s.dsBmih.biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_EQ(SectionPixels(bitmap),
                  std::vector<uint32_t>(static_cast<size_t>(c.width * c.height), c.pixel));
        const ImageRecord* record = RecordOf(c.number);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->width, c.width);
        EXPECT_EQ(record->height, c.height);
        EXPECT_EQ(record->depth, c.bits);
        EXPECT_EQ(record->secondDepth, c.bits);
    }
}

TEST_F(ImageTest, ReCreatingAFixedNumberFreesTheOldBitmapFirst) {
    HBITMAP first = AsBitmap(ImageCreate(3, 10, 10));
    ASSERT_NE(first, nullptr);
    HBITMAP second = AsBitmap(ImageCreate(3, 8, 8));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetObjectType(first), 0u) << "the first bitmap is deleted";
    EXPECT_EQ(ImageNativeHandle(3), second);

    // Freed before the new bitmap is made: a creation that fails leaves the number empty.
    EXPECT_EQ(ImageCreateWithDepth(3, 8, 8, 48), 0) << "48 bits per pixel is no DIB format";
    EXPECT_EQ(GetObjectType(second), 0u);
    EXPECT_EQ(ImageNativeHandle(3), nullptr);
}

TEST_F(ImageTest, NumbersFixedAndDynamic) {
    ASSERT_NE(ImageCreate(20, 2, 2), 0);
    ObjectNumber dynamic = ImageCreate(DYNAMIC_NUMBER, 6, 6);
    ASSERT_NE(dynamic, 0);
    auto bitmap = static_cast<HBITMAP>(ImageNativeHandle(dynamic));
    ASSERT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));

    ImageFree(DYNAMIC_NUMBER); // does nothing
    ImageFree(12345);          // names no image: does nothing
    EXPECT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_NE(ImageNativeHandle(20), nullptr);

    ImageFree(dynamic);
    EXPECT_EQ(GetObjectType(bitmap), 0u);
    EXPECT_EQ(ImageNativeHandle(dynamic), nullptr);
    EXPECT_EQ(ImageRegistry()->dynamicHead, nullptr) << "the record is unlinked";

    // A dynamic creation that fails gives its record back at once.
    EXPECT_EQ(ImageCreateWithDepth(DYNAMIC_NUMBER, 2, 2, 48), 0);
    EXPECT_EQ(ImageRegistry()->dynamicHead, nullptr);
}

TEST_F(ImageTest, FreeAllDeletesBitmapsAndDestroysIcons) {
    HBITMAP fixed = AsBitmap(ImageCreate(2, 4, 4));
    auto dynamic = static_cast<HBITMAP>(ImageNativeHandle(ImageCreate(DYNAMIC_NUMBER, 4, 4)));
    // An image may hold an icon in place of a bitmap.
    HBITMAP colour = CreateBitmap(8, 8, 1, 32, nullptr);
    HBITMAP mask = CreateBitmap(8, 8, 1, 1, nullptr);
    ICONINFO made = {TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&made);
    DeleteObject(colour);
    DeleteObject(mask);
    ASSERT_NE(icon, nullptr);
    static_cast<ImageRecord*>(RegistrySlotFor(ImageRegistry(), 5))->nativeHandle = icon;

    ImageFreeAll();
    EXPECT_EQ(GetObjectType(fixed), 0u);
    EXPECT_EQ(GetObjectType(dynamic), 0u);
    ICONINFO info = {};
    EXPECT_FALSE(GetIconInfo(icon, &info)) << "the icon is destroyed";
    EXPECT_EQ(ImageNativeHandle(2), nullptr);
    EXPECT_EQ(ImageNativeHandle(5), nullptr);
    EXPECT_EQ(ImageRegistry()->dynamicHead, nullptr);
}

TEST_F(ImageTest, RegistryWithoutRoomMakesNoImageAndLeaksNoBitmap) {
    RestartOnHeap(64 * 1024);
    ASSERT_NE(ImageRegistry(), nullptr);
    // Fill the fixed-size heap so that neither a dynamic node nor a grown table fits.
    while (PrivateHeapAlloc(256)) {
    }
    while (PrivateHeapAlloc(8)) {
    }
    int before = CreatableBrushes();
    ASSERT_GT(before, 60000) << "the count must end at the handle table's limit";
    EXPECT_EQ(ImageCreate(DYNAMIC_NUMBER, 4, 4), 0);
    EXPECT_EQ(ImageCreate(1000, 4, 4), 0);
    EXPECT_EQ(ImageNativeHandle(1000), nullptr);
    EXPECT_EQ(CreatableBrushes(), before) << "no bitmap left without an owner";
    EXPECT_NE(ImageCreate(0, 4, 4), 0) << "a slot that exists needs no memory";
}

TEST(BitmapRowPitch, BytesPerRowPaddedToFourBytes) {
    struct Case {
        int32_t width, bits, pitch;
    } cases[] = {
        {1, 24, 4},  {3, 24, 12}, {33, 1, 8},         {3, 4, 4},  {5, 32, 20}, {2, 24, 8},
        {5, 24, 16}, {3, 8, 4},   {5, 8, 8},          {3, 16, 8}, {3, 15, 8},  {32, 1, 4},
        {9, 4, 8},   {7, 0, 28},  {INT32_MAX, 32, 0}, // too wide to count in 32 bits
    };
    for (const Case& c : cases)
        EXPECT_EQ(BitmapRowPitch(c.width, c.bits), c.pitch) << c.width << " x " << c.bits;
}

TEST_F(ImageTest, ReadPixelsGivesASectionsOwnMemoryOrATopDownCopy) {
    HBITMAP section = AsBitmap(ImageCreateWithDepth(0, 3, 2, 32));
    DIBSECTION s = {};
    ASSERT_EQ(GetObjectA(section, sizeof s, &s), static_cast<int>(sizeof s));
    int32_t mustFree = 7;
    EXPECT_EQ(BitmapReadPixels(section, &mustFree), s.dsBm.bmBits);
    EXPECT_EQ(mustFree, 0);

    // A device-dependent bitmap: rows given top row first, alpha bytes included.
    const uint32_t picture[2][3] = {{0x11223344, 0x55667788, 0x99AABBCC},
                                    {0x00DDEEFF, 0x80000000, 0x00000001}};
    HBITMAP device = CreateBitmap(3, 2, 1, 32, picture);
    ASSERT_NE(device, nullptr);
    BITMAP b = {};
    ASSERT_EQ(GetObjectA(device, sizeof b, &b), static_cast<int>(sizeof b));
    ASSERT_EQ(b.bmBits, nullptr) << "not a DIB section";
    mustFree = 7;
    auto* rows = static_cast<uint32_t*>(BitmapReadPixels(device, &mustFree));
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(mustFree, 1);
    EXPECT_EQ(std::vector<uint32_t>(rows, rows + 6),
              std::vector<uint32_t>(&picture[0][0], &picture[0][0] + 6));
    EXPECT_EQ(PrivateHeapFree(rows), 1) << "the copy is a block of the private heap";
    DeleteObject(device);

    mustFree = 7;
    EXPECT_EQ(BitmapReadPixels(static_cast<HBITMAP>(GetStockObject(BLACK_BRUSH)), &mustFree),
              nullptr);
    EXPECT_EQ(mustFree, 7) << "untouched on failure";
}

} // namespace
