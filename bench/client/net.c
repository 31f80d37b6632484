#define _GNU_SOURCE
#include "net.h"

#include <errno.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "clock.h"

enum { kTcpEstablished = 1, kTcpSynReceived = 3, kTcpListen = 10 };

int tcp_connect_start(unsigned short port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    struct sockaddr_in address = {.sin_family = AF_INET, .sin_port = htons(port)};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, (struct sockaddr*)&address, sizeof address) < 0 && errno != EINPROGRESS) {
        close(fd);
        return -1;
    }
    return fd;
}

int send_all(int fd, const void* data, size_t length, uint64_t deadline_ns) {
    const char* at = data;
    while (length > 0) {
        ssize_t sent = send(fd, at, length, MSG_NOSIGNAL);
        if (sent > 0) {
            at += sent;
            length -= (size_t)sent;
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EINTR)
            return -1;
        struct pollfd poller = {.fd = fd, .events = POLLOUT};
        if (now_ns() >= deadline_ns)
            return -1;
        poll(&poller, 1, ms_until(deadline_ns, 100));
    }
    return 0;
}

unsigned short local_port(int fd) {
    struct sockaddr_in address;
    socklen_t size = sizeof address;
    if (getsockname(fd, (struct sockaddr*)&address, &size) < 0)
        return 0;
    return ntohs(address.sin_port);
}

void close_gracefully(int fd) {
    if (fd >= 0) {
        shutdown(fd, SHUT_WR);
        close(fd);
    }
}

static int diag_dump(int family, unsigned states, unsigned short port, struct port_state* state) {
    int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return -1;
    struct {
        struct nlmsghdr header;
        struct inet_diag_req_v2 request;
    } message = {
        .header = {.nlmsg_len = sizeof message,
                   .nlmsg_type = SOCK_DIAG_BY_FAMILY,
                   .nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP},
        .request = {.sdiag_family = (unsigned char)family,
                    .sdiag_protocol = IPPROTO_TCP,
                    .idiag_states = states},
    };
    if (send(fd, &message, sizeof message, 0) < 0) {
        close(fd);
        return -1;
    }
    static char buffer[256 * 1024];
    int result = -1;
    for (int rounds = 0; rounds < 100000; ++rounds) {
        ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        int done = 0;
        for (struct nlmsghdr* header = (struct nlmsghdr*)buffer; NLMSG_OK(header, (size_t)got);
             header = NLMSG_NEXT(header, got)) {
            if (header->nlmsg_type == NLMSG_DONE) {
                result = 0;
                done = 1;
                break;
            }
            if (header->nlmsg_type == NLMSG_ERROR) {
                done = 1;
                break;
            }
            const struct inet_diag_msg* socket_info = NLMSG_DATA(header);
            if (ntohs(socket_info->id.idiag_sport) != port)
                continue;
            if (socket_info->idiag_state == kTcpListen) {
                state->listening = 1;
                state->accept_queue += socket_info->idiag_rqueue;
                state->backlog += socket_info->idiag_wqueue;
            } else if (socket_info->idiag_state == kTcpEstablished) {
                ++state->established;
            } else if (socket_info->idiag_state == kTcpSynReceived) {
                ++state->syn_received;
            }
        }
        if (done)
            break;
    }
    close(fd);
    return result;
}

int port_query(unsigned short port, int count_connections, struct port_state* state) {
    memset(state, 0, sizeof *state);
    unsigned states = 1u << kTcpListen;
    if (count_connections)
        states |= (1u << kTcpEstablished) | (1u << kTcpSynReceived);
    /* A relay may listen on IPv6 with IPv4 mapped in (Node.js does). */
    if (diag_dump(AF_INET, states, port, state) < 0 || diag_dump(AF_INET6, states, port, state) < 0)
        return -1;
    return 0;
}

long long listen_overflows(void) {
    FILE* file = fopen("/proc/net/netstat", "r");
    if (!file)
        return -1;
    char names[8192], values[8192];
    long long result = -1;
    while (fgets(names, sizeof names, file) && fgets(values, sizeof values, file)) {
        if (strncmp(names, "TcpExt:", 7) != 0)
            continue;
        char *name_save = NULL, *value_save = NULL;
        char* name = strtok_r(names, " \n", &name_save);
        char* value = strtok_r(values, " \n", &value_save);
        while (name && value) {
            if (strcmp(name, "ListenOverflows") == 0)
                result = atoll(value);
            name = strtok_r(NULL, " \n", &name_save);
            value = strtok_r(NULL, " \n", &value_save);
        }
    }
    fclose(file);
    return result;
}

/* Marks the connects that completed (or failed) since the last call. */
static void collect_connects(int poller, int* fds, int wait_ms, int* pending,
                             struct connect_report* report) {
    struct epoll_event events[512];
    int ready = epoll_wait(poller, events, 512, wait_ms);
    for (int i = 0; i < ready; ++i) {
        int index = (int)events[i].data.u32;
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(fds[index], SOL_SOCKET, SO_ERROR, &error, &size);
        epoll_ctl(poller, EPOLL_CTL_DEL, fds[index], NULL);
        --*pending;
        if (error) {
            close(fds[index]);
            fds[index] = -1;
            ++report->failed;
        } else {
            ++report->connected;
        }
    }
}

int connect_many(unsigned short port, int count, int paced, int* fds, uint64_t deadline_ns,
                 struct connect_report* report) {
    /* How often the relay's side is looked at while waiting: the full count of a
     * burst costs more, and the looking must not take the cores the relay needs. */
    const uint64_t paced_look_ns = 50 * 1000, burst_look_ns = 10 * 1000 * 1000;
    memset(report, 0, sizeof *report);
    for (int i = 0; i < count; ++i)
        fds[i] = -1;
    int poller = epoll_create1(EPOLL_CLOEXEC);
    if (poller < 0)
        return -1;
    const long long overflows_before = listen_overflows();
    const uint64_t started = now_ns();
    int issued = 0, pending = 0, result = -1;
    while (now_ns() < deadline_ns) {
        struct port_state state;
        if (port_query(port, !paced, &state) < 0 || !state.listening)
            break;
        report->backlog = state.backlog;
        /* Paced, the relay's side cannot have dropped a handshake, so every
         * completed connect is either queued or accepted. */
        report->accepted = paced ? report->connected - (int)state.accept_queue
                                 : (int)state.established - (int)state.accept_queue;
        if (report->connected == count && state.accept_queue == 0 && report->accepted >= count) {
            report->all_accepted_ns = now_ns() - started;
            result = 0;
            break;
        }
        if (issued == count && pending == 0 && report->failed > 0)
            break;
        long room = paced ? (long)state.backlog - (long)state.accept_queue - pending : count;
        while (room-- > 0 && issued < count) {
            int fd = tcp_connect_start(port);
            if (fd < 0) {
                ++report->failed;
                ++issued;
                continue;
            }
            struct epoll_event event = {.events = EPOLLOUT, .data.u32 = (uint32_t)issued};
            epoll_ctl(poller, EPOLL_CTL_ADD, fd, &event);
            fds[issued++] = fd;
            ++pending;
        }
        const uint64_t look_again = now_ns() + (paced ? paced_look_ns : burst_look_ns);
        do {
            collect_connects(poller, fds, pending ? ms_until(look_again, 1) : 0, &pending, report);
            const uint64_t now = now_ns();
            if (now < look_again && !pending)
                sleep_ns(look_again - now);
        } while (now_ns() < look_again);
    }
    close(poller);
    const long long overflows_after = listen_overflows();
    report->overflows =
        overflows_before >= 0 && overflows_after >= 0 ? overflows_after - overflows_before : -1;
    return result;
}
