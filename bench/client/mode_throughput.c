/* Throughput: N clients, each sending a unique block and waiting until its own
 * block has landed before it sends the next. The file holds only the last block,
 * so a block can be overwritten before it is read; to see every block that lands,
 * each open of the output file by the relay is held (a fanotify permission event)
 * until the block it is about to replace has been read. With one client no block
 * can be overwritten unseen, so --no-hold measures the same loop without holding
 * the opens, which tells what holding them costs. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/fanotify.h>
#include <unistd.h>

#include "block.h"
#include "clock.h"
#include "deliver.h"
#include "net.h"
#include "options.h"
#include "report.h"
#include "watch.h"

enum { kWarmupMs = 500, kStallMs = 10000 };

struct client {
    int fd;
    int in_flight;
    uint64_t sent;
    uint64_t sequence;
    uint64_t sent_at;
    unsigned char* block;
};

struct run {
    const struct options* options;
    struct client* clients;
    uint64_t window_start, window_end;
    long long landed_in_window;
    long long landed_total;
    uint64_t last_progress;
    struct latencies latencies;
};

/* The content names its block by the marker; it counts only if it is exactly
 * the block that client has in flight. */
static void note_content(struct run* run, const unsigned char* content, size_t length) {
    unsigned client = 0;
    uint64_t sequence = 0;
    if (block_marker(content, length, &client, &sequence) < 0 ||
        client >= (unsigned)run->options->connections)
        return;
    struct client* owner = &run->clients[client];
    const size_t expected = block_landed_length(run->options->size);
    if (!owner->in_flight || owner->sequence != sequence || length != expected ||
        memcmp(content, owner->block, expected) != 0)
        return;
    const uint64_t now = now_ns();
    owner->in_flight = 0;
    ++run->landed_total;
    run->last_progress = now;
    if (now >= run->window_start && now < run->window_end) {
        ++run->landed_in_window;
        latencies_add(&run->latencies, now - owner->sent_at);
    }
}

/* Reads, through the descriptor the event brings, what the file holds before the
 * relay's open truncates it, then lets the open go on. */
static void answer_opens(struct run* run, int notifier) {
    static unsigned char content[1 << 20];
    char buffer[4096] __attribute__((aligned(__alignof__(struct fanotify_event_metadata))));
    for (;;) {
        ssize_t got = read(notifier, buffer, sizeof buffer);
        if (got <= 0)
            return;
        struct fanotify_event_metadata* event = (struct fanotify_event_metadata*)buffer;
        for (; FAN_EVENT_OK(event, got); event = FAN_EVENT_NEXT(event, got)) {
            if (event->fd < 0)
                continue;
            ssize_t length = pread(event->fd, content, sizeof content, 0);
            struct fanotify_response response = {.fd = event->fd, .response = FAN_ALLOW};
            if (write(notifier, &response, sizeof response) < 0) {
                /* Nothing else to do: the open stays held only until we exit. */
            }
            close(event->fd);
            if (length > 0)
                note_content(run, content, (size_t)length);
        }
    }
}

static int send_next(struct run* run, int index, uint64_t base) {
    struct client* client = &run->clients[index];
    client->sequence = base + ++client->sent;
    block_make(client->block, run->options->size, (unsigned)index, client->sequence);
    client->in_flight = 1;
    client->sent_at = now_ns();
    return send_all(client->fd, client->block, run->options->size, client->sent_at + kNsPerSecond);
}

int run_throughput(const struct options* options) {
    report_begin("throughput");
    report_int("clients", options->connections);
    report_int("block_size", (long long)options->size);
    struct output_watch watch;
    if (watch_open(&watch, options->file) < 0)
        return report_end(0, "cannot watch the output file");
    if (options->no_hold && options->connections != 1)
        return report_end(0, "opens must be held with more than one client");
    int notifier = -1;
    if (!options->no_hold) {
        notifier = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK, O_RDONLY);
        if (notifier < 0 ||
            fanotify_mark(notifier, FAN_MARK_ADD, FAN_OPEN_PERM, AT_FDCWD, options->file) < 0)
            return report_end(0, "fanotify permission events are not available (run as root)");
    }
    report_int("opens_held", notifier >= 0);

    const int count = options->connections;
    struct run run = {.options = options};
    run.clients = calloc((size_t)count, sizeof *run.clients);
    int* fds = calloc((size_t)count, sizeof *fds);
    struct connect_report connects;
    if (!run.clients || !fds ||
        connect_many(options->port, count, 1, fds, options->deadline_ns, &connects) < 0)
        return report_end(0, "the connections were not all accepted");
    for (int i = 0; i < count; ++i) {
        run.clients[i].fd = fds[i];
        run.clients[i].block = malloc(options->size);
        if (!run.clients[i].block)
            return report_end(0, "out of memory");
    }

    const uint64_t base = fresh_sequence_base();
    run.window_start = now_ns() + (uint64_t)kWarmupMs * kNsPerMs;
    run.window_end = run.window_start + (uint64_t)(options->seconds * 1e9);
    run.last_progress = now_ns();
    const char* error = NULL;
    while (!error) {
        const uint64_t now = now_ns();
        const int sending = now < run.window_end;
        int in_flight = 0;
        for (int i = 0; i < count; ++i) {
            if (!run.clients[i].in_flight && sending && send_next(&run, i, base) < 0)
                error = "a send failed";
            in_flight += run.clients[i].in_flight;
        }
        if (!sending && in_flight == 0)
            break;
        if (watch.replaced)
            error = "the output file was replaced, so its opens are no longer seen";
        else if (now - run.last_progress > (uint64_t)kStallMs * kNsPerMs)
            error = "no block landed for 10 s";
        else if (now > options->deadline_ns)
            error = "the run took longer than its time limit";
        struct pollfd pollers[2] = {{.fd = notifier, .events = POLLIN},
                                    {.fd = watch.inotify_fd, .events = POLLIN}};
        poll(pollers, 2, 5);
        if (notifier >= 0 && pollers[0].revents)
            answer_opens(&run, notifier);
        watch_consume(&watch);
        if (watch_read(&watch) == 0)
            note_content(&run, watch.content, watch.length);
    }
    if (notifier >= 0)
        close(notifier);
    report_number("blocks_per_second", (double)run.landed_in_window / options->seconds);
    report_int("landed", run.landed_total);
    latencies_report(&run.latencies, "latency");
    for (int i = 0; i < count; ++i)
        close_gracefully(run.clients[i].fd);
    watch_close(&watch);
    return report_end(error == NULL, error);
}
