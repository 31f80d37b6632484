#define _GNU_SOURCE
#include "procstat.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static long status_field(const char* path, const char* field) {
    FILE* file = fopen(path, "r");
    if (!file)
        return -1;
    char line[256];
    long value = -1;
    const size_t length = strlen(field);
    while (fgets(line, sizeof line, file)) {
        if (strncmp(line, field, length) == 0 && line[length] == ':') {
            value = atol(line + length + 1);
            break;
        }
    }
    fclose(file);
    return value;
}

static unsigned long long thread_switches(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
    DIR* tasks = opendir(path);
    if (!tasks)
        return 0;
    unsigned long long total = 0;
    for (struct dirent* entry; (entry = readdir(tasks));) {
        if (entry->d_name[0] == '.')
            continue;
        char status[320];
        snprintf(status, sizeof status, "/proc/%d/task/%s/status", (int)pid, entry->d_name);
        long voluntary = status_field(status, "voluntary_ctxt_switches");
        long involuntary = status_field(status, "nonvoluntary_ctxt_switches");
        total += (unsigned long long)(voluntary > 0 ? voluntary : 0) +
                 (unsigned long long)(involuntary > 0 ? involuntary : 0);
    }
    closedir(tasks);
    return total;
}

int sample_process(pid_t pid, struct process_sample* sample) {
    memset(sample, 0, sizeof *sample);
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    FILE* file = fopen(path, "r");
    if (!file)
        return -1;
    char line[2048];
    int read_ok = fgets(line, sizeof line, file) != NULL;
    fclose(file);
    /* The command name may hold blanks and parentheses: fields follow the last ')'. */
    char* after_name = read_ok ? strrchr(line, ')') : NULL;
    if (!after_name)
        return -1;
    unsigned long long utime = 0, stime = 0;
    if (sscanf(after_name + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
               &stime) != 2)
        return -1;
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    sample->alive = 1;
    sample->rss_kb = status_field(path, "VmRSS");
    sample->cpu_ticks = utime + stime;
    sample->wakeups = thread_switches(pid);
    return 0;
}

int watched_add(struct watched_processes* watched, const char* name_equals_pid) {
    const char* equals = strchr(name_equals_pid, '=');
    if (!equals || watched->count == kMaxWatched)
        return -1;
    char* name = strndup(name_equals_pid, (size_t)(equals - name_equals_pid));
    watched->name[watched->count] = name;
    watched->pid[watched->count] = (pid_t)atoi(equals + 1);
    ++watched->count;
    return 0;
}

void sample_all(const struct watched_processes* watched, struct process_sample* samples) {
    for (int i = 0; i < watched->count; ++i)
        sample_process(watched->pid[i], &samples[i]);
}
