// Counts the main routine's frame-loop turns for the frame-loop benchmark; built into the
// benchmark's copy of the program only.
#pragma once

// After each turn's flip: counts the turn, and the frame as presented when the flip left the
// screen active (its Present succeeded).
void FrameCounterTurn();
// At exit: writes "turns T presented P microseconds U" (first to last turn) to the file named
// by ONEBOX_FRAME_COUNT_FILE.
void FrameCounterReport();

#define FRAME_COUNTER_TURN() FrameCounterTurn()
#define FRAME_COUNTER_REPORT() FrameCounterReport()
