#define _GNU_SOURCE
#include "watch.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "block.h"
#include "clock.h"

/* When nothing is announced the file is read anyway this often, so that a
 * change inotify did not report cannot stall a wait. */
enum { kRecheckMs = 5 };

static int open_reader(struct output_watch* watch) {
    int fd = open(watch->path, O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    if (watch->reader_fd >= 0)
        close(watch->reader_fd);
    watch->reader_fd = fd;
    return 0;
}

int watch_open(struct output_watch* watch, const char* path) {
    memset(watch, 0, sizeof *watch);
    watch->reader_fd = -1;
    if (strlen(path) >= sizeof watch->path)
        return -1;
    strcpy(watch->path, path);
    char* slash = strrchr(watch->path, '/');
    if (!slash)
        return -1;
    watch->name = slash + 1;
    char folder[sizeof watch->path];
    memcpy(folder, watch->path, (size_t)(slash - watch->path));
    folder[slash - watch->path] = '\0';
    watch->inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch->inotify_fd < 0)
        return -1;
    const uint32_t mask = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_DELETE;
    if (inotify_add_watch(watch->inotify_fd, folder[0] ? folder : "/", mask) < 0)
        return -1;
    return open_reader(watch);
}

void watch_close(struct output_watch* watch) {
    if (watch->inotify_fd >= 0)
        close(watch->inotify_fd);
    if (watch->reader_fd >= 0)
        close(watch->reader_fd);
    free(watch->content);
    memset(watch, 0, sizeof *watch);
    watch->inotify_fd = watch->reader_fd = -1;
}

int watch_consume(struct output_watch* watch) {
    char buffer[64 * 1024] __attribute__((aligned(__alignof__(struct inotify_event))));
    int relevant = 0;
    for (;;) {
        ssize_t got = read(watch->inotify_fd, buffer, sizeof buffer);
        if (got <= 0)
            return relevant;
        for (char* at = buffer; at < buffer + got;) {
            const struct inotify_event* event = (const struct inotify_event*)at;
            at += sizeof *event + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                watch->events_lost = 1;
                ++relevant;
                continue;
            }
            if (event->len == 0 || strcmp(event->name, watch->name) != 0)
                continue;
            ++relevant;
            if (event->mask & IN_CLOSE_WRITE)
                ++watch->closes_after_write;
            if (event->mask & (IN_CREATE | IN_MOVED_TO | IN_DELETE)) {
                /* The file was made anew: read the new one from now on. */
                watch->replaced = 1;
                open_reader(watch);
            }
        }
    }
}

int watch_wait(struct output_watch* watch, int timeout_ms) {
    struct pollfd poller = {.fd = watch->inotify_fd, .events = POLLIN};
    if (poll(&poller, 1, timeout_ms) <= 0)
        return 0;
    return watch_consume(watch);
}

long long watch_size(struct output_watch* watch) {
    struct stat status;
    if (fstat(watch->reader_fd, &status) < 0)
        return -1;
    return (long long)status.st_size;
}

int watch_read(struct output_watch* watch) {
    long long size = watch_size(watch);
    if (size < 0)
        return -1;
    size_t wanted = (size_t)size + 1;
    if (wanted > watch->capacity) {
        unsigned char* grown = realloc(watch->content, wanted);
        if (!grown)
            return -1;
        watch->content = grown;
        watch->capacity = wanted;
    }
    /* The file may change while it is read; a torn read simply does not match. */
    size_t length = 0;
    while (length < watch->capacity) {
        ssize_t got = pread(watch->reader_fd, watch->content + length, watch->capacity - length,
                            (off_t)length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        length += (size_t)got;
    }
    watch->length = length;
    return 0;
}

enum landing landing_of(const struct output_watch* watch, const unsigned char* expected,
                        size_t length) {
    const size_t held = watch->length;
    if (held == length && memcmp(watch->content, expected, length) == 0)
        return kLandedWhole;
    if (held >= kMarkerLength && held < length &&
        memcmp(watch->content, expected + (length - held), held) == 0)
        return kLandedLastPiece;
    return kNotLanded;
}

enum landing wait_landing(struct output_watch* watch, const unsigned char* expected, size_t length,
                          unsigned long long deadline_ns) {
    for (;;) {
        watch_wait(watch, ms_until(deadline_ns, kRecheckMs));
        if (watch_read(watch) == 0) {
            enum landing landed = landing_of(watch, expected, length);
            if (landed != kNotLanded)
                return landed;
        }
        if (now_ns() >= deadline_ns)
            return kNotLanded;
    }
}
