// Clearing and presenting frames, and bringing a lost device back.
#include "screen/screen.h"

namespace {

using DeviceState = ScreenDeviceState;

// What the check found, and so the flip's next step.
enum class Found {
    Ready,          // usable, or an answer the flip does not act on: present
    NeedsReset,     // lost and can be reset now: recover, then present
    LostBeyondWait, // still lost after the wait: drop the frame
    StillLost,      // a long loss goes on: drop the frame without a word
    Unusable,       // a driver internal error
};

// Waits up to the loss wait for a lost device to come back. The last answer.
HRESULT WaitForDevice(IDirect3DDevice9* device) {
    DWORD start = GetTickCount();
    HRESULT answer;
    do {
        Sleep(1);
        answer = device->TestCooperativeLevel();
        if (answer != D3DERR_DEVICELOST)
            return answer;
    } while (GetTickCount() - start < SCREEN_LOSS_WAIT_MILLISECONDS);
    return answer;
}

Found CheckDevice(IDirect3DDevice9* device, DeviceState known) {
    HRESULT answer = device->TestCooperativeLevel();
    if (answer == D3DERR_DEVICELOST) {
        // The retry after a long loss departs from the design on purpose. The design leaves a
        // device lost beyond one wait idle until the screen is opened anew; this program opens
        // its screen once, so after any real loss, which lasts far longer than the wait (a
        // locked session, another program holding the display full-screen, a change of display
        // mode), its window would show a stale frame for the rest of the run. Here a long-lost
        // device is asked once on every frame, without waiting, so the frame loop keeps its
        // pace (the window still closes at once during the loss), and it is reset as soon as it
        // can be.
        if (known == DeviceState::LongLost)
            return Found::StillLost;
        answer = WaitForDevice(device);
        if (answer == D3DERR_DEVICELOST)
            return Found::LostBeyondWait;
    }
    if (answer == D3DERR_DRIVERINTERNALERROR)
        return Found::Unusable;
    if (answer == D3DERR_DEVICENOTRESET)
        return Found::NeedsReset;
    return Found::Ready;
}

// Sprites keep a render-target surface of the device's: a reset needs each of them given back
// before it and made anew after it. No operation of this program makes a sprite, so the walks
// before and after the reset find nothing to do.
void WalkSprites(ScreenState* state) {
    RegistryEnumBegin(state->SpriteRegistry);
    ObjectNumber number;
    while (RegistryEnumNext(state->SpriteRegistry, &number)) {
    }
}

// Releases the back buffer, resets the device with the parameters it was made with, and takes
// the new back buffer. 0 when the device refused.
int32_t RecoverDevice(ScreenState* state) {
    WalkSprites(state);
    // Reset fails while any reference to a swap-chain surface is held.
    if (state->backBuffer) {
        state->backBuffer->Release();
        state->backBuffer = nullptr;
    }
    if (FAILED(state->device->Reset(&state->presentParams)))
        return 0;
    WalkSprites(state);
    if (FAILED(state->device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &state->backBuffer)))
        state->backBuffer = nullptr;
    return 1;
}

// The whole back buffer, stretched to the child's client area as it is now.
void PresentFrame(ScreenState* state) {
    RECT client;
    GetClientRect(state->childWindow, &client);
    RECT source = {0, 0, state->targetWidth, state->targetHeight};
    HRESULT presented = state->device->Present(&source, &client, nullptr, nullptr);
    // A loss that shows first in the present is recovered like one found by the check.
    if (presented == D3D_OK)
        ScreenSetDeviceState(state, DeviceState::Usable);
    else if (presented == D3DERR_DEVICELOST)
        ScreenSetDeviceState(state, DeviceState::LongLost);
    else
        ScreenSetDeviceState(state, DeviceState::Idle);
}

} // namespace

void ScreenSetDeviceState(ScreenState* state, ScreenDeviceState device) {
    state->deviceState = device;
}

D3DCOLOR ScreenColorToD3D(uint32_t color) {
    return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

void ClearScreen(uint32_t color) {
    ScreenState* state = ScreenStateGet();
    if (!state->device)
        return;
    state->device->Clear(0, nullptr, D3DCLEAR_TARGET, ScreenColorToD3D(color), 0.0f, 0);
}

int32_t ScreenSelectTarget(ObjectNumber target) {
    ScreenState* state = ScreenStateGet();
    if (target == state->currentTarget)
        return 1;
    if (target != -1 || !state->device)
        return 0;
    state->currentTarget = -1;
    state->targetWidth = state->screenWidth;
    state->targetHeight = state->screenHeight;
    return SUCCEEDED(state->device->SetRenderTarget(0, state->backBuffer));
}

int32_t ScreenFlip() {
    ScreenState* state = ScreenStateGet();
    ScreenSelectTarget(-1);
    // Without a windowed screen nobody else pumps this thread's messages between frames. With
    // one, the main routine's event wait does, and dispatching here would re-enter the flip
    // through the window procedures.
    if (!state->windowed) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    // A drawing session holds the surface (a flip from a window procedure in mid-session):
    // the frame is not finished, and the surface may be neither presented nor reset.
    if (state->backBufferHeld)
        return 1;
    const DeviceState known = state->deviceState;
    if (!state->device || known == DeviceState::Idle)
        return 1;

    switch (CheckDevice(state->device, known)) {
    case Found::Unusable:
        ScreenSetDeviceState(state, DeviceState::Idle);
        return 0;
    case Found::LostBeyondWait:
        ScreenSetDeviceState(state, DeviceState::LongLost);
        return 0;
    case Found::StillLost:
        return 1;
    case Found::NeedsReset:
        if (!RecoverDevice(state)) {
            ScreenSetDeviceState(state, DeviceState::Idle);
            return 0;
        }
        break;
    case Found::Ready:
        break;
    }
    PresentFrame(state);
    return 1;
}
