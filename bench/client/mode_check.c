/* The check after every phase: the relay still listens and a new block on a new
 * connection lands exactly. */
#include "block.h"
#include "clock.h"
#include "deliver.h"
#include "net.h"
#include "options.h"
#include "report.h"
#include "watch.h"

enum { kCheckBlockSize = 64, kDeliveryTimeoutMs = 10000 };

int run_check(const struct options* options) {
    report_begin("check");
    struct port_state state;
    if (port_query(options->port, 0, &state) < 0 || !state.listening)
        return report_end(0, "the relay no longer listens");
    struct output_watch watch;
    if (watch_open(&watch, options->file) < 0)
        return report_end(0, "cannot watch the output file");
    int fd = -1;
    struct connect_report connects;
    if (connect_many(options->port, 1, 1, &fd, options->deadline_ns, &connects) < 0)
        return report_end(0, "a new connection was not accepted");
    unsigned char block[kCheckBlockSize];
    uint64_t took = 0;
    uint64_t timeout = (uint64_t)kDeliveryTimeoutMs * kNsPerMs;
    const uint64_t now = now_ns();
    if (options->deadline_ns > now && options->deadline_ns - now < timeout)
        timeout = options->deadline_ns - now;
    enum landing landed =
        deliver_block(fd, &watch, block, sizeof block, 2, fresh_sequence_base(), timeout, &took);
    close_gracefully(fd);
    watch_close(&watch);
    if (landed != kLandedWhole)
        return report_end(0, "a final block did not land exactly");
    report_number("latency_ns", (double)took);
    return report_end(1, NULL);
}
