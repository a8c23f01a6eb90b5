// The probe against the real loader: run once with msimg32.dll available and once with Wine
// told to refuse it (WINEDLLOVERRIDES=msimg32=d), as on an installation that lacks it.
#include "probe/probe.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

bool LibraryExpected() {
    const char* v = std::getenv("ONEBOX_EXPECT_MSIMG32");
    return !v || std::string(v) != "0";
}

TEST(SystemLibraries, ProbeKeepsTheRealExportUntilRelease) {
    if (!LibraryExpected())
        GTEST_SKIP() << "msimg32.dll is disabled for this run";
    ASSERT_EQ(GetModuleHandleA("msimg32.dll"), nullptr) << "nothing else may have loaded it";
    SystemLibrariesProbe();
    HMODULE module = GetModuleHandleA("msimg32.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(SystemLibrariesMsimg32(), module);
    EXPECT_EQ(reinterpret_cast<void*>(AlphaBlendEntry),
              reinterpret_cast<void*>(GetProcAddress(module, "AlphaBlend")));

    // The entry really blends: half of white over black gives mid-grey.
    HDC screen = GetDC(nullptr);
    HDC src = CreateCompatibleDC(screen), dst = CreateCompatibleDC(screen);
    HBITMAP srcBitmap = CreateCompatibleBitmap(screen, 4, 4);
    HBITMAP dstBitmap = CreateCompatibleBitmap(screen, 4, 4);
    HGDIOBJ oldSrc = SelectObject(src, srcBitmap), oldDst = SelectObject(dst, dstBitmap);
    RECT r{0, 0, 4, 4};
    FillRect(src, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    FillRect(dst, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
    EXPECT_TRUE(AlphaBlendEntry(dst, 0, 0, 4, 4, src, 0, 0, 4, 4, half));
    COLORREF c = GetPixel(dst, 1, 1);
    EXPECT_NEAR(GetRValue(c), 128, 2);
    EXPECT_NEAR(GetGValue(c), 128, 2);
    SelectObject(src, oldSrc);
    SelectObject(dst, oldDst);
    DeleteObject(srcBitmap);
    DeleteObject(dstBitmap);
    DeleteDC(src);
    DeleteDC(dst);
    ReleaseDC(nullptr, screen);

    SystemLibrariesRelease();
    EXPECT_EQ(GetModuleHandleA("msimg32.dll"), nullptr) << "release unloads the library";
    EXPECT_NE(AlphaBlendEntry, nullptr) << "release leaves the entry as it was";
    SystemLibrariesRelease(); // a second release has nothing to free
    AlphaBlendEntry = nullptr;
}

TEST(SystemLibraries, MissingLibraryLeavesTheEntryNull) {
    if (LibraryExpected())
        GTEST_SKIP() << "msimg32.dll is available for this run";
    SystemLibrariesProbe();
    EXPECT_EQ(SystemLibrariesMsimg32(), nullptr);
    EXPECT_EQ(AlphaBlendEntry, nullptr);
    SystemLibrariesRelease(); // releasing what never loaded does nothing
    EXPECT_EQ(SystemLibrariesMsimg32(), nullptr);
}

} // namespace
