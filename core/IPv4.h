// Packing of IPv4 addresses into 32 bits, first dotted group most significant; portable.
#pragma once

#include <cstdint>

constexpr int IPV4_OCTET_COUNT = 4;

// a.b.c.d as a·2^24 + b·2^16 + c·2^8 + d; each group is taken modulo 256.
constexpr uint32_t MakeIPv4(unsigned a, unsigned b, unsigned c, unsigned d) {
    return (a & 0xFFu) << 24 | (b & 0xFFu) << 16 | (c & 0xFFu) << 8 | (d & 0xFFu);
}

// The dotted group at position 0 (first, most significant) to 3 (last).
constexpr int IPv4Octet(uint32_t address, int position) {
    return static_cast<int>((address >> (8 * (3 - position))) & 0xFFu);
}
