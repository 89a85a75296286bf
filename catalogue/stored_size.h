#pragma once
// The disk space a catalogue row stands for.

#include <cstdint>

// A byte count computed in floating point as a whole number of bytes: truncated toward zero;
// a negative or undefined count is 0, one beyond the range the largest count.
inline uint64_t ByteCountFromDouble(double bytes) {
    if (!(bytes > 0)) return 0;
    if (bytes >= 18446744073709551616.0) return UINT64_MAX;  // 2^64
    return static_cast<uint64_t>(bytes);
}

// Four bytes per float sample plus the 512-byte segment header.
inline uint64_t RowStoredSize(double sps, double tqty) {
    return ByteCountFromDouble(tqty * sps * 4 + 512);
}
