#ifndef QBENCH_PROCSTAT_H
#define QBENCH_PROCSTAT_H

#include <sys/types.h>

/* One look at a process, from /proc. */
struct process_sample {
    int alive;
    long rss_kb;                  /* VmRSS */
    unsigned long long cpu_ticks; /* utime + stime of all its threads */
    unsigned long long wakeups;   /* context switches of all its threads */
};

int sample_process(pid_t pid, struct process_sample* sample);

/* The processes a run looks at, given as name=pid on the command line. */
enum { kMaxWatched = 8 };
struct watched_processes {
    int count;
    const char* name[kMaxWatched];
    pid_t pid[kMaxWatched];
};

int watched_add(struct watched_processes* watched, const char* name_equals_pid);
void sample_all(const struct watched_processes* watched, struct process_sample* samples);

#endif
