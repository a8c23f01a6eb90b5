// What the frame loop tells whoever counts its turns. onebox.exe links the empty version
// (frame_hooks_none.cpp); a build that measures the loop (the frame-loop benchmark's copy of the
// program) links its own in its place.
#pragma once

// After each turn's flip.
void FrameLoopTurned();
// Once the runtime is down, just before the process ends.
void FrameLoopEnded();
