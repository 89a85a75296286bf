// Feeds arbitrary station and channel fields (32 bytes each) and a start time through the
// name decoding and the naming of a new segment, and checks what must hold for any input: the
// names are valid UTF-8, and the segment's path never leaves the data root.
//
// Input: bytes 0..31 the station field, 32..63 the channel field, 64..71 the start (a
// little-endian double; used when it lies in the years 1 to 9999, else a fixed start).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "archive/segment_file.h"
#include "archive/segment_path.h"
#include "recorder/header_text.h"
#include "timecalc/calendar.h"

namespace {

// True when every sequence is a well-formed lead byte with its continuation bytes.
bool ValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
        } else if (lead >= 0x80) {
            return false;
        }
        if (text.size() - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += extra + 1;
    }
    return true;
}

bool HasSeparator(std::string_view text) {
    return text.find('/') != std::string_view::npos || text.find('\\') != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t fields[64] = {};
    std::memcpy(fields, data, size < sizeof fields ? size : sizeof fields);
    double start = 1044057600.0;  // 2003-02-01
    if (size >= 72) {
        double given;
        std::memcpy(&given, data + 64, sizeof given);
        static const double first = SecondsFromDate(1, 1, 1, 0, 0, 0);
        static const double end = SecondsFromDate(10000, 1, 1, 0, 0, 0);
        if (given >= first && given < end) start = given;
    }

    const std::string station = StationTextFromField(fields);
    const std::string channel = ChannelNameFromField(fields + 32);
    if (!ValidUtf8(station) || !ValidUtf8(channel)) __builtin_trap();

    const SegmentPathParts parts = SegmentPathPartsOf(station, channel, start);
    if (parts.stationDir.empty() || parts.stationDir == "." || parts.stationDir == ".." ||
        HasSeparator(parts.stationDir) || HasSeparator(parts.fileName) || parts.hourDir.size() != 2)
        __builtin_trap();
    if (!IsInsideDataRoot(parts.stationDir + "\\" + parts.hourDir + "\\" + parts.fileName))
        __builtin_trap();

    char header[kSegmentHeaderSize];
    FormatSegmentHeader(header, station, channel, 100, start);
    if (std::memchr(header, '\0', sizeof header) == nullptr) __builtin_trap();
    return 0;
}
