// Drawing primitives on real GDI targets: a plain device-context output over a DIB section, and
// a screen-kind output whose callbacks hand out either a fresh memory device context or the DIB
// section's memory, in the 32-, 16-, 15- and 8-bit layouts a screen can have. A fresh device
// context carries none of the session's state, so every switch back from pixel memory must
// re-apply it. Pixels are read back from the DIB's memory.
#include "drawing/primitives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/platform.h"
#include "image/image.h"
#include "shape_cases.h"
#include "tests/app/partial_runtime.h"

namespace {

const Color RED = RGB(255, 0, 0), BLUE = RGB(0, 0, 255), BLACK = RGB(0, 0, 0);
const Color BROWN = RGB(153, 102, 51), WHITE = RGB(255, 255, 255);
const int32_t DIB_SIZE = 32; // of every DIB

struct Layout {
    int32_t bits;
    DWORD masks[3]; // red, green, blue; none for BI_RGB
    int32_t formatCode;
    // White as GDI stores it. Wine's flood fill compares stored values, unused bits included.
    uint32_t white;
};
const Layout L32 = {32, {}, PIXEL_FORMAT_32, 0xFFFFFF};
const Layout L16 = {16, {0xF800, 0x07E0, 0x001F}, PIXEL_FORMAT_16, 0xFFFF};
const Layout L15 = {16, {0x7C00, 0x03E0, 0x001F}, PIXEL_FORMAT_15, 0x7FFF};
const Layout L8 = {8, {}, PIXEL_FORMAT_8, 0xFF};

// The one target of a test; the output's callbacks reach it here.
struct Target {
    HBITMAP dib;
    uint8_t* bits;
    int32_t pitch;
    int32_t bytes;
    int32_t deviceContextsTaken; // by acquireDeviceContext, after the first
} target;

HDC NewDeviceContext() {
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, target.dib);
    return dc;
}

// As the screen does: at most one of dc and pixels is held.
HDC TakeDeviceContext(DrawingOutput* output) {
    if (!output->dc) {
        output->pixels = nullptr;
        output->dc = NewDeviceContext();
        ++target.deviceContextsTaken;
    }
    return output->dc;
}

void* TakePixelMemory(DrawingOutput* output, int32_t* pitch) {
    if (output->dc) {
        DeleteDC(output->dc);
        output->dc = nullptr;
    }
    GdiFlush();
    *pitch = target.pitch;
    return output->pixels = target.bits;
}

void ReleaseTarget(DrawingOutput* output, int32_t) {
    if (output->dc) {
        DeleteDC(output->dc);
    }
    output->dc = nullptr;
    output->pixels = nullptr;
}

// A top-down DIB section of the layout, filled with white.
void MakeTarget(const Layout& layout) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = DIB_SIZE;
    info.header.biHeight = -DIB_SIZE;
    info.header.biPlanes = 1;
    info.header.biBitCount = WORD(layout.bits);
    info.header.biCompression = layout.masks[0] ? BI_BITFIELDS : BI_RGB;
    std::memcpy(info.colors, layout.masks, sizeof layout.masks);
    for (int i = 0; layout.bits == 8 && i < 256; ++i) {
        info.header.biClrUsed = 256;
        info.colors[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    }
    void* bits = nullptr;
    target.dib = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                  &bits, nullptr, 0);
    ASSERT_NE(target.dib, nullptr);
    target.bits = static_cast<uint8_t*>(bits);
    target.bytes = layout.bits / 8;
    target.pitch = (DIB_SIZE * target.bytes + 3) & ~3;
    for (int32_t p = 0; p < DIB_SIZE * DIB_SIZE; ++p) {
        std::memcpy(target.bits + target.pitch * (p / DIB_SIZE) + target.bytes * (p % DIB_SIZE),
                    &layout.white, target.bytes);
    }
}

// The pixel as stored; 32-bit pixels without the byte GDI leaves alone.
uint32_t Raw(int32_t x, int32_t y) {
    GdiFlush();
    uint32_t value = 0;
    std::memcpy(&value, target.bits + target.pitch * y + target.bytes * x, target.bytes);
    return target.bytes == 4 ? value & 0xFFFFFF : value;
}

std::vector<uint32_t> AllPixels() {
    std::vector<uint32_t> all;
    for (int32_t p = 0; p < DIB_SIZE * DIB_SIZE; ++p) {
        all.push_back(Raw(p % DIB_SIZE, p / DIB_SIZE));
    }
    return all;
}

// A colour as a 32-bit DIB holds it: 0x00RRGGBB.
uint32_t DibValue(Color c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

class Primitives : public PartialRuntimeTest {
  protected:
    Primitives() : PartialRuntimeTest(RUNTIME_IMAGES | RUNTIME_DRAWING) {}
    void TearDown() override {
        Close();
        PartialRuntimeTest::TearDown();
    }

    // A session on a new target; the output may be declared smaller than the DIB.
    static DrawingOutput* Open(int32_t kind, const Layout& layout, int32_t size = DIB_SIZE) {
        MakeTarget(layout);
        DrawingOutput* output = DrawingOutputCreate();
        output->kind = kind;
        output->dc = NewDeviceContext();
        output->width = output->height = size;
        output->depth = layout.bits;
        output->pixelFormat = layout.formatCode;
        output->acquireDeviceContext = TakeDeviceContext;
        output->acquirePixels = TakePixelMemory;
        output->releaseOutput = ReleaseTarget;
        EXPECT_EQ(DrawingBegin(output), output->dc);
        return output;
    }

    static void Close() {
        DrawingEnd();
        DeleteObject(target.dib);
        target = {};
    }

    // Sets front and back colour the way the public colour operations do.
    static void Colors(DrawingOutput* output, Color front, Color back) {
        output->frontColor = front;
        output->backColor = back;
        output->operations.applyFrontColor(output, front);
        output->operations.applyBackgroundColor(output, back);
    }
};

TEST_F(Primitives, ShapesCoverWhatTheirGdiCallsCover) {
    for (const ShapeCase& c : SHAPE_CASES) {
        SCOPED_TRACE(c.name);
        DrawingOutput* output = Open(0, L32);
        Colors(output, SHAPE_COLOR, BLUE);
        c.draw(output->operations, output);
        const std::vector<uint32_t> drawn = AllPixels();
        Close();

        MakeTarget(L32);
        HDC dc = NewDeviceContext();
        DrawShapeReference(dc, c);
        DeleteDC(dc);
        EXPECT_EQ(drawn, AllPixels());
        EXPECT_NE(drawn, std::vector<uint32_t>(DIB_SIZE * DIB_SIZE, L32.white));
        Close();
    }
}

// SetPixelColorAt on memory filled with zeros. Direct writes store the exact fields of each
// layout, and GDI reads the same colour back from that memory, which shows the layout is the one
// the format code names. Other outputs and formats go through SetPixelV. Outputs are 8x8 over a
// 32x32 DIB, so a direct write past their edge would land in memory that can be seen.
TEST_F(Primitives, SetPixelColorAtPaths) {
    struct Case {
        int32_t kind;
        Layout layout;
        int32_t x, y;
        Color color;
        uint32_t stored; // at (x, y)
        int32_t access;
    };
    const int32_t S = OUTPUT_KIND_SCREEN, P = ACCESS_PIXELS, D = ACCESS_DEVICE_CONTEXT;
    const Layout UNKNOWN = {32, {}, 0, 0};
    const Case cases[] = {
        {S, L32, 5, 2, BROWN, 0x996633, P},     // alpha 255 written, masked off by Raw
        {S, L32, 5, 2, WHITE, 0xFFFFFF, P},     //
        {S, L16, 5, 2, BROWN, 0x9B26, P},       // red 19, green 25, blue 6
        {S, L16, 5, 2, WHITE, 0xFFFF, P},       // every field bit
        {S, L15, 5, 2, BROWN, 0x4D86, P},       // red 19, green 12, blue 6, top bit 0
        {S, L15, 5, 2, WHITE, 0x7FFF, P},       // every field bit, top bit 0
        {S, L8, 5, 2, BROWN, 0x99, P},          // the low byte
        {S, L32, 7, 7, BROWN, 0x996633, P},     // last pixel of the output
        {S, L32, 8, 0, BROWN, 0, D},            // x = width: ignored
        {S, L16, 0, 8, BROWN, 0, D},            // y = height: ignored
        {0, L32, 5, 2, BROWN, 0x996633, D},     // plain output: SetPixelV
        {S, UNKNOWN, 5, 2, BROWN, 0x996633, D}, // unknown format: SetPixelV
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        DrawingOutput* output = Open(c.kind, c.layout, 8);
        std::memset(target.bits, 0, target.pitch * DIB_SIZE);
        output->operations.setPixelColorAt(output, c.x, c.y, c.color);
        output->operations.setPixelColorAt(output, -1, 0, c.color);
        output->operations.setPixelColorAt(output, 0, -1, c.color);
        EXPECT_EQ(Raw(c.x, c.y), c.stored) << "case " << i;
        EXPECT_EQ(output->accessState, c.access) << "case " << i;
        std::vector<uint32_t> expected(DIB_SIZE * DIB_SIZE, 0);
        expected[c.y * DIB_SIZE + c.x] = c.stored;
        EXPECT_EQ(AllPixels(), expected) << "case " << i;
        if (c.stored && c.layout.bits > 8) {
            const Color back = output->operations.getPixelAt(output, c.x, c.y);
            EXPECT_NEAR(GetRValue(back), GetRValue(c.color), 7) << "case " << i;
            EXPECT_NEAR(GetGValue(back), GetGValue(c.color), 7) << "case " << i;
            EXPECT_NEAR(GetBValue(back), GetBValue(c.color), 7) << "case " << i;
            EXPECT_EQ(target.deviceContextsTaken, c.access == P) << "case " << i;
        }
        EXPECT_EQ(output->operations.getPixelAt(output, -1, -1), CLR_INVALID) << "case " << i;
        // Pixel memory is handed out by screen outputs only.
        const bool screen = c.kind == S;
        EXPECT_EQ(output->operations.pixelBufferAddress(output), screen ? target.bits : nullptr);
        EXPECT_EQ(output->accessState, screen ? P : D) << "case " << i;
        EXPECT_EQ(output->operations.pixelBufferPitch(output), screen ? target.pitch : 0);
        EXPECT_EQ(output->operations.pixelBufferFormat(output), screen ? c.layout.formatCode : 0);
        Close();
    }
}

// After pixel memory was taken, the next device-context operation works on a new device context
// that must carry the session's colours, alignment, mode, pen, brush and font.
TEST_F(Primitives, AccessSwitchReappliesSessionState) {
    HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_TT_ONLY_PRECIS, 0,
                             NONANTIALIASED_QUALITY, 0, "Tahoma");
    const int32_t modes[] = {0, MODE_TRANSPARENT_TEXT, MODE_INVERT, MODE_OUTLINE,
                             MODE_TRANSPARENT_TEXT | MODE_INVERT | MODE_OUTLINE};
    for (int32_t mode : modes) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        DrawingOutput* output = Open(OUTPUT_KIND_SCREEN, L32);
        Colors(output, RED, BLUE);
        output->operations.selectTextFont(output, font);
        output->operations.setDrawingMode(output, mode);
        output->operations.setPixelColorAt(output, 0, 0, BROWN);
        ASSERT_EQ(output->dc, nullptr);

        const int32_t end = output->operations.drawTextAt(output, 2, 2, "HH");
        HDC dc = output->dc;
        EXPECT_EQ(target.deviceContextsTaken, 1);
        EXPECT_EQ(GetTextColor(dc), RED);
        EXPECT_EQ(GetBkColor(dc), BLUE);
        EXPECT_EQ(GetTextAlign(dc), UINT(TA_UPDATECP));
        EXPECT_EQ(GetBkMode(dc), (mode & MODE_TRANSPARENT_TEXT) ? TRANSPARENT : OPAQUE);
        EXPECT_EQ(GetROP2(dc), (mode & MODE_INVERT) ? R2_NOT : R2_COPYPEN);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH),
                  (mode & MODE_OUTLINE) ? GetStockObject(NULL_BRUSH) : output->brush);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), output->pen);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);

        // The text cell holds only the text colour and the background (white when transparent).
        const uint32_t background = (mode & MODE_TRANSPARENT_TEXT) ? L32.white : DibValue(BLUE);
        const int32_t height = output->operations.measureTextHeight(output, "HH");
        EXPECT_EQ(end, 2 + output->operations.measureTextWidth(output, "HH"));
        int32_t text = 0, behind = 0;
        for (int32_t y = 2; y < 2 + height; ++y) {
            for (int32_t x = 2; x < end; ++x) {
                text += Raw(x, y) == DibValue(RED);
                behind += Raw(x, y) == background;
            }
        }
        EXPECT_GT(text, 0);
        EXPECT_GT(behind, 0);
        EXPECT_EQ(text + behind, (end - 2) * height);
        EXPECT_EQ(Raw(0, 0), DibValue(BROWN));
        Close();
    }
    DeleteObject(font);
}

TEST_F(Primitives, OutlineModeKeepsTheBrushUntilLeft) {
    DrawingOutput* output = Open(0, L32);
    Colors(output, RED, BLUE);
    HBRUSH redBrush = output->brush;
    HPEN redPen = output->pen;
    output->operations.setDrawingMode(output, MODE_OUTLINE);
    output->frontColor = BLUE;
    output->operations.applyFrontColor(output, BLUE);
    EXPECT_EQ(output->brush, redBrush);
    EXPECT_NE(output->pen, redPen);
    EXPECT_EQ(GetCurrentObject(output->dc, OBJ_BRUSH), GetStockObject(NULL_BRUSH));
    output->operations.drawRectangle(output, 2, 2, 8, 8);
    EXPECT_EQ(Raw(2, 2), DibValue(BLUE));
    EXPECT_EQ(Raw(5, 5), L32.white);

    // Leaving the mode makes the brush again, in the front colour.
    output->operations.setDrawingMode(output, 0);
    EXPECT_EQ(GetCurrentObject(output->dc, OBJ_BRUSH), output->brush);
    output->operations.drawRectangle(output, 12, 2, 8, 8);
    EXPECT_EQ(Raw(15, 5), DibValue(BLUE));
}

// A black frame (3..12, 3..12) on white with the unused byte set, filled from inside after pixel
// memory was taken; outside it stays white. In outline mode a brush of the front colour does the
// fill and the mode is back after.
TEST_F(Primitives, FloodFillFillsTheConnectedArea) {
    struct Case {
        int32_t mode;
        Color border;
    };
    const Case cases[] = {{0, COLOR_NONE},
                          {MODE_OUTLINE, COLOR_NONE},
                          {0, BLACK},
                          {MODE_OUTLINE | MODE_TRANSPARENT_TEXT, BLACK}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        DrawingOutput* output = Open(OUTPUT_KIND_SCREEN, L32);
        std::memset(target.bits, 0xFF, target.pitch * DIB_SIZE); // white as Direct3D clears
        Colors(output, BLACK, BLUE);
        output->operations.setDrawingMode(output, MODE_OUTLINE);
        output->operations.drawRectangle(output, 3, 3, 10, 10);
        output->frontColor = RED;
        output->operations.setDrawingMode(output, cases[i].mode);
        output->operations.pixelBufferAddress(output);
        output->operations.floodFillAt(output, 8, 8, cases[i].border);
        EXPECT_EQ(output->mode, cases[i].mode) << "case " << i;
        EXPECT_EQ(GetCurrentObject(output->dc, OBJ_BRUSH) == GetStockObject(NULL_BRUSH),
                  (cases[i].mode & MODE_OUTLINE) != 0)
            << "case " << i;
        std::vector<uint32_t> expected(DIB_SIZE * DIB_SIZE, L32.white);
        for (int32_t p = 0; p < DIB_SIZE * DIB_SIZE; ++p) {
            const int32_t x = p % DIB_SIZE, y = p / DIB_SIZE;
            if (x >= 3 && x <= 12 && y >= 3 && y <= 12) {
                expected[p] = (x == 3 || x == 12 || y == 3 || y == 12) ? 0 : DibValue(RED);
            }
        }
        EXPECT_EQ(AllPixels(), expected) << "case " << i;
        Close();
    }
}

TEST_F(Primitives, RotatedTextCachesItsFont) {
    DrawingOutput* output = Open(0, L32);
    Colors(output, RED, BLUE);
    struct Case {
        float angle;
        LONG escapement;
        bool newFont;
    };
    const Case cases[] = {{450.0f, 900, true},
                          {90.0f, 900, false},
                          {-30.0f, -300, true},
                          {-30.0f, -300, false},
                          {12.34f, 123, true}};
    HFONT previous = nullptr;
    for (size_t i = 0; i < std::size(cases); ++i) {
        output->operations.drawRotatedTextAt(output, 8, 20, "Hi", cases[i].angle);
        ASSERT_NE(output->rotatedFont, nullptr) << "case " << i;
        EXPECT_EQ(output->rotatedFont != previous, cases[i].newFont) << "case " << i;
        previous = output->rotatedFont;
        LOGFONTA made = {};
        GetObjectA(output->rotatedFont, sizeof made, &made);
        EXPECT_EQ(made.lfEscapement, cases[i].escapement) << "case " << i;
        EXPECT_EQ(made.lfOrientation, cases[i].escapement) << "case " << i;
        // The upright font and the opaque background are back.
        EXPECT_EQ(GetCurrentObject(output->dc, OBJ_FONT), output->font) << "case " << i;
        EXPECT_EQ(GetBkMode(output->dc), OPAQUE) << "case " << i;
    }
    // Drawn, on a transparent background.
    const std::vector<uint32_t> all = AllPixels();
    EXPECT_GT(std::count(all.begin(), all.end(), DibValue(RED)), 0);
    EXPECT_EQ(std::count(all.begin(), all.end(), DibValue(BLUE)), 0);

    output->operations.selectTextFont(output, TEXT_FONT_SYSTEM);
    EXPECT_EQ(output->rotatedFont, nullptr);
    EXPECT_EQ(output->font, GetStockObject(SYSTEM_FONT));
}

// Widths and heights against GetTextExtentPoint32A on a context of our own; an italic font adds
// its overhang to the width.
TEST_F(Primitives, TextMeasures) {
    DrawingOutput* output = Open(0, L32);
    HDC probe = CreateCompatibleDC(nullptr);
    for (int italic = 0; italic < 2; ++italic) {
        SCOPED_TRACE(testing::Message() << "italic " << italic);
        HFONT font = CreateFontA(-20, 0, 0, 0, FW_NORMAL, italic, 0, 0, ANSI_CHARSET,
                                 OUT_TT_ONLY_PRECIS, 0, NONANTIALIASED_QUALITY, 0, "Tahoma");
        output->operations.selectTextFont(output, font);
        HGDIOBJ old = SelectObject(probe, font);
        SIZE extent = {};
        GetTextExtentPoint32A(probe, "Hello", 5, &extent);
        SelectObject(probe, old);
        EXPECT_EQ(output->italicOverhang > 0, italic == 1);
        EXPECT_LT(output->italicOverhang, extent.cx / 5);
        EXPECT_EQ(output->operations.measureTextWidth(output, "Hello"),
                  extent.cx + output->italicOverhang);
        EXPECT_EQ(output->operations.measureTextHeight(output, "Hello"), extent.cy);
        for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
            EXPECT_EQ(output->operations.measureTextWidth(output, empty), 0);
            EXPECT_EQ(output->operations.measureTextHeight(output, empty), 0);
            EXPECT_EQ(output->operations.drawTextAt(output, 7, 3, empty), 7);
        }
        output->operations.selectTextFont(output, TEXT_FONT_SYSTEM);
        DeleteObject(font);
    }
    DeleteDC(probe);
}

// A capture copies the region into a new DIB section under the image number it was given.
TEST_F(Primitives, CaptureMakesAnImage) {
    struct Case {
        int32_t kind;
        const Layout* layout;
        ObjectNumber number;
        bool pixelsTaken;
        int32_t depth; // of the image made, 0 when none
    };
    const Case cases[] = {
        {0, &L32, DYNAMIC_NUMBER, false, 32},
        {0, &L32, 3, false, 32},
        {OUTPUT_KIND_DIB_ONLY, &L32, 3, false, 0},
        {OUTPUT_KIND_SCREEN, &L32, DYNAMIC_NUMBER, true, 32},
        {OUTPUT_KIND_SCREEN, &L16, 3, true, 24}, // the bitmap's own depth
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        DrawingOutput* output = Open(c.kind, *c.layout);
        Colors(output, RED, BLUE);
        output->operations.setPixelAt(output, 6, 5);
        if (c.pixelsTaken) {
            output->operations.pixelBufferAddress(output);
        }
        const ObjectNumber made =
            output->operations.captureRegionToImage(output, c.number, 4, 5, 3, 2);
        if (!c.depth) {
            EXPECT_EQ(made, 0) << "case " << i;
            Close();
            continue;
        }
        const ObjectNumber number = c.number == DYNAMIC_NUMBER ? made : c.number;
        auto* record = static_cast<ImageRecord*>(RegistryLookup(ImageRegistry(), number));
        ASSERT_NE(record, nullptr) << "case " << i;
        EXPECT_EQ(made, c.number == DYNAMIC_NUMBER ? RegistryNumberOf(record)
                                                   : ObjectNumber(record->nativeHandle))
            << "case " << i;
        EXPECT_EQ(record->width, 3);
        EXPECT_EQ(record->height, 2);
        EXPECT_EQ(record->depth, c.depth) << "case " << i;
        EXPECT_EQ(record->secondDepth, 0);
        // Bottom-up: the first row in memory is the region's lower row; (6, 5) is red.
        BITMAP bitmap = {};
        GetObjectA(record->nativeHandle, sizeof bitmap, &bitmap);
        for (int32_t p = 0; p < 6; ++p) {
            uint32_t value = 0;
            std::memcpy(&value,
                        static_cast<uint8_t*>(bitmap.bmBits) + bitmap.bmWidthBytes * (1 - p / 3) +
                            bitmap.bmBitsPixel / 8 * (p % 3),
                        bitmap.bmBitsPixel / 8);
            EXPECT_EQ(value & 0xFFFFFF, p == 2 ? DibValue(RED) : 0xFFFFFFu)
                << "case " << i << " pixel " << p;
        }
        Close();
    }
}

} // namespace
