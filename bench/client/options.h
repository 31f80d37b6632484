#ifndef QBENCH_OPTIONS_H
#define QBENCH_OPTIONS_H

#include <stddef.h>
#include <stdint.h>

#include "procstat.h"

struct options {
    const char* mode;
    unsigned short port;
    const char* file;     /* the relay's output file */
    int count;            /* latency: timed sends */
    int warmup;           /* latency: untimed sends first */
    size_t size;          /* block size in bytes, CR LF included */
    int connections;      /* throughput clients, scale and idle connections */
    int hold;             /* latency: idle connections held meanwhile */
    double seconds;       /* throughput window, idle period */
    size_t bytes;         /* stream length */
    size_t chunk;         /* stream: bytes per send call */
    int burst;            /* scale: connect all at once instead of paced */
    int deliver;          /* scale: each connection then delivers one block */
    int no_hold;          /* throughput: do not hold the relay's opens (one client only) */
    const char* raw;      /* where to write every delivery time, if anywhere */
    double timeout;       /* bound of the whole run, in seconds */
    uint64_t deadline_ns; /* the same, as a point in time */
    struct watched_processes watched;
};

int run_latency(const struct options* options);
int run_throughput(const struct options* options);
int run_stream(const struct options* options);
int run_scale(const struct options* options);
int run_idle(const struct options* options);
int run_check(const struct options* options);

#endif
