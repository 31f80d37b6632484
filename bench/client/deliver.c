#include "deliver.h"

#include "block.h"
#include "clock.h"
#include "net.h"

uint64_t fresh_sequence_base(void) {
    return (now_ns() / 1000 % 1000000) * 1000000;
}

enum landing deliver_block(int fd, struct output_watch* watch, unsigned char* block, size_t size,
                           unsigned client, uint64_t sequence, uint64_t timeout_ns,
                           uint64_t* took) {
    block_make(block, size, client, sequence);
    const uint64_t sent = now_ns();
    const uint64_t deadline = sent + timeout_ns;
    if (send_all(fd, block, size, deadline) < 0)
        return kNotLanded;
    enum landing landed = wait_landing(watch, block, block_landed_length(size), deadline);
    *took = now_ns() - sent;
    return landed;
}
