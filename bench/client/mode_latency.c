/* Delivery latency: one client sends a unique block and waits until the file
 * holds exactly it, again and again. Optionally other connections stay open
 * and idle meanwhile, so the cost of many connections shows in every block. */
#include <stdio.h>
#include <stdlib.h>

#include "block.h"
#include "clock.h"
#include "deliver.h"
#include "net.h"
#include "options.h"
#include "report.h"
#include "watch.h"

enum { kDeliveryTimeoutMs = 10000 };

int run_latency(const struct options* options) {
    report_begin("latency");
    report_int("block_size", (long long)options->size);
    report_int("held_connections", options->hold);
    struct output_watch watch;
    if (watch_open(&watch, options->file) < 0)
        return report_end(0, "cannot watch the output file");
    const int total = options->hold + 1;
    int* fds = calloc((size_t)total, sizeof *fds);
    unsigned char* block = malloc(options->size);
    struct connect_report connects;
    if (!fds || !block ||
        connect_many(options->port, total, 1, fds, options->deadline_ns, &connects) < 0)
        return report_end(0, "the connections were not all accepted");
    const int active = fds[total - 1];

    struct latencies latencies = {0};
    const uint64_t base = fresh_sequence_base();
    const char* error = NULL;
    long long whole = 0, last_piece = 0;
    long long closes_before = 0;
    for (int i = 0; i < options->warmup + options->count && !error; ++i) {
        if (i == options->warmup)
            closes_before = watch.closes_after_write;
        uint64_t took = 0;
        enum landing landed =
            deliver_block(active, &watch, block, options->size, 1, base + (uint64_t)i,
                          (uint64_t)kDeliveryTimeoutMs * kNsPerMs, &took);
        if (landed == kNotLanded)
            error = "a block did not land within 10 s";
        else if (now_ns() > options->deadline_ns)
            error = "the run took longer than its time limit";
        if (i < options->warmup || landed == kNotLanded)
            continue;
        latencies_add(&latencies, took);
        if (landed == kLandedWhole)
            ++whole;
        else
            ++last_piece;
    }
    report_int("landed_whole", whole);
    report_int("landed_last_piece", last_piece);
    latencies_report(&latencies, "latency");
    if (latencies.count > 0)
        report_number("file_writes_per_block",
                      (double)(watch.closes_after_write - closes_before) / (double)latencies.count);
    if (options->raw && latencies_write(&latencies, options->raw) < 0 && !error)
        error = "cannot write the raw delivery times";
    for (int i = 0; i < total; ++i)
        close_gracefully(fds[i]);
    watch_close(&watch);
    return report_end(error == NULL, error);
}
