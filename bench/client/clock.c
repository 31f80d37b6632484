#include "clock.h"

#include <errno.h>

void sleep_ns(uint64_t duration) {
    struct timespec left = {.tv_sec = (time_t)(duration / kNsPerSecond),
                            .tv_nsec = (long)(duration % kNsPerSecond)};
    while (nanosleep(&left, &left) < 0 && errno == EINTR) {
    }
}
