/* Streaming: one client sends a long stream as fast as the relay takes it. The
 * relay rewrites the file with every piece it reads, so the stream is done when
 * the file holds a last piece of it, ending with its last byte. */
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "block.h"
#include "clock.h"
#include "deliver.h"
#include "net.h"
#include "options.h"
#include "report.h"
#include "watch.h"

enum { kLookMs = 5 };

/* Whether the file now holds a last piece of the stream. A cheap look at its
 * tail comes first, so a long file is read in full only when it may match. */
static int holds_last_piece(struct output_watch* watch, const unsigned char* stream, size_t length,
                            size_t* piece) {
    long long size = watch_size(watch);
    if (size < kMarkerLength || (size_t)size > length)
        return 0;
    unsigned char tail[kMarkerLength];
    if (pread(watch->reader_fd, tail, sizeof tail, (off_t)(size - kMarkerLength)) !=
            kMarkerLength ||
        memcmp(tail, stream + length - kMarkerLength, kMarkerLength) != 0)
        return 0;
    if (watch_read(watch) < 0 || watch->length != (size_t)size)
        return 0;
    if (memcmp(watch->content, stream + (length - watch->length), watch->length) != 0)
        return 0;
    *piece = watch->length;
    return 1;
}

int run_stream(const struct options* options) {
    report_begin("stream");
    report_int("bytes", (long long)options->bytes);
    report_int("chunk", (long long)options->chunk);
    struct output_watch watch;
    if (watch_open(&watch, options->file) < 0)
        return report_end(0, "cannot watch the output file");
    const size_t length = options->bytes;
    unsigned char* stream = malloc(length);
    int fd = -1;
    struct connect_report connects;
    if (!stream || length < kMinimumBlockSize ||
        connect_many(options->port, 1, 1, &fd, options->deadline_ns, &connects) < 0)
        return report_end(0, "cannot start the stream");
    fill_pseudo_random(stream, length - kMarkerLength, fresh_sequence_base());
    block_mark(stream + length, 0, fresh_sequence_base());

    const char* error = NULL;
    const long long closes_before = watch.closes_after_write;
    const uint64_t started = now_ns();
    size_t sent = 0;
    while (sent < length && !error) {
        size_t piece = length - sent < options->chunk ? length - sent : options->chunk;
        ssize_t done = send(fd, stream + sent, piece, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (done > 0) {
            sent += (size_t)done;
            continue;
        }
        /* While the socket is full, count the relay's writes, so that none of
         * inotify's events are lost to a full queue. */
        struct pollfd pollers[2] = {{.fd = fd, .events = POLLOUT},
                                    {.fd = watch.inotify_fd, .events = POLLIN}};
        poll(pollers, 2, kLookMs);
        watch_consume(&watch);
        if (now_ns() > options->deadline_ns)
            error = "the stream was not taken within the time limit";
    }
    const uint64_t all_sent = now_ns();
    size_t last_piece = 0;
    while (!error && !holds_last_piece(&watch, stream, length, &last_piece)) {
        watch_wait(&watch, ms_until(options->deadline_ns, kLookMs));
        if (now_ns() > options->deadline_ns)
            error = "the end of the stream did not land within the time limit";
    }
    const uint64_t landed = now_ns();
    watch_consume(&watch);
    report_number("send_seconds", (double)(all_sent - started) / 1e9);
    if (!error) {
        report_number("seconds", (double)(landed - started) / 1e9);
        report_number("mib_per_second",
                      (double)length / (1024.0 * 1024.0) / ((double)(landed - started) / 1e9));
        report_int("last_piece_bytes", (long long)last_piece);
    }
    report_int("file_writes", watch.closes_after_write - closes_before);
    close_gracefully(fd);
    watch_close(&watch);
    return report_end(error == NULL, error);
}
