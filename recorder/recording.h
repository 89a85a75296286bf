#pragma once
// The recorder file's header as read, the values derived from it, and the channel table.
// (Field offsets and decoding live in recorder/recorder_format.h.)

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The 120 header bytes exactly as in the file (little-endian). Fields are read and written
// through the accessors of recorder/recorder_format.h; `year` is rewritten in place by
// RecordingStartTime.
struct RecordingHeader {
    uint8_t bytes[120] = {};
};
static_assert(sizeof(RecordingHeader) == 120);

// Values derived from the header by ReadRecordingHeader.
struct RecordingInfo {
    double startTime = 0;     // EpochSeconds of the first sample of every channel
    double sps = 0;           // 1 / sampleInterval, unrounded
    int32_t sampleBytes = 0;  // 2 or 4
    int64_t fileLength = 0;   // length of the recorder file in bytes
    int32_t nch = 0;          // channels, as in the header
    int64_t nsamp = 0;        // whole frames in the sample block
    std::string stationText;  // station field cut at its first blank or dot, upper-cased (UTF-8)
};

// One channel of the recording.
struct ChannelInfo {
    std::string name;   // trimmed, upper-cased (UTF-8)
    int active = 0;     // 1 for every channel the reader adds
    double calib = 0;   // calibFactor * 1000, or 1.0 when 0
    double calper = 0;  // 1 / calibFrequency, or 1.0 when 0
};

// The channels in file order; entry n describes column n of the sample block. Owns its entries.
class ChannelTable {
public:
    size_t Size() const { return entries_.size(); }
    ChannelInfo& operator[](size_t n) { return *entries_[n]; }
    const ChannelInfo& operator[](size_t n) const { return *entries_[n]; }
    ChannelInfo& Append(std::unique_ptr<ChannelInfo> entry) {
        entries_.push_back(std::move(entry));
        return *entries_.back();
    }
    void Clear() { entries_.clear(); }

private:
    std::vector<std::unique_ptr<ChannelInfo>> entries_;
};
