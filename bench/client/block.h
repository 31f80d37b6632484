#ifndef QBENCH_BLOCK_H
#define QBENCH_BLOCK_H

#include <stddef.h>
#include <stdint.h>

/* Every block ends in a marker naming its client and sequence number, then CR LF.
 * The relay strips the CR LF, so the file must then hold the block less its last
 * two bytes; the marker makes each block unique and tells whose it is. */
enum { kMarkerLength = 20, kMinimumBlockSize = kMarkerLength + 2 };

/* The bytes the output file holds once the block has landed. */
static inline size_t block_landed_length(size_t block_size) {
    return block_size - 2;
}

/* Fills a block of block_size bytes (at least kMinimumBlockSize): bytes of every
 * value, NUL, CR and LF included, then the marker, then CR LF. */
void block_make(unsigned char* block, size_t block_size, unsigned client, uint64_t sequence);

/* Writes the marker into the last kMarkerLength bytes of data. */
void block_mark(unsigned char* end_of_data, unsigned client, uint64_t sequence);

/* Reads the marker at the end of the content; 0 when there is one. */
int block_marker(const unsigned char* content, size_t length, unsigned* client, uint64_t* sequence);

/* Fills bytes of every value, different for every seed. */
void fill_pseudo_random(unsigned char* data, size_t length, uint64_t seed);

#endif
