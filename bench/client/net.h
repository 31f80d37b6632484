#ifndef QBENCH_NET_H
#define QBENCH_NET_H

#include <stddef.h>
#include <stdint.h>

/* Starts a non-blocking connect to 127.0.0.1:port; the descriptor or -1. */
int tcp_connect_start(unsigned short port);

/* Sends all bytes before the deadline; 0 on success. */
int send_all(int fd, const void* data, size_t length, uint64_t deadline_ns);

/* The local port of a connected socket. */
unsigned short local_port(int fd);

/* Closes a connection the orderly way (FIN, never a reset: nothing is unread). */
void close_gracefully(int fd);

/* What the kernel knows of the relay's side of the port. */
struct port_state {
    int listening;
    unsigned accept_queue; /* connections completed but not yet accepted */
    unsigned backlog;      /* the listening socket's backlog limit */
    unsigned established;  /* connections on the relay's side, accepted or queued */
    unsigned syn_received; /* handshakes the relay's side has not completed */
};

/* Asks the kernel (sock_diag). With count_connections 0 only the listening
 * socket is looked at, which is cheap. 0 on success. */
int port_query(unsigned short port, int count_connections, struct port_state* state);

/* System-wide count of connections dropped because an accept queue was full. */
long long listen_overflows(void);

struct connect_report {
    int connected;            /* client side saw the connection complete */
    int failed;               /* connects that failed (refused, timed out) */
    int accepted;             /* relay side: established and taken off the accept queue */
    uint64_t all_accepted_ns; /* from the first connect until all were accepted; 0 if not */
    long long overflows;      /* accept-queue overflows meanwhile (system-wide counter) */
    unsigned backlog;
};

/* Opens count connections. Paced: never more connects in flight than the relay's
 * accept queue has room for, so nothing waits for a SYN retransmission and the
 * time measures how fast the relay accepts. Burst: all at once, as a crowd of
 * clients would. Returns 0 when all were accepted before the deadline. */
int connect_many(unsigned short port, int count, int paced, int* fds, uint64_t deadline_ns,
                 struct connect_report* report);

#endif
