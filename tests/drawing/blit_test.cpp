// Image blits on real GDI outputs: the screen's back buffer (when the screen is part of the
// build), a plain device-context output and a DIB-only output, each 800x600 and read back
// pixel by pixel. The same program runs again with Wine refusing msimg32.dll
// (ONEBOX_EXPECT_MSIMG32=0), where every blend becomes a copy.
#include "drawing/blit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "drawing/session.h"
#include "gdi_handles.h"
#include "image/image.h"
#include "probe/probe.h"
#include "random/random.h"
#include "screen/screen.h"
#include "tests/app/partial_runtime.h"
#include "window/events.h"
#include "window/window.h"

namespace {

constexpr int WIDTH = 800, HEIGHT = 600;
constexpr uint32_t GREY = 0x888888;
constexpr int32_t OUTPUT_KIND_PLAIN = 0;

bool AlphaBlendExpected() {
    const char* v = std::getenv("ONEBOX_EXPECT_MSIMG32");
    return !v || std::string(v) != "0";
}

// Where the blits land: an output of some kind over an 800x600 target that can be cleared to
// grey and read back as 0x00RRGGBB pixels, top row first.
class Target {
  public:
    virtual ~Target() = default;
    virtual std::string Name() const = 0;
    virtual void Clear() = 0;
    // Made, begun and current; null on failure.
    virtual DrawingOutput* Begin() = 0;
    virtual std::vector<uint32_t> Pixels() = 0;
    // The rest of a frame loop's turn: the flip and the wait for an event.
    virtual void Present() {}
};

// A memory device context over a top-down 32-bit section.
class CanvasTarget : public Target {
  public:
    explicit CanvasTarget(int32_t kind) : kind_(kind) {
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), WIDTH, -HEIGHT, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels_ = static_cast<uint32_t*>(bits);
        previous_ = SelectObject(dc, bitmap_);
    }
    ~CanvasTarget() override {
        SelectObject(dc, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc);
    }
    std::string Name() const override {
        return kind_ == OUTPUT_KIND_DIB_ONLY ? "DIB-only output" : "plain output";
    }
    void Clear() override {
        GdiFlush();
        std::fill(pixels_, pixels_ + WIDTH * HEIGHT, GREY);
    }
    DrawingOutput* Begin() override {
        DrawingOutput* output = DrawingOutputCreate();
        if (!output)
            return nullptr;
        output->kind = kind_;
        output->dc = dc;
        output->width = WIDTH;
        output->height = HEIGHT;
        output->depth = 32;
        return DrawingBegin(output) ? output : nullptr;
    }
    std::vector<uint32_t> Pixels() override {
        GdiFlush();
        std::vector<uint32_t> p(pixels_, pixels_ + WIDTH * HEIGHT);
        for (uint32_t& v : p)
            v &= 0xFFFFFF;
        return p;
    }

    HDC dc;

  private:
    int32_t kind_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
    uint32_t* pixels_;
};

// The screen's back buffer in window 0, opened as the main routine opens it.
class ScreenTarget : public Target {
  public:
    // The window layer is running; the screen is closed at the runtime's shutdown.
    bool Open() {
        ScreenInit();
        return WindowOpen(0, 0, 0, WIDTH, HEIGHT, "blits",
                          WS_CAPTION | WS_SYSMENU | WINDOW_SCREEN_CENTERED) &&
               ScreenOpenWindowed(WindowNativeHandle(0), 0, 0, WIDTH, HEIGHT, 0, 0, 0);
    }
    std::string Name() const override { return "screen output"; }
    void Clear() override { ClearScreen(GREY); }
    DrawingOutput* Begin() override {
        return DrawingBegin(ScreenDrawingOutput()) ? DrawingCurrentOutput() : nullptr;
    }
    std::vector<uint32_t> Pixels() override {
        std::vector<uint32_t> p(WIDTH * HEIGHT);
        IDirect3DSurface9* backBuffer = ScreenStateGet()->backBuffer;
        D3DLOCKED_RECT locked;
        if (!backBuffer || FAILED(backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY)))
            return p;
        for (int y = 0; y < HEIGHT; y++) {
            auto* row = reinterpret_cast<const uint32_t*>(static_cast<uint8_t*>(locked.pBits) +
                                                          y * locked.Pitch);
            for (int x = 0; x < WIDTH; x++)
                p[y * WIDTH + x] = row[x] & 0xFFFFFF;
        }
        backBuffer->UnlockRect();
        return p;
    }
    void Present() override {
        ScreenFlip();
        WindowWaitEvent(2);
    }
};

// What differs from grey: its bounding box, how many pixels, and whether all of them are
// within 2 of one colour per channel (blends are rounded by whoever computes them).
struct Drawn {
    int x = 0, y = 0, width = 0, height = 0, count = 0;
    bool uniform = true;
    uint32_t colour = 0;
};

bool Near(uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8) {
        int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d < -2 || d > 2)
            return false;
    }
    return true;
}

Drawn WhatWasDrawn(const std::vector<uint32_t>& pixels) {
    Drawn d;
    int left = WIDTH, top = HEIGHT, right = -1, bottom = -1;
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            uint32_t c = pixels[y * WIDTH + x];
            if (c == GREY)
                continue;
            if (d.count++ == 0)
                d.colour = c;
            d.uniform = d.uniform && Near(c, d.colour);
            left = std::min(left, x);
            top = std::min(top, y);
            right = std::max(right, x);
            bottom = std::max(bottom, y);
        }
    if (d.count > 0) {
        d.x = left;
        d.y = top;
        d.width = right - left + 1;
        d.height = bottom - top + 1;
    }
    return d;
}

// A 20x20 32-bit image of one pixel value, alpha byte included.
HANDLE SolidImage(ObjectNumber number, uint32_t pixel) {
    auto bitmap = reinterpret_cast<HBITMAP>(
        ImageCreateWithDepth(number, 20, 20, 32 + IMAGE_TRANSPARENT_FILL));
    BITMAP info = {};
    GetObjectA(bitmap, sizeof info, &info);
    auto* p = static_cast<uint32_t*>(info.bmBits);
    for (int i = 0; i < 400; i++)
        p[i] = pixel;
    return bitmap;
}

HICON RedIcon() {
    std::vector<uint32_t> red(16 * 16, 0x00FF0000);
    HBITMAP colour = CreateBitmap(16, 16, 1, 32, red.data());
    HBITMAP mask = CreateBitmap(16, 16, 1, 1, nullptr); // all 0: every pixel opaque
    ICONINFO made = {TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&made);
    DeleteObject(mask);
    DeleteObject(colour);
    return icon;
}

class BlitTest : public PartialRuntimeTest {
  protected:
    BlitTest()
        : PartialRuntimeTest(RUNTIME_SYSTEM_LIBRARIES | RUNTIME_IMAGES | RUNTIME_DRAWING |
                             RUNTIME_GADGETS | RUNTIME_WINDOWS | RUNTIME_SCREEN) {}
    void SetUp() override {
        PartialRuntimeTest::SetUp();
        ASSERT_EQ(AlphaBlendEntry != nullptr, AlphaBlendExpected());
        black_ = reinterpret_cast<HANDLE>(ImageCreate(0, 20, 20));
        clearWhite_ = SolidImage(1, 0x00FFFFFF); // alpha 0 everywhere
        opaqueRed_ = SolidImage(2, 0xFFFF0000);  // alpha 255
        halfRed_ = SolidImage(3, 0x80FF0000);    // alpha 128
        icon_ = RedIcon();
        ASSERT_TRUE(black_ && clearWhite_ && opaqueRed_ && halfRed_ && icon_);
        ASSERT_TRUE(screen_.Open()) << "window 0 with a screen inside";
        targets_ = {&screen_, &plain_, &dibOnly_};
    }
    void TearDown() override {
        if (DrawingCurrentOutput())
            DrawingEnd();
        DestroyIcon(icon_);
        PartialRuntimeTest::TearDown();
    }

    ScreenTarget screen_;
    CanvasTarget plain_{OUTPUT_KIND_PLAIN}, dibOnly_{OUTPUT_KIND_DIB_ONLY};
    // The program's own output first.
    std::vector<Target*> targets_;
    HANDLE black_ = nullptr, clearWhite_ = nullptr, opaqueRed_ = nullptr, halfRed_ = nullptr;
    HICON icon_ = nullptr;
};

enum class Call { MainRoutine, Scaled, Translucent };

TEST_F(BlitTest, EachSlotDrawsTheImageAtItsPlaceAndSize) {
    const bool blends = AlphaBlendExpected();
    // Grey 0x88 under black at opacity 128: 0x88 x 127/255, rounded either way.
    const uint32_t halfGrey = 0x444444;
    // Red premultiplied to 127 over grey at alpha 128: 127 + 0x88 x 127/255.
    const uint32_t redOverGrey = 0xC34444;
    struct Case {
        const char* what;
        HANDLE image;
        Call call;
        int32_t width, height, opacity;
        int drawnWidth, drawnHeight; // 0: nothing drawn
        uint32_t colour;
    } cases[] = {
        {"main routine's blit", black_, Call::MainRoutine, 0, 0, 0, 20, 20, 0x000000},
        {"width 30, height 0", black_, Call::Scaled, 30, 0, 0, 20, 20, 0x000000},
        {"width 0, height 30", black_, Call::Scaled, 0, 30, 0, 20, 20, 0x000000},
        {"stretched", black_, Call::Scaled, 30, 40, 0, 30, 40, 0x000000},
        {"icon at its size", icon_, Call::MainRoutine, 0, 0, 0, 16, 16, 0xFF0000},
        {"icon stretched", icon_, Call::Scaled, 24, 32, 0, 24, 32, 0xFF0000},
        {"opacity 0", black_, Call::Translucent, 0, 0, 0, 0, 0, 0},
        {"opacity 255 without alpha", black_, Call::Translucent, 0, 0, 255, 20, 20, 0x000000},
        {"opacity 256: 0 blended, but not 0", black_, Call::Translucent, 0, 0, 256, blends ? 0 : 20,
         blends ? 0 : 20, 0x000000},
        {"opacity 128", black_, Call::Translucent, 0, 0, 128, 20, 20, blends ? halfGrey : 0x000000},
        {"alpha 0 everywhere", clearWhite_, Call::Translucent, 0, 0, 255, blends ? 0 : 20,
         blends ? 0 : 20, 0xFFFFFF},
        {"alpha 0 everywhere, opacity 1", clearWhite_, Call::Translucent, 0, 0, 1, blends ? 0 : 20,
         blends ? 0 : 20, 0xFFFFFF},
        {"alpha 255", opaqueRed_, Call::Translucent, 0, 0, 255, 20, 20, 0xFF0000},
        {"alpha 128", halfRed_, Call::Translucent, 0, 0, 255, 20, 20,
         blends ? redOverGrey : 0xFF0000},
        {"alpha 128, opacity 0", halfRed_, Call::Translucent, 0, 0, 0, 0, 0, 0},
        {"an icon is no bitmap to blend", icon_, Call::Translucent, 0, 0, 255, 0, 0, 0},
    };
    for (Target* target : targets_) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", " + target->Name());
            target->Clear();
            DrawingOutput* output = target->Begin();
            ASSERT_NE(output, nullptr);
            // The main routine's order: y first, then x.
            int32_t y = RandomUpTo(570) + 5;
            int32_t x = RandomUpTo(770) + 5;
            // Drawings larger than the square stay whole inside the target to be measured.
            x = std::min(x, WIDTH - std::max(c.drawnWidth, 20));
            y = std::min(y, HEIGHT - std::max(c.drawnHeight, 20));
            int stretchMode = GetStretchBltMode(output->dc);
            switch (c.call) {
            case Call::MainRoutine:
                DrawingBlitImage(c.image, x, y);
                break;
            case Call::Scaled:
                output->operations.blitImageScaled(output, c.image, x, y, c.width, c.height);
                break;
            case Call::Translucent:
                output->operations.blitImageTranslucent(output, c.image, x, y, c.opacity);
                break;
            }
            if (c.call == Call::MainRoutine && output->kind != OUTPUT_KIND_DIB_ONLY) {
                EXPECT_EQ(GetStretchBltMode(output->dc), stretchMode) << "nothing stretched";
            }
            DrawingEnd();
            Drawn d = WhatWasDrawn(target->Pixels());
            if (c.drawnWidth == 0) {
                EXPECT_EQ(d.count, 0);
                continue;
            }
            EXPECT_EQ(d.x, x);
            EXPECT_EQ(d.y, y);
            EXPECT_EQ(d.width, c.drawnWidth);
            EXPECT_EQ(d.height, c.drawnHeight);
            EXPECT_EQ(d.count, c.drawnWidth * c.drawnHeight) << "a filled rectangle";
            EXPECT_TRUE(d.uniform);
            EXPECT_TRUE(Near(d.colour, c.colour)) << std::hex << d.colour;
        }
    }
}

TEST_F(BlitTest, InvertingTwiceRestoresTheDestination) {
    // A pattern, so that an inversion cannot pass for a no-op.
    auto pattern = static_cast<HBITMAP>(SolidImage(4, 0));
    BITMAP info = {};
    GetObjectA(pattern, sizeof info, &info);
    auto* p = static_cast<uint32_t*>(info.bmBits);
    for (uint32_t i = 0; i < 400; i++)
        p[i] = (i * 0x0A0B0C) & 0xFFFFFF;
    for (Target* target : targets_) {
        SCOPED_TRACE(target->Name());
        for (int times = 1; times <= 2; times++) {
            target->Clear();
            DrawingOutput* output = target->Begin();
            ASSERT_NE(output, nullptr);
            output->mode = MODE_INVERT;
            for (int i = 0; i < times; i++)
                DrawingBlitImage(pattern, 100, 50);
            DrawingEnd();
            std::vector<uint32_t> pixels = target->Pixels();
            if (times == 2) {
                EXPECT_EQ(WhatWasDrawn(pixels).count, 0) << "the destination is restored";
                continue;
            }
            // Rows of the image are stored bottom-up.
            int wrong = 0;
            for (int y = 0; y < 20; y++)
                for (int x = 0; x < 20; x++)
                    wrong += pixels[(50 + y) * WIDTH + 100 + x] != (GREY ^ p[(19 - y) * 20 + x]);
            EXPECT_EQ(wrong, 0) << "each pixel is the destination XOR the image";
        }
    }
}

TEST_F(BlitTest, PremultipliedCopyDividesBy256) {
    struct Case {
        uint32_t pixel, premultiplied; // 0xAARRGGBB
    } cases[] = {
        {0x80FF0000, 0x807F0000},                           // 255 x 128 >> 8 = 127
        {0x80FFFFFF, 0x807F7F7F}, {0xFFC86432, 0xFFC86432}, // opaque pixels stay as they are
        {0x00FFFFFF, 0x00000000}, {0x01FF0000, 0x01000000}, // 255 x 1 / 255 would give 1
        {0xFEFFFFFF, 0xFEFDFDFD},                           // 255 x 254 / 255 would give 254
        {0x40C86404, 0x40321901},
    };
    const int n = sizeof cases / sizeof cases[0];
    auto source = reinterpret_cast<HBITMAP>(ImageCreateWithDepth(5, n, 1, 32));
    BITMAP info = {};
    GetObjectA(source, sizeof info, &info);
    for (int i = 0; i < n; i++)
        static_cast<uint32_t*>(info.bmBits)[i] = cases[i].pixel;

    HBITMAP copy = PremultipliedCopy(source, nullptr);
    if (!AlphaBlendExpected()) {
        EXPECT_EQ(copy, nullptr) << "no copy is needed where nothing can blend it";
        return;
    }
    ASSERT_NE(copy, nullptr);
    DIBSECTION s = {};
    ASSERT_EQ(GetObjectA(copy, sizeof s, &s), static_cast<int>(sizeof s));
    EXPECT_EQ(s.dsBm.bmBitsPixel, 32);
    EXPECT_EQ(s.dsBmih.biHeight, 1);
    for (int i = 0; i < n; i++)
        EXPECT_EQ(static_cast<uint32_t*>(s.dsBm.bmBits)[i], cases[i].premultiplied) << "case " << i;
    DeleteObject(copy);
}

TEST_F(BlitTest, AlphaChannelOfSectionsAndDeviceBitmaps) {
    const uint32_t noAlpha[4] = {0x00FFFFFF, 0x00123456, 0, 0};
    const uint32_t oneAlpha[4] = {0, 0, 0, 0x01000000};
    HBITMAP deviceNoAlpha = CreateBitmap(2, 2, 1, 32, noAlpha);
    HBITMAP deviceOneAlpha = CreateBitmap(2, 2, 1, 32, oneAlpha);
    struct Case {
        const char* what;
        HANDLE image;
        bool alpha;
    } cases[] = {
        {"32-bit section, alpha 0 everywhere", clearWhite_, true}, // pixels are not read
        {"24-bit section", black_, false},
        {"32-bit bitmap, alpha 0 everywhere", deviceNoAlpha, false},
        {"32-bit bitmap, one alpha byte set", deviceOneAlpha, true},
        {"icon", icon_, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImageHasAlphaChannel(static_cast<HBITMAP>(c.image)),
                  c.alpha && AlphaBlendExpected())
            << c.what;
    DeleteObject(deviceNoAlpha);
    DeleteObject(deviceOneAlpha);
}

// A screen output that handed its device context over for pixel access still names the old
// one; the translucent blit must take it back before making a compatible context from it.
HDC canvasDc;
HDC GiveCanvasDc(DrawingOutput*) { return canvasDc; }

TEST_F(BlitTest, TranslucentBlitTakesTheScreensDeviceContextBackFirst) {
    canvasDc = plain_.dc;
    plain_.Clear();
    DrawingOutput* output = plain_.Begin();
    ASSERT_NE(output, nullptr);
    output->kind = OUTPUT_KIND_SCREEN;
    output->acquireDeviceContext = GiveCanvasDc;
    HDC gone = CreateCompatibleDC(nullptr);
    DeleteDC(gone);
    output->accessState = ACCESS_PIXELS;
    output->dc = gone;
    output->operations.blitImageTranslucent(output, black_, 40, 30, 255);
    EXPECT_EQ(output->dc, plain_.dc);
    DrawingEnd();
    Drawn d = WhatWasDrawn(plain_.Pixels());
    EXPECT_EQ(d.count, 400);
    EXPECT_EQ(d.x, 40);
    EXPECT_EQ(d.y, 30);
}

// Counting brushes that can still be created measures leaked GDI objects exactly (see
// gdi_handles.h).
TEST_F(BlitTest, ThousandTurnsLeakNoGdiObject) {
    struct Case {
        const char* what;
        std::vector<Target*> targets;
        bool everyPath;
    } cases[] = {
        {"the frame loop's calls on the program's own output", {targets_.front()}, false},
        {"every blit path", {&plain_, &dibOnly_}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto turn = [&] {
            for (Target* target : c.targets) {
                target->Clear();
                DrawingOutput* output = target->Begin();
                ASSERT_NE(output, nullptr);
                int32_t y = RandomUpTo(570) + 5;
                int32_t x = RandomUpTo(770) + 5;
                DrawingBlitImage(ImageNativeHandle(0), x, y);
                if (c.everyPath) {
                    output->operations.blitImageScaled(output, ImageNativeHandle(0), x, y, 3, 4);
                    output->operations.blitImageScaled(output, icon_, x, y, 0, 0);
                    output->operations.blitImageTranslucent(output, ImageNativeHandle(0), x, y,
                                                            128);
                    output->operations.blitImageTranslucent(output, halfRed_, x, y, 200);
                    output->mode = MODE_INVERT;
                    output->operations.blitImageAt(output, opaqueRed_, x, y);
                    ImageCreate(0, 20, 20);
                }
                DrawingEnd();
                target->Present();
            }
        };
        // Wine makes a few objects once, within the first turns, as a new window is painted
        // and activated: counting starts after them.
        for (int i = 0; i < 50; i++)
            turn();
        int before = CreatableBrushes();
        ASSERT_GT(before, 60000) << "the count must end at the handle table's limit";
        for (int i = 0; i < 1000; i++)
            turn();
        EXPECT_EQ(before - CreatableBrushes(), 0) << "GDI objects leaked";
    }
}

} // namespace
