/* Idle: connections held open and silent; the relay should use no CPU at all
 * meanwhile (no polling, no timers). Afterwards a block on the first and on the
 * last connection must still land. */
#include <stdlib.h>

#include "clock.h"
#include "deliver.h"
#include "net.h"
#include "options.h"
#include "report.h"
#include "watch.h"

enum { kSettleMs = 1000, kDeliveryTimeoutMs = 10000 };

int run_idle(const struct options* options) {
    report_begin("idle");
    const int count = options->connections;
    report_int("connections", count);
    report_number("seconds", options->seconds);
    struct output_watch watch;
    if (watch_open(&watch, options->file) < 0)
        return report_end(0, "cannot watch the output file");
    int* fds = calloc((size_t)count, sizeof *fds);
    unsigned char* block = malloc(options->size);
    struct connect_report connects;
    if (!fds || !block ||
        connect_many(options->port, count, 1, fds, options->deadline_ns, &connects) < 0)
        return report_end(0, "the connections were not all accepted");

    sleep_ns((uint64_t)kSettleMs * kNsPerMs);
    struct process_sample before[kMaxWatched], after[kMaxWatched];
    const uint64_t started = now_ns();
    sample_all(&options->watched, before);
    sleep_ns((uint64_t)(options->seconds * 1e9));
    sample_all(&options->watched, after);
    const double elapsed = (double)(now_ns() - started) / 1e9;
    report_samples("start", &options->watched, before);
    report_samples("end", &options->watched, after);
    report_number("measured_seconds", elapsed);

    const char* error = NULL;
    const uint64_t base = fresh_sequence_base();
    const int ends[2] = {0, count - 1};
    for (int i = 0; i < 2 && !error; ++i) {
        uint64_t took = 0;
        if (deliver_block(fds[ends[i]], &watch, block, options->size, 1, base + (uint64_t)i,
                          (uint64_t)kDeliveryTimeoutMs * kNsPerMs, &took) == kNotLanded)
            error = "after the idle period a block did not land";
    }
    for (int i = 0; i < count; ++i)
        close_gracefully(fds[i]);
    watch_close(&watch);
    return report_end(error == NULL, error);
}
