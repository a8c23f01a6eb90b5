// The program itself counts nothing.
#include "app/frame_hooks.h"

void FrameLoopTurned() {}
void FrameLoopEnded() {}
