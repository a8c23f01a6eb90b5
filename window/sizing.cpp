#include "window/sizing.h"

#include "core/registry.h"
#include "window/translate.h"

namespace {

SizingState* sizing;

// Where an arrow key puts the cursor when it chooses an edge, as offsets from the sizing
// rectangle (or the current cursor position). The 2-pixel insets keep the point on the
// window's side of the edge, where applying it gives back the same rectangle.
enum Source { FROM_CURSOR, LEFT, LEFT_PLUS_2, RIGHT_MINUS_2, TOP, TOP_PLUS_2, BOTTOM_MINUS_2 };

// The edge of a sizing started from the keyboard, before an arrow key chooses one.
constexpr int32_t NO_EDGE = 0;

struct EdgeChoice {
    WPARAM key;
    int32_t edge; // edge in force when the key arrives
    int32_t chosen;
    Source x;
    Source y;
    LPCSTR cursor;
};

// Keys and edges not listed here step the cursor 10 pixels in the key's direction.
const EdgeChoice EDGE_CHOICES[] = {
    {VK_LEFT, NO_EDGE, WMSZ_LEFT, LEFT, FROM_CURSOR, IDC_SIZEWE},
    {VK_LEFT, WMSZ_TOP, WMSZ_TOPLEFT, LEFT_PLUS_2, TOP_PLUS_2, IDC_SIZENWSE},
    {VK_LEFT, WMSZ_BOTTOM, WMSZ_BOTTOMLEFT, LEFT, BOTTOM_MINUS_2, IDC_SIZENESW},
    {VK_UP, NO_EDGE, WMSZ_TOP, FROM_CURSOR, TOP, IDC_SIZENS},
    {VK_UP, WMSZ_LEFT, WMSZ_TOPLEFT, LEFT_PLUS_2, TOP_PLUS_2, IDC_SIZENWSE},
    {VK_UP, WMSZ_RIGHT, WMSZ_TOPRIGHT, RIGHT_MINUS_2, TOP, IDC_SIZENESW},
    {VK_RIGHT, NO_EDGE, WMSZ_RIGHT, RIGHT_MINUS_2, FROM_CURSOR, IDC_SIZEWE},
    {VK_RIGHT, WMSZ_TOP, WMSZ_TOPRIGHT, RIGHT_MINUS_2, TOP, IDC_SIZENESW},
    {VK_RIGHT, WMSZ_BOTTOM, WMSZ_BOTTOMRIGHT, RIGHT_MINUS_2, BOTTOM_MINUS_2, IDC_SIZENWSE},
    {VK_DOWN, NO_EDGE, WMSZ_BOTTOM, FROM_CURSOR, BOTTOM_MINUS_2, IDC_SIZENS},
    {VK_DOWN, WMSZ_LEFT, WMSZ_BOTTOMLEFT, LEFT, BOTTOM_MINUS_2, IDC_SIZENESW},
    {VK_DOWN, WMSZ_RIGHT, WMSZ_BOTTOMRIGHT, RIGHT_MINUS_2, BOTTOM_MINUS_2, IDC_SIZENWSE},
};

struct KeyStep {
    WPARAM key;
    int dx;
    int dy;
};

const KeyStep KEY_STEPS[] = {
    {VK_LEFT, -10, 0},
    {VK_UP, 0, -10},
    {VK_RIGHT, 10, 0},
    {VK_DOWN, 0, 10},
};

LONG Resolve(Source source, LONG cursor, const RECT& r) {
    switch (source) {
    case LEFT:
        return r.left;
    case LEFT_PLUS_2:
        return r.left + 2;
    case RIGHT_MINUS_2:
        return r.right - 2;
    case TOP:
        return r.top;
    case TOP_PLUS_2:
        return r.top + 2;
    case BOTTOM_MINUS_2:
        return r.bottom - 2;
    case FROM_CURSOR:
        break;
    }
    return cursor;
}

// Keeps an extent within the tracking limits by moving the edge being dragged.
void LimitNear(LONG& moving, LONG fixed, LONG minimum, LONG maximum) {
    LONG extent = fixed - moving;
    if (extent < minimum)
        moving = fixed - minimum;
    else if (extent > maximum)
        moving = fixed - maximum;
}

void LimitFar(LONG& moving, LONG fixed, LONG minimum, LONG maximum) {
    LONG extent = moving - fixed;
    if (extent < minimum)
        moving = fixed + minimum;
    else if (extent > maximum)
        moving = fixed + maximum;
}

void ApplyPoint(POINT point) {
    RECT& r = sizing->rectangle;
    const MINMAXINFO& limits = sizing->limits;
    switch (sizing->edge) {
    case WMSZ_LEFT:
    case WMSZ_TOPLEFT:
    case WMSZ_BOTTOMLEFT:
        r.left = sizing->edge == WMSZ_TOPLEFT ? point.x - 2 : point.x;
        LimitNear(r.left, r.right, limits.ptMinTrackSize.x, limits.ptMaxTrackSize.x);
        break;
    case WMSZ_RIGHT:
    case WMSZ_TOPRIGHT:
    case WMSZ_BOTTOMRIGHT:
        r.right = point.x + 2;
        LimitFar(r.right, r.left, limits.ptMinTrackSize.x, limits.ptMaxTrackSize.x);
        break;
    }
    switch (sizing->edge) {
    case WMSZ_TOP:
    case WMSZ_TOPLEFT:
    case WMSZ_TOPRIGHT:
        r.top = sizing->edge == WMSZ_TOPLEFT ? point.y - 2 : point.y;
        LimitNear(r.top, r.bottom, limits.ptMinTrackSize.y, limits.ptMaxTrackSize.y);
        break;
    case WMSZ_BOTTOM:
    case WMSZ_BOTTOMLEFT:
    case WMSZ_BOTTOMRIGHT:
        r.bottom = point.y + 2;
        LimitFar(r.bottom, r.top, limits.ptMinTrackSize.y, limits.ptMaxTrackSize.y);
        break;
    }
}

// WM_SIZING lets the window adjust the rectangle before it is used.
void ResizeTo(POINT point) {
    ApplyPoint(point);
    HWND window = sizing->window;
    SendMessageA(window, WM_SIZING, static_cast<WPARAM>(sizing->edge),
                 reinterpret_cast<LPARAM>(&sizing->rectangle));
    RECT r = sizing->rectangle;
    if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)
        MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void PlaceCursor(POINT point) {
    SetCursorPos(point.x, point.y);
    sizing->placedCursor = point;
    sizing->placedValid = 1;
}

void ArrowKey(WPARAM key) {
    POINT cursor;
    GetCursorPos(&cursor);
    for (const EdgeChoice& choice : EDGE_CHOICES) {
        if (choice.key != key || choice.edge != sizing->edge)
            continue;
        sizing->edge = choice.chosen;
        POINT point = {Resolve(choice.x, cursor.x, sizing->rectangle),
                       Resolve(choice.y, cursor.y, sizing->rectangle)};
        PlaceCursor(point);
        SetCursor(LoadCursorA(nullptr, choice.cursor));
        return;
    }
    for (const KeyStep& step : KEY_STEPS) {
        if (step.key != key)
            continue;
        POINT point = {cursor.x + step.dx, cursor.y + step.dy};
        PlaceCursor(point);
        ResizeTo(point);
        return;
    }
}

LRESULT Start(HWND window, WPARAM wParam) {
    BOOL fullDrag = FALSE;
    if (!SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &fullDrag, 0) || !fullDrag)
        return NOT_HANDLED;
    sizing->edge = static_cast<int32_t>(wParam & 0xF);
    sizing->active = 1;
    sizing->window = window;
    sizing->placedValid = 0;
    GetWindowRect(window, &sizing->rectangle);

    MINMAXINFO& limits = sizing->limits;
    limits.ptReserved = {0, 0};
    limits.ptMaxSize = {GetSystemMetrics(SM_CXMAXIMIZED), GetSystemMetrics(SM_CYMAXIMIZED)};
    if (GetWindowLongA(window, GWL_STYLE) & WS_BORDER)
        limits.ptMaxPosition = {GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER)};
    else if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_WINDOWEDGE)
        limits.ptMaxPosition = {GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE)};
    else
        limits.ptMaxPosition = {0, 0};
    limits.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
    limits.ptMaxTrackSize = {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
    SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));

    // Sizing from the keyboard has no button down; the button-up that ends a mouse sizing
    // must find the window in the state it would be in after a press.
    if ((GetKeyState(VK_LBUTTON) & 0x8000) == 0)
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SetCapture(window);
    PostMessageA(window, WM_ENTERSIZEMOVE, 0, 0);

    if (sizing->edge == NO_EDGE) {
        sizing->restoreCursor = 1;
        GetCursorPos(&sizing->savedCursor);
        SetCursor(LoadCursorA(nullptr, IDC_SIZEALL));
    } else {
        sizing->restoreCursor = 0;
    }
    return 0;
}

} // namespace

void SizingStateInit() {
    sizing = static_cast<SizingState*>(StateRecordCreate(sizeof(SizingState), nullptr, nullptr));
}

void SizingStateShutdown() { sizing = nullptr; }

SizingState* SizingStateGet() { return sizing; }

LRESULT LiveSizing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!sizing)
        return NOT_HANDLED;
    // A sized window destroyed mid-sizing takes its capture with it without the capture
    // change reaching this procedure; sizing would otherwise stay on and swallow the mouse
    // messages of every other window.
    if (sizing->active && !IsWindow(sizing->window)) {
        sizing->active = 0;
        if (sizing->restoreCursor == 1)
            SetCursorPos(sizing->savedCursor.x, sizing->savedCursor.y);
    }
    if (!sizing->active) {
        if (message != WM_SYSCOMMAND || (wParam & 0xFFF0) != SC_SIZE)
            return NOT_HANDLED;
        return Start(window, wParam);
    }
    switch (message) {
    case WM_MOUSEMOVE: {
        POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ClientToScreen(window, &point);
        // The platform reports the cursor placed by an arrow key as a mouse move too; only a
        // move of the user's own cancels putting the cursor back when sizing ends.
        bool placedHere = sizing->placedValid && point.x == sizing->placedCursor.x &&
                          point.y == sizing->placedCursor.y;
        if (!placedHere) {
            sizing->restoreCursor = 0;
            sizing->placedValid = 0;
        }
        ResizeTo(point);
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
            ReleaseCapture();
            return 0;
        }
        ArrowKey(wParam);
        return NOT_HANDLED;
    case WM_LBUTTONUP:
        ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED:
        PostMessageA(sizing->window, WM_EXITSIZEMOVE, 0, 0);
        sizing->active = 0;
        if (sizing->restoreCursor == 1)
            SetCursorPos(sizing->savedCursor.x, sizing->savedCursor.y);
        return 0;
    }
    return NOT_HANDLED;
}
