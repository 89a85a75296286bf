#pragma once
// Layout of a recorder data file, and little-endian access to its fields.
//
// The file is a 120-byte header, then one 72-byte channel descriptor per channel, then the
// sample block: nsamp frames, each holding one sample of every channel (channel 0 first),
// 16-bit when sampleFormat is 16 or 0, else 32-bit. All numbers are little-endian, integers
// two's complement, reals IEEE 754 doubles. Text is 8-bit in the recorder's code page,
// blank-padded or ended early by a NUL; a field filling its width has no NUL.
//
// Header (120 bytes):
//   offset size type    field
//        0    2 int16   nch              channels; also the number of descriptors
//        2    2         reserved
//        4    2 int16   adcVersion       version of the recorder's converter
//        6    2 int16   day              day of month of the first sample
//        8    2 int16   month            month of the first sample, 1..12
//       10    2 int16   year             year of the first sample; below 1900 counts from 2000
//       12    6         reserved
//       18    2 int16   sampleFormat     16 or 0: 16-bit samples, anything else: 32-bit
//       20   12         reserved
//       32   32 text    station          station code up to the first blank or dot
//       48    8 float64 sampleInterval   seconds between samples (overlaps station 16..23)
//       56    8 float64 firstSampleTime  seconds after midnight (overlaps station 24..31)
//       64   56         reserved
//
// Channel descriptor (72 bytes):
//   offset size type    field
//        0    8         reserved
//        8   32 text    name             channel name, blank-padded
//       40   16         reserved
//       56    8 float64 calibFactor      calibration coefficient; 0 = none
//       64    8 float64 calibFrequency   calibration frequency; 0 = none
//
// Because the station field and the two doubles share bytes 48..63, fields are decoded from
// bytes at their offsets, never through a struct laid over the header.

#include <bit>
#include <cstddef>
#include <cstdint>

#include "recorder/recording.h"

inline constexpr size_t kHeaderSize = 120;
inline constexpr size_t kDescriptorSize = 72;

// Header field offsets.
inline constexpr size_t kHeaderNch = 0;
inline constexpr size_t kHeaderAdcVersion = 4;
inline constexpr size_t kHeaderDay = 6;
inline constexpr size_t kHeaderMonth = 8;
inline constexpr size_t kHeaderYear = 10;
inline constexpr size_t kHeaderSampleFormat = 18;
inline constexpr size_t kHeaderStation = 32;
inline constexpr size_t kHeaderStationSize = 32;
inline constexpr size_t kHeaderSampleInterval = 48;
inline constexpr size_t kHeaderFirstSampleTime = 56;

// Channel descriptor field offsets.
inline constexpr size_t kDescriptorName = 8;
inline constexpr size_t kDescriptorNameSize = 32;
inline constexpr size_t kDescriptorCalibFactor = 56;
inline constexpr size_t kDescriptorCalibFrequency = 64;

static_assert(sizeof(RecordingHeader) == kHeaderSize);
static_assert(kHeaderFirstSampleTime + 8 <= kHeaderSize);
static_assert(kDescriptorCalibFrequency + 8 == kDescriptorSize);

// --- little-endian decoding and encoding ---

inline uint16_t GetLEU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline int16_t GetLE16(const uint8_t* p) {
    return static_cast<int16_t>(GetLEU16(p));
}
inline uint32_t GetLEU32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline int32_t GetLE32(const uint8_t* p) {
    return static_cast<int32_t>(GetLEU32(p));
}
inline uint64_t GetLEU64(const uint8_t* p) {
    return uint64_t{GetLEU32(p)} | (uint64_t{GetLEU32(p + 4)} << 32);
}
inline double GetLEDouble(const uint8_t* p) {
    return std::bit_cast<double>(GetLEU64(p));
}

inline void PutLE16(uint8_t* p, int16_t value) {
    const auto bits = static_cast<uint16_t>(value);
    p[0] = static_cast<uint8_t>(bits);
    p[1] = static_cast<uint8_t>(bits >> 8);
}
inline void PutLE32(uint8_t* p, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(bits >> (8 * i));
}
inline void PutLEDouble(uint8_t* p, double value) {
    const auto bits = std::bit_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(bits >> (8 * i));
}

// --- header fields ---

inline int16_t HeaderNch(const RecordingHeader& h) {
    return GetLE16(h.bytes + kHeaderNch);
}
inline int16_t HeaderAdcVersion(const RecordingHeader& h) {
    return GetLE16(h.bytes + kHeaderAdcVersion);
}
inline int16_t HeaderDay(const RecordingHeader& h) {
    return GetLE16(h.bytes + kHeaderDay);
}
inline int16_t HeaderMonth(const RecordingHeader& h) {
    return GetLE16(h.bytes + kHeaderMonth);
}
inline int16_t HeaderYear(const RecordingHeader& h) {
    return GetLE16(h.bytes + kHeaderYear);
}
inline void SetHeaderYear(RecordingHeader& h, int16_t year) {
    PutLE16(h.bytes + kHeaderYear, year);
}
inline int16_t HeaderSampleFormat(const RecordingHeader& h) {
    return GetLE16(h.bytes + kHeaderSampleFormat);
}
inline double HeaderSampleInterval(const RecordingHeader& h) {
    return GetLEDouble(h.bytes + kHeaderSampleInterval);
}
inline double HeaderFirstSampleTime(const RecordingHeader& h) {
    return GetLEDouble(h.bytes + kHeaderFirstSampleTime);
}
// The 32 bytes of the station field (not NUL-terminated when full).
inline const uint8_t* HeaderStationField(const RecordingHeader& h) {
    return h.bytes + kHeaderStation;
}

// Bytes per sample for a sampleFormat value: 2 for 16 or 0, else 4.
inline int32_t SampleBytesForFormat(int16_t sampleFormat) {
    return sampleFormat == 16 || sampleFormat == 0 ? 2 : 4;
}

// --- channel descriptor fields (p points at the descriptor's first byte) ---

inline const uint8_t* DescriptorNameField(const uint8_t* p) {
    return p + kDescriptorName;
}
inline double DescriptorCalibFactor(const uint8_t* p) {
    return GetLEDouble(p + kDescriptorCalibFactor);
}
inline double DescriptorCalibFrequency(const uint8_t* p) {
    return GetLEDouble(p + kDescriptorCalibFrequency);
}

// --- the size rule ---

// Bytes before the sample block of a file with `nch` channels.
inline int64_t SampleBlockOffset(int32_t nch) {
    return int64_t{kHeaderSize} + int64_t{kDescriptorSize} * nch;
}

// Whole frames in a file of `fileLength` bytes: the quotient truncated toward zero, negative
// when the file is shorter than its header and descriptors; 0 when nch or sampleBytes is not
// positive.
inline int64_t FramesInFile(int64_t fileLength, int32_t nch, int32_t sampleBytes) {
    if (nch <= 0 || sampleBytes <= 0) return 0;
    return (fileLength - SampleBlockOffset(nch)) / (int64_t{nch} * sampleBytes);
}

// True when a file of `fileLength` bytes holds exactly the header, `nch` descriptors and
// `nsamp` whole frames, none of them negative or empty.
inline bool FileLengthMatches(int64_t fileLength, int32_t nch, int32_t sampleBytes, int64_t nsamp) {
    if (nch <= 0 || sampleBytes <= 0 || nsamp < 0) return false;
    if (fileLength < SampleBlockOffset(nch)) return false;
    const int64_t blockBytes = fileLength - SampleBlockOffset(nch);
    const int64_t frameBytes = int64_t{nch} * sampleBytes;
    return blockBytes % frameBytes == 0 && blockBytes / frameBytes == nsamp;
}
