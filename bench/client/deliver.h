#ifndef QBENCH_DELIVER_H
#define QBENCH_DELIVER_H

#include <stddef.h>
#include <stdint.h>

#include "watch.h"

/* A sequence base that differs from run to run, so no block of an earlier run
 * can be mistaken for one of this run. */
uint64_t fresh_sequence_base(void);

/* Sends one unique block on the connection and waits until it lands in the
 * file. block must hold size bytes. *took is the time from the send to the
 * landing. */
enum landing deliver_block(int fd, struct output_watch* watch, unsigned char* block, size_t size,
                           unsigned client, uint64_t sequence, uint64_t timeout_ns, uint64_t* took);

#endif
