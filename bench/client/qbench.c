/* The benchmark's load client: one mode per run, results as one JSON object on
 * standard output. Only 127.0.0.1 is ever connected to, and every run ends by
 * its --timeout at the latest.
 *
 * qbench MODE --port P --file OUTPUT [options]
 *   latency     --count N --warmup N --size BYTES [--hold N] [--raw FILE]
 *   throughput  --connections N --seconds S --size BYTES [--no-hold]
 *   stream      --bytes BYTES --chunk BYTES
 *   scale       --connections N [--burst] [--deliver] --size BYTES [--raw FILE]
 *   idle        --connections N --seconds S
 *   check
 *   --pid NAME=PID (repeatable): processes whose memory and CPU time are read */
#include <getopt.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#include "clock.h"
#include "options.h"

static void usage(void) {
    fputs("usage: qbench latency|throughput|stream|scale|idle|check --port P --file OUTPUT "
          "[options]\n",
          stderr);
    exit(2);
}

static void raise_descriptor_limit(void) {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int main(int argc, char** argv) {
    if (argc < 2)
        usage();
    struct options options = {.mode = argv[1],
                              .count = 2000,
                              .warmup = 20,
                              .size = 64,
                              .connections = 1,
                              .seconds = 5,
                              .bytes = 64u << 20,
                              .chunk = 256u << 10,
                              .timeout = 120};
    static const struct option long_options[] = {{"port", required_argument, 0, 'p'},
                                                 {"file", required_argument, 0, 'f'},
                                                 {"count", required_argument, 0, 'n'},
                                                 {"warmup", required_argument, 0, 'w'},
                                                 {"size", required_argument, 0, 's'},
                                                 {"connections", required_argument, 0, 'c'},
                                                 {"hold", required_argument, 0, 'h'},
                                                 {"seconds", required_argument, 0, 'S'},
                                                 {"bytes", required_argument, 0, 'b'},
                                                 {"chunk", required_argument, 0, 'k'},
                                                 {"burst", no_argument, 0, 'B'},
                                                 {"deliver", no_argument, 0, 'D'},
                                                 {"raw", required_argument, 0, 'r'},
                                                 {"timeout", required_argument, 0, 't'},
                                                 {"pid", required_argument, 0, 'P'},
                                                 {"no-hold", no_argument, 0, 'N'},
                                                 {0, 0, 0, 0}};
    optind = 2;
    for (int option; (option = getopt_long(argc, argv, "", long_options, NULL)) != -1;) {
        switch (option) {
        case 'p':
            options.port = (unsigned short)atoi(optarg);
            break;
        case 'f':
            options.file = optarg;
            break;
        case 'n':
            options.count = atoi(optarg);
            break;
        case 'w':
            options.warmup = atoi(optarg);
            break;
        case 's':
            options.size = strtoull(optarg, NULL, 10);
            break;
        case 'c':
            options.connections = atoi(optarg);
            break;
        case 'h':
            options.hold = atoi(optarg);
            break;
        case 'S':
            options.seconds = atof(optarg);
            break;
        case 'b':
            options.bytes = strtoull(optarg, NULL, 10);
            break;
        case 'k':
            options.chunk = strtoull(optarg, NULL, 10);
            break;
        case 'B':
            options.burst = 1;
            break;
        case 'D':
            options.deliver = 1;
            break;
        case 'N':
            options.no_hold = 1;
            break;
        case 'r':
            options.raw = optarg;
            break;
        case 't':
            options.timeout = atof(optarg);
            break;
        case 'P':
            if (watched_add(&options.watched, optarg) < 0)
                usage();
            break;
        default:
            usage();
        }
    }
    if (!options.port || !options.file || options.size < 22 || options.connections < 1 ||
        options.count < 1 || options.warmup < 0 || options.hold < 0 || options.chunk < 1 ||
        options.seconds <= 0 || options.timeout <= 0)
        usage();
    signal(SIGPIPE, SIG_IGN);
    raise_descriptor_limit();
    /* The hard bound of the run: whatever happens, it ends. */
    alarm((unsigned)options.timeout + 30);
    options.deadline_ns = now_ns() + (uint64_t)(options.timeout * 1e9);

    static const struct {
        const char* name;
        int (*run)(const struct options*);
    } modes[] = {{"latency", run_latency}, {"throughput", run_throughput},
                 {"stream", run_stream},   {"scale", run_scale},
                 {"idle", run_idle},       {"check", run_check}};
    for (size_t i = 0; i < sizeof modes / sizeof modes[0]; ++i)
        if (strcmp(options.mode, modes[i].name) == 0)
            return modes[i].run(&options);
    usage();
}
