#pragma once
// Segment files: where a new segment lies (station and hour directories, file name) and the
// 512-byte text header that opens it. The samples follow the header as little-endian floats.
//
//   bytes 0..511   header lines, each ending in CR LF, then one NUL, then blanks to byte 511
//   bytes 512..    the samples in time order, 4 bytes each; (length - 512) / 4 of them

#include <cstddef>
#include <string>
#include <string_view>

// Size of the header, which is also the byte offset of the first sample (FOFF).
inline constexpr int kSegmentHeaderSize = 512;

// A segment start split into the fields that name the segment and fill its header.
struct SegmentStartTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0;
    int second = 0;  // whole seconds, truncated
};
SegmentStartTime SplitSegmentStart(double start);

// `name` made safe to be one path component below the data root: "/" and "\" become "_", and
// a component "." or ".." becomes "_" or "__" (an empty one "_"). The catalogue's STA and CH
// and the header keep the names as they are; inside a file name only the separators change.
std::string PathComponentOf(std::string_view name);

// The three components of a new segment's catalogue path STA\HH\DDMMYYYY-HHMMSS-CCC.SSS.
struct SegmentPathParts {
    std::string stationDir;  // the station name as a path component
    std::string hourDir;     // two-digit hour of the start, "00" to "23"
    std::string fileName;    // date, time, channel and station; names shorter than 3 bytes
                             // are right-aligned in 3 blanks, longer ones stay whole
};
SegmentPathParts SegmentPathPartsOf(std::string_view station, std::string_view channel,
                                    double start);

// Fills `area` (kSegmentHeaderSize bytes) with the header of a segment of `station` and
// `channel` at `sampleRate` starting at `start`. Names too long for the header are cut (at a
// character boundary) so that the text and its NUL stay within the area.
void FormatSegmentHeader(char* area, std::string_view station, std::string_view channel,
                         double sampleRate, double start);

// Creates one directory level (mode 0777 before umask). An existing directory or a missing
// parent makes it fail without notice: the file creation that follows reports the problem.
void MakeDirectory(const char* path);
