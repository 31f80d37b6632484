#include "report.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int fields;

static void key(const char* name) {
    printf("%s\n  \"%s\": ", fields++ ? "," : "", name);
}

void report_begin(const char* mode) {
    fields = 0;
    printf("{");
    report_text("mode", mode);
}

void report_int(const char* name, long long value) {
    key(name);
    printf("%lld", value);
}

void report_number(const char* name, double value) {
    key(name);
    printf("%.6g", value);
}

void report_text(const char* name, const char* value) {
    key(name);
    putchar('"');
    for (const char* at = value; *at; ++at) {
        if (*at == '"' || *at == '\\')
            putchar('\\');
        putchar(*at >= ' ' ? *at : ' ');
    }
    putchar('"');
}

void report_samples(const char* prefix, const struct watched_processes* watched,
                    const struct process_sample* samples) {
    char name[128];
    for (int i = 0; i < watched->count; ++i) {
        snprintf(name, sizeof name, "%s_rss_kb.%s", prefix, watched->name[i]);
        report_int(name, samples[i].alive ? samples[i].rss_kb : -1);
        snprintf(name, sizeof name, "%s_cpu_ticks.%s", prefix, watched->name[i]);
        report_int(name, samples[i].alive ? (long long)samples[i].cpu_ticks : -1);
        snprintf(name, sizeof name, "%s_wakeups.%s", prefix, watched->name[i]);
        report_int(name, samples[i].alive ? (long long)samples[i].wakeups : -1);
    }
}

int report_end(int ok, const char* error) {
    report_int("ok", ok);
    if (error)
        report_text("error", error);
    printf("\n}\n");
    fflush(stdout);
    return ok ? 0 : 1;
}

void latencies_add(struct latencies* latencies, uint64_t value) {
    if (latencies->count == latencies->capacity) {
        size_t capacity = latencies->capacity ? latencies->capacity * 2 : 4096;
        uint64_t* grown = realloc(latencies->values, capacity * sizeof *grown);
        if (!grown)
            return;
        latencies->values = grown;
        latencies->capacity = capacity;
    }
    latencies->values[latencies->count++] = value;
}

static int ascending(const void* a, const void* b) {
    uint64_t x = *(const uint64_t*)a, y = *(const uint64_t*)b;
    return (x > y) - (x < y);
}

double latencies_percentile(struct latencies* latencies, double fraction) {
    if (latencies->count == 0)
        return -1;
    uint64_t* sorted = malloc(latencies->count * sizeof *sorted);
    if (!sorted)
        return -1;
    memcpy(sorted, latencies->values, latencies->count * sizeof *sorted);
    qsort(sorted, latencies->count, sizeof *sorted, ascending);
    /* Nearest rank: the smallest value that at least this fraction does not exceed. */
    size_t rank = (size_t)(fraction * (double)latencies->count + 0.999999);
    if (rank < 1)
        rank = 1;
    double value = (double)sorted[rank - 1];
    free(sorted);
    return value;
}

void latencies_report(struct latencies* latencies, const char* prefix) {
    char name[128];
    snprintf(name, sizeof name, "%s_p50_ns", prefix);
    report_number(name, latencies_percentile(latencies, 0.50));
    snprintf(name, sizeof name, "%s_p99_ns", prefix);
    report_number(name, latencies_percentile(latencies, 0.99));
    snprintf(name, sizeof name, "%s_count", prefix);
    report_int(name, (long long)latencies->count);
}

int latencies_write(const struct latencies* latencies, const char* path) {
    FILE* file = fopen(path, "w");
    if (!file)
        return -1;
    for (size_t i = 0; i < latencies->count; ++i)
        fprintf(file, "%llu\n", (unsigned long long)latencies->values[i]);
    return fclose(file);
}
