#ifndef QBENCH_REPORT_H
#define QBENCH_REPORT_H

#include <stddef.h>
#include <stdint.h>

#include "procstat.h"

/* The result of a run: one flat JSON object on standard output. */
void report_begin(const char* mode);
void report_int(const char* key, long long value);
void report_number(const char* key, double value);
void report_text(const char* key, const char* value);
void report_samples(const char* prefix, const struct watched_processes* watched,
                    const struct process_sample* samples);
/* Ends the object; returns the exit code of the run (0 when ok). */
int report_end(int ok, const char* error);

/* Delivery times: percentiles here, every value to a raw file if asked. */
struct latencies {
    uint64_t* values;
    size_t count;
    size_t capacity;
};
void latencies_add(struct latencies* latencies, uint64_t value);
double latencies_percentile(struct latencies* latencies, double fraction);
void latencies_report(struct latencies* latencies, const char* prefix);
int latencies_write(const struct latencies* latencies, const char* path);

#endif
