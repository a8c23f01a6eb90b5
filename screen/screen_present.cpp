// Clearing and presenting frames, and bringing a lost device back.
#include "screen/screen.h"

namespace {

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
int32_t ScreenReset(ScreenState* state) {
    WalkSprites(state);
    // Reset fails while any reference to a swap-chain surface is held.
    if (state->backBuffer) {
        state->backBuffer->Release();
        state->backBuffer = nullptr;
    }
    if (FAILED(state->device->Reset(&state->presentParams))) {
        state->active = 0;
        return 0;
    }
    WalkSprites(state);
    if (FAILED(state->device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &state->backBuffer)))
        state->backBuffer = nullptr;
    return 1;
}

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

} // namespace

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
    if (!state->device || (!state->active && !state->lost))
        return 1;

    HRESULT answer = state->device->TestCooperativeLevel();
    if (answer == D3DERR_DRIVERINTERNALERROR) {
        state->active = 0;
        state->lost = 0;
        return 0;
    }
    if (answer == D3DERR_DEVICELOST) {
        // Once a loss has outlasted one wait, later frames ask once and go on, so the frame
        // loop keeps its pace until the device can be reset.
        if (state->lost)
            return 1;
        answer = WaitForDevice(state->device);
        if (answer == D3DERR_DRIVERINTERNALERROR) {
            state->active = 0;
            return 0;
        }
        if (answer == D3DERR_DEVICELOST) {
            state->active = 0;
            state->lost = 1;
            return 0;
        }
    }
    if (answer == D3DERR_DEVICENOTRESET && !ScreenReset(state)) {
        state->lost = 0;
        return 0;
    }

    RECT client;
    GetClientRect(state->childWindow, &client);
    RECT source = {0, 0, state->targetWidth, state->targetHeight};
    HRESULT presented = state->device->Present(&source, &client, nullptr, nullptr);
    state->active = presented == D3D_OK;
    // A loss that shows first in the present is recovered like one found by the check.
    state->lost = presented == D3DERR_DEVICELOST;
    return 1;
}
