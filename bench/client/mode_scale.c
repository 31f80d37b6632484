/* Scale: many connections opened and held, then each delivers one block that
 * must land, while the relay's memory is looked at before, with all held, and
 * after the deliveries. */
#include <stdlib.h>

#include "block.h"
#include "clock.h"
#include "deliver.h"
#include "net.h"
#include "options.h"
#include "report.h"
#include "watch.h"

enum { kSettleMs = 1000, kDeliveryTimeoutMs = 10000 };

int run_scale(const struct options* options) {
    report_begin(options->burst ? "scale_burst" : "scale");
    const int count = options->connections;
    report_int("connections", count);
    struct output_watch watch;
    if (watch_open(&watch, options->file) < 0)
        return report_end(0, "cannot watch the output file");
    int* fds = calloc((size_t)count, sizeof *fds);
    unsigned char* block = malloc(options->size);
    struct process_sample samples[kMaxWatched];
    if (!fds || !block)
        return report_end(0, "out of memory");

    sample_all(&options->watched, samples);
    report_samples("before", &options->watched, samples);
    struct connect_report connects;
    const char* error = NULL;
    if (connect_many(options->port, count, !options->burst, fds, options->deadline_ns, &connects) <
        0)
        error = "the connections were not all accepted";
    report_int("connected", connects.connected);
    report_int("connect_failures", connects.failed);
    report_int("accepted", connects.accepted);
    report_int("backlog", connects.backlog);
    report_int("listen_overflows", connects.overflows);
    if (!error)
        report_number("accept_all_seconds", (double)connects.all_accepted_ns / 1e9);

    sleep_ns((uint64_t)kSettleMs * kNsPerMs);
    sample_all(&options->watched, samples);
    report_samples("held", &options->watched, samples);

    if (!error && options->deliver) {
        struct latencies latencies = {0};
        long long whole = 0;
        const uint64_t base = fresh_sequence_base();
        const uint64_t started = now_ns();
        for (int i = 0; i < count && !error; ++i) {
            uint64_t took = 0;
            enum landing landed =
                deliver_block(fds[i], &watch, block, options->size, (unsigned)i % 100000,
                              base + (uint64_t)i, (uint64_t)kDeliveryTimeoutMs * kNsPerMs, &took);
            if (landed == kNotLanded) {
                error = "a connection's block did not land within 10 s";
                break;
            }
            whole += landed == kLandedWhole;
            latencies_add(&latencies, took);
            if (now_ns() > options->deadline_ns)
                error = "the run took longer than its time limit";
        }
        report_int("delivered", (long long)latencies.count);
        report_int("delivered_whole", whole);
        report_number("deliver_all_seconds", (double)(now_ns() - started) / 1e9);
        latencies_report(&latencies, "latency");
        if (options->raw)
            latencies_write(&latencies, options->raw);
        sample_all(&options->watched, samples);
        report_samples("delivered", &options->watched, samples);
    }
    for (int i = 0; i < count; ++i)
        close_gracefully(fds[i]);
    watch_close(&watch);
    return report_end(error == NULL, error);
}
