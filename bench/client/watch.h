#ifndef QBENCH_WATCH_H
#define QBENCH_WATCH_H

#include <stddef.h>

/* Watches the relay's output file. Changes are announced by inotify on the
 * folder; the content is read through one descriptor held open for the whole
 * run, so reading opens nothing (a relay truncates the file in place). */
struct output_watch {
    char path[4096];
    const char* name;
    int inotify_fd;
    int reader_fd;
    long long closes_after_write;
    int events_lost;
    int replaced;
    unsigned char* content;
    size_t length;
    size_t capacity;
};

int watch_open(struct output_watch* watch, const char* path);
void watch_close(struct output_watch* watch);

/* Takes the pending events; returns how many concern the output file. */
int watch_consume(struct output_watch* watch);

/* Waits up to timeout_ms for events about the file; returns their count. */
int watch_wait(struct output_watch* watch, int timeout_ms);

/* Reads the whole file into watch->content; 0 on success. */
int watch_read(struct output_watch* watch);

/* The current size of the file, or -1. */
long long watch_size(struct output_watch* watch);

enum landing { kNotLanded, kLandedWhole, kLandedLastPiece };

/* Whether the file holds the expected content, or (when the relay got the block
 * in more than one piece) a last piece of it that ends with its marker. */
enum landing landing_of(const struct output_watch* watch, const unsigned char* expected,
                        size_t length);

/* Waits until the expected content lands or the deadline passes. */
enum landing wait_landing(struct output_watch* watch, const unsigned char* expected, size_t length,
                          unsigned long long deadline_ns);

#endif
