/* The floor relay: the least work this machine can do for the relay's job.
 * It accepts any number of connections, and for every readable event takes
 * what one recv returns as one block, strips one trailing CR and then one
 * trailing CR LF, and replaces the output file with the rest (open with
 * truncation, one write, close). Nothing is ever sent back.
 *
 * Usage: floor_relay PORT OUTPUT_FILE */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

enum { kMaxEvents = 256, kInitialBuffer = 64 * 1024 };

struct block_buffer {
    char* data;
    size_t capacity;
};

static int reserve(struct block_buffer* buffer, size_t needed) {
    if (needed <= buffer->capacity)
        return 0;
    size_t capacity = buffer->capacity ? buffer->capacity : kInitialBuffer;
    while (capacity < needed)
        capacity *= 2;
    char* grown = realloc(buffer->data, capacity);
    if (!grown)
        return -1;
    buffer->data = grown;
    buffer->capacity = capacity;
    return 0;
}

static size_t stripped_length(const char* block, size_t length) {
    if (length >= 1 && block[length - 1] == '\r')
        length -= 1;
    if (length >= 2 && block[length - 2] == '\r' && block[length - 1] == '\n')
        length -= 2;
    return length;
}

/* Failures are dropped blocks, as in the relay itself: the next block tries again. */
static void replace_file(const char* path, const char* block, size_t length) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    while (length > 0) {
        ssize_t written = write(fd, block, length);
        if (written <= 0)
            break;
        block += written;
        length -= (size_t)written;
    }
    close(fd);
}

/* One recv of everything that waits on the connection (at least a 64 KiB
 * buffer, so a block on loopback comes whole). Returns the byte count, and sets
 * *ended when the peer has closed or the connection failed. */
static size_t receive(int fd, struct block_buffer* buffer, int* ended) {
    int waiting = 0;
    *ended = 0;
    if (ioctl(fd, FIONREAD, &waiting) < 0 || waiting < 0)
        waiting = 0;
    if (reserve(buffer, (size_t)waiting) < 0 || reserve(buffer, kInitialBuffer) < 0) {
        *ended = 1;
        return 0;
    }
    for (;;) {
        ssize_t got = recv(fd, buffer->data, buffer->capacity, 0);
        if (got > 0)
            return (size_t)got;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        *ended = 1;
        return 0;
    }
}

static void raise_descriptor_limit(void) {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

static int listen_on(unsigned short port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in address = {.sin_family = AF_INET, .sin_port = htons(port)};
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, (struct sockaddr*)&address, sizeof address) < 0 || listen(fd, SOMAXCONN) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

static void accept_all(int listener, int poller) {
    for (;;) {
        int fd = accept4(listener, NULL, NULL, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        struct epoll_event event = {.events = EPOLLIN | EPOLLRDHUP, .data.fd = fd};
        if (epoll_ctl(poller, EPOLL_CTL_ADD, fd, &event) < 0)
            close(fd);
    }
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s PORT OUTPUT_FILE\n", argv[0]);
        return 2;
    }
    const char* output = argv[2];
    signal(SIGPIPE, SIG_IGN);
    raise_descriptor_limit();
    int listener = listen_on((unsigned short)atoi(argv[1]));
    int poller = epoll_create1(EPOLL_CLOEXEC);
    if (listener < 0 || poller < 0) {
        perror("floor_relay");
        return 1;
    }
    struct epoll_event event = {.events = EPOLLIN, .data.fd = listener};
    epoll_ctl(poller, EPOLL_CTL_ADD, listener, &event);

    struct block_buffer buffer = {0};
    struct epoll_event events[kMaxEvents];
    for (;;) {
        int ready = epoll_wait(poller, events, kMaxEvents, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return 1;
        for (int i = 0; i < ready; ++i) {
            int fd = events[i].data.fd;
            if (fd == listener) {
                accept_all(listener, poller);
                continue;
            }
            int ended = 0;
            size_t length = receive(fd, &buffer, &ended);
            if (length > 0)
                replace_file(output, buffer.data, stripped_length(buffer.data, length));
            if (ended)
                close(fd);
        }
    }
}
