#include "clock.h"

#include <sys/resource.h>

#include <ctime>

namespace {

double Seconds(clockid_t clock) {
    timespec t;
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

} // namespace

double Now() { return Seconds(CLOCK_MONOTONIC_RAW); }

double WallClock() { return Seconds(CLOCK_REALTIME); }

void SleepUntil(double when) {
    double left = when - Now();
    if (left <= 0)
        return;
    timespec t;
    t.tv_sec = static_cast<time_t>(left);
    t.tv_nsec = static_cast<long>((left - static_cast<double>(t.tv_sec)) * 1e9);
    nanosleep(&t, nullptr);
}

double ProcessorTime() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}
