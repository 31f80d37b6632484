#include "block.h"

#include <stdio.h>
#include <string.h>

void fill_pseudo_random(unsigned char* data, size_t length, uint64_t seed) {
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    size_t i = 0;
    while (i < length) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        for (int byte = 0; byte < 8 && i < length; ++byte, ++i)
            data[i] = (unsigned char)(state >> (8 * byte));
    }
}

void block_mark(unsigned char* end_of_data, unsigned client, uint64_t sequence) {
    char marker[kMarkerLength + 1];
    snprintf(marker, sizeof marker, "|%05u|%012llu|", client % 100000u,
             (unsigned long long)(sequence % 1000000000000ull));
    memcpy(end_of_data - kMarkerLength, marker, kMarkerLength);
}

void block_make(unsigned char* block, size_t block_size, unsigned client, uint64_t sequence) {
    size_t content = block_landed_length(block_size);
    fill_pseudo_random(block, content - kMarkerLength, ((uint64_t)client << 40) ^ sequence);
    block_mark(block + content, client, sequence);
    block[content] = '\r';
    block[content + 1] = '\n';
}

int block_marker(const unsigned char* content, size_t length, unsigned* client,
                 uint64_t* sequence) {
    if (length < kMarkerLength)
        return -1;
    const unsigned char* marker = content + length - kMarkerLength;
    if (marker[0] != '|' || marker[6] != '|' || marker[19] != '|')
        return -1;
    unsigned value = 0;
    for (int i = 1; i < 6; ++i) {
        if (marker[i] < '0' || marker[i] > '9')
            return -1;
        value = value * 10 + (unsigned)(marker[i] - '0');
    }
    uint64_t number = 0;
    for (int i = 7; i < 19; ++i) {
        if (marker[i] < '0' || marker[i] > '9')
            return -1;
        number = number * 10 + (uint64_t)(marker[i] - '0');
    }
    *client = value;
    *sequence = number;
    return 0;
}
