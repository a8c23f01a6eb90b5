// Primitives on the screen's back buffer: on Wine's own Direct3D 9 (ScreenPrimitives), and on
// the d3d9.dll test double for the 16- and 15-bit back buffers that the platform does not give
// here (DoublePrimitives, run with the double loaded in place of Wine's). Pixels are read back
// through the output's own pixel access, which takes the back buffer's memory from its device
// context exactly as a caller would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drawing/primitives.h"
#include "image/image.h"
#include "screen/screen.h"
#include "screen_support.h"
#include "shape_cases.h"

namespace {

const Color RED = RGB(255, 0, 0), BLUE = RGB(0, 0, 255), BLACK = RGB(0, 0, 0);
const Color BROWN = RGB(153, 102, 51), WHITE = RGB(255, 255, 255);

// A colour as the 32-bit back buffer holds it, without its unused byte.
uint32_t Stored(Color c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// Runs where its back buffers are: on Wine's own Direct3D 9, or on the double.
class OnScreen : public ScreenTest {
  protected:
    explicit OnScreen(bool onDouble) : onDouble_(onDouble) {}
    void SetUp() override {
        if ((LoadD3d9Double() != nullptr) != onDouble_)
            GTEST_SKIP() << "runs on " << (onDouble_ ? "the d3d9.dll test double" : "Wine's own");
        ScreenTest::SetUp();
        ImageRegistryInit();
    }
    void TearDown() override {
        if (IsSkipped())
            return;
        DrawingEnd();
        ImageFreeAll();
        ScreenTest::TearDown();
    }

    // Opens an 800x600 screen the first time, clears it to white and begins a session on its
    // back buffer with a red front and a blue back colour.
    DrawingOutput* Begin() {
        if (!parent_) {
            EXPECT_EQ(ScreenInit(), 1);
            parent_ = MakeParent(800, 600);
            Reopen();
        }
        ClearScreen(WHITE);
        DrawingOutput* output = ScreenDrawingOutput();
        EXPECT_NE(output, nullptr);
        if (output && DrawingBegin(output)) {
            output->frontColor = RED;
            output->backColor = BLUE;
            output->operations.applyFrontColor(output, RED);
            output->operations.applyBackgroundColor(output, BLUE);
            return output;
        }
        return nullptr;
    }

    void Reopen() { EXPECT_EQ(ScreenOpenWindowed(parent_, 0, 0, 800, 600, 0, 0, 0), 1); }

    // The pixel as stored in the back buffer; with mask, without the 32-bit unused byte.
    static uint32_t Raw(DrawingOutput* output, int32_t x, int32_t y, bool mask = true) {
        const uint8_t* row = static_cast<uint8_t*>(output->operations.pixelBufferAddress(output)) +
                             output->operations.pixelBufferPitch(output) * y;
        if (output->pixelFormat != PIXEL_FORMAT_32) {
            return reinterpret_cast<const uint16_t*>(row)[x];
        }
        const uint32_t value = reinterpret_cast<const uint32_t*>(row)[x];
        return mask ? value & 0xFFFFFF : value;
    }

  private:
    bool onDouble_;
    HWND parent_ = nullptr;
};

struct ScreenPrimitives : OnScreen {
    ScreenPrimitives() : OnScreen(false) {}
};
struct DoublePrimitives : OnScreen {
    DoublePrimitives() : OnScreen(true) {}
};

TEST_F(ScreenPrimitives, ShapesCoverWhatTheirGdiCallsCover) {
    HDC reference = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 32, -32, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(reference, bitmap);
    for (const ShapeCase& c : SHAPE_CASES) {
        SCOPED_TRACE(c.name);
        std::memset(bits, 0xFF, 32 * 32 * 4);
        DrawShapeReference(reference, c);
        GdiFlush();
        DrawingOutput* output = Begin();
        ASSERT_NE(output, nullptr);
        c.draw(output->operations, output);
        std::vector<uint32_t> drawn, expected;
        for (int32_t p = 0; p < 32 * 32; ++p) {
            drawn.push_back(Raw(output, p % 32, p / 32));
            expected.push_back(static_cast<uint32_t*>(bits)[p] & 0xFFFFFF);
        }
        EXPECT_EQ(drawn, expected);
        DrawingEnd();
    }
    DeleteObject(SelectObject(reference, old));
    DeleteDC(reference);
}

// Direct writes into the back buffer, then text through a device context taken back: it must
// carry the session's colours, alignment and font.
TEST_F(ScreenPrimitives, TextAfterDirectWritesKeepsTheSessionState) {
    DrawingOutput* output = Begin();
    ASSERT_NE(output, nullptr);
    ASSERT_EQ(output->pixelFormat, PIXEL_FORMAT_32);
    HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_TT_ONLY_PRECIS, 0,
                             NONANTIALIASED_QUALITY, 0, "Tahoma");
    output->operations.selectTextFont(output, font);
    output->operations.setPixelColorAt(output, 5, 2, BROWN);
    output->operations.setPixelColorAt(output, 6, 2, WHITE);
    output->operations.setPixelColorAt(output, 800, 2, BROWN); // ignored, not past the row
    EXPECT_EQ(output->accessState, ACCESS_PIXELS);
    EXPECT_EQ(Raw(output, 5, 2, false), 0xFF996633u);
    EXPECT_EQ(Raw(output, 6, 2, false), 0xFFFFFFFFu);
    EXPECT_EQ(Raw(output, 0, 3), Stored(WHITE));

    const int32_t end = output->operations.drawTextAt(output, 2, 10, "HH");
    ASSERT_NE(output->dc, nullptr);
    EXPECT_EQ(GetTextColor(output->dc), RED);
    EXPECT_EQ(GetBkColor(output->dc), BLUE);
    EXPECT_EQ(GetTextAlign(output->dc), UINT(TA_UPDATECP));
    EXPECT_EQ(GetCurrentObject(output->dc, OBJ_FONT), font);
    const int32_t height = output->operations.measureTextHeight(output, "HH");
    EXPECT_EQ(end, 2 + output->operations.measureTextWidth(output, "HH"));
    int32_t text = 0, behind = 0;
    for (int32_t y = 10; y < 10 + height; ++y) {
        for (int32_t x = 2; x < end; ++x) {
            text += Raw(output, x, y) == Stored(RED);
            behind += Raw(output, x, y) == Stored(BLUE);
        }
    }
    EXPECT_GT(text, 0);
    EXPECT_GT(behind, 0);
    EXPECT_EQ(text + behind, (end - 2) * height);
    DrawingEnd();
    DeleteObject(font);
}

// A black frame (3..12, 3..12), pixel memory taken, then a fill from inside and captures.
TEST_F(ScreenPrimitives, FillAndCaptureAfterPixelAccess) {
    DrawingOutput* output = Begin();
    ASSERT_NE(output, nullptr);
    output->frontColor = BLACK;
    output->operations.setDrawingMode(output, MODE_OUTLINE);
    output->operations.drawRectangle(output, 3, 3, 10, 10);
    output->frontColor = RED;
    output->operations.setDrawingMode(output, 0);
    output->operations.floodFillAt(output, 8, 8, COLOR_NONE);
    const struct {
        int32_t x, y;
        Color color;
    } probes[] = {{4, 4, RED},    {11, 11, RED}, {3, 8, BLACK},
                  {12, 3, BLACK}, {2, 2, WHITE}, {13, 8, WHITE}};
    for (const auto& p : probes) {
        EXPECT_EQ(Raw(output, p.x, p.y), Stored(p.color)) << "at " << p.x << ", " << p.y;
    }

    output->operations.pixelBufferAddress(output);
    const ObjectNumber dynamic =
        output->operations.captureRegionToImage(output, DYNAMIC_NUMBER, 2, 4, 3, 2);
    auto* record = static_cast<ImageRecord*>(RegistryLookup(ImageRegistry(), dynamic));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(dynamic, RegistryNumberOf(record));
    EXPECT_EQ(record->depth, 32);
    // Bottom-up rows of (2..4, 4..5): white, black frame, red inside.
    BITMAP bitmap = {};
    GetObjectA(record->nativeHandle, sizeof bitmap, &bitmap);
    const uint32_t* captured = static_cast<const uint32_t*>(bitmap.bmBits);
    for (int32_t row = 0; row < 2; ++row) {
        EXPECT_EQ(captured[row * 3 + 0] & 0xFFFFFF, Stored(WHITE));
        EXPECT_EQ(captured[row * 3 + 1] & 0xFFFFFF, Stored(BLACK));
        EXPECT_EQ(captured[row * 3 + 2] & 0xFFFFFF, Stored(RED));
    }
    output->operations.pixelBufferAddress(output);
    const ObjectNumber fixed = output->operations.captureRegionToImage(output, 3, 0, 0, 8, 8);
    EXPECT_NE(fixed, 0);
    EXPECT_EQ(fixed, reinterpret_cast<ObjectNumber>(ImageNativeHandle(3)));
}

// The 16-bit back buffers of the double: exact fields written directly, and the colour GDI reads
// back from them through the device context taken back.
TEST_F(DoublePrimitives, DirectWritesInSixteenBitBackBuffers) {
    const struct {
        D3DFORMAT format;
        int32_t code;
        Color color;
        uint32_t stored;
    } cases[] = {
        {D3DFMT_R5G6B5, PIXEL_FORMAT_16, BROWN, 0x9B26},   // red 19, green 25, blue 6
        {D3DFMT_R5G6B5, PIXEL_FORMAT_16, WHITE, 0xFFFF},   // every field bit
        {D3DFMT_X1R5G5B5, PIXEL_FORMAT_15, BROWN, 0x4D86}, // red 19, green 12, blue 6, top 0
        {D3DFMT_X1R5G5B5, PIXEL_FORMAT_15, WHITE, 0x7FFF}, // every field bit, top 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "format " << c.format << ", colour " << std::hex << c.color);
        Begin();
        DrawingEnd();
        LoadD3d9Double()->set(("format=" + std::to_string(c.format)).c_str());
        Reopen();
        DrawingOutput* output = Begin();
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(output->operations.pixelBufferFormat(output), c.code);
        output->operations.setPixelColorAt(output, 5, 2, BLACK);
        output->operations.setPixelColorAt(output, 5, 2, c.color);
        EXPECT_EQ(output->operations.pixelBufferPitch(output), 1600);
        EXPECT_EQ(Raw(output, 5, 2), c.stored);
        const Color back = output->operations.getPixelAt(output, 5, 2);
        EXPECT_NEAR(GetRValue(back), GetRValue(c.color), 7);
        EXPECT_NEAR(GetGValue(back), GetGValue(c.color), 7);
        EXPECT_NEAR(GetBValue(back), GetBValue(c.color), 7);
        DrawingEnd();
    }
}

} // namespace
