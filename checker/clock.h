// The checker's clocks.
#pragma once

// Seconds on CLOCK_MONOTONIC_RAW: every time the watch compares, on the clock of the program's
// QueryPerformanceCounter under Wine 8.0 (accounting.h), so that a picture's time and the time
// of the present it shows can be compared.
double Now();
// Seconds since 1970 (CLOCK_REALTIME): the watch's start and end in the results, which a
// program compares with times taken elsewhere.
double WallClock();
// Sleeps until Now() reaches `when`.
void SleepUntil(double when);
// The processor time this process has used so far, user and system, in seconds.
double ProcessorTime();
