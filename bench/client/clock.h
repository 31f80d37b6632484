#ifndef QBENCH_CLOCK_H
#define QBENCH_CLOCK_H

#include <stdint.h>
#include <time.h>

enum { kNsPerMs = 1000000 };
#define kNsPerSecond 1000000000ull

static inline uint64_t now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * kNsPerSecond + (uint64_t)ts.tv_nsec;
}

/* Milliseconds left until the deadline, at most cap_ms, never negative. */
static inline int ms_until(uint64_t deadline, int cap_ms) {
    uint64_t now = now_ns();
    if (now >= deadline)
        return 0;
    uint64_t left = (deadline - now + kNsPerMs - 1) / kNsPerMs;
    return left < (uint64_t)cap_ms ? (int)left : cap_ms;
}

void sleep_ns(uint64_t duration);

#endif
