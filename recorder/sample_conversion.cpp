#include "recorder/sample_conversion.h"

#include <algorithm>
#include <memory>

#include "driver/process_objects.h"
#include "platform/console.h"
#include "platform/file_io.h"
#include "recorder/header_reader.h"
#include "recorder/recorder_format.h"

namespace {

// The archive's rate is the whole part of sps; it must be a positive 32-bit value. Tested in
// double, before any conversion, so that infinite or NaN rates never reach an integer.
bool ArchiveRateValid(double sps) {
    return sps >= 1.0 && sps < 2147483648.0;
}

// Fills `series` with samples [first, first + count) of channel `channel` from the block.
void ExtractChannel(const uint8_t* block, int32_t nch, int32_t sampleBytes, int32_t channel,
                    int64_t first, int32_t count, float* series) {
    const size_t frameBytes = static_cast<size_t>(nch) * static_cast<size_t>(sampleBytes);
    const uint8_t* p = block + static_cast<size_t>(first) * frameBytes +
                       static_cast<size_t>(channel) * static_cast<size_t>(sampleBytes);
    if (sampleBytes == 2) {
        for (int32_t i = 0; i < count; ++i, p += frameBytes) series[i] = GetLE16(p);
    } else {
        // Magnitudes above 2^24 round to the nearest float (ties to even).
        for (int32_t i = 0; i < count; ++i, p += frameBytes)
            series[i] = static_cast<float>(GetLE32(p));
    }
}

}  // namespace

int ConvertSamplesTo(const SeriesSink& sink, int fd, RecordingHeader& header, int32_t maxPerCall) {
    const RecordingInfo& info = gRecordingInfo;
    if (!ArchiveRateValid(info.sps)) {
        ConsolePrint("ERROR: Wrong sample rate!!!");
        return -5;
    }
    const double rate = static_cast<int32_t>(info.sps);
    const double start = RecordingStartTime(header);

    if (!FileLengthMatches(info.fileLength, info.nch, info.sampleBytes, info.nsamp)) {
        ConsolePrint("ERROR: Wrong file size!!!");
        return -5;
    }
    // The size rule ties the block to the file's real length, so this much can be allocated.
    const int64_t blockBytes = info.fileLength - SampleBlockOffset(info.nch);
    auto block = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(blockBytes));
    if (platform::ReadFull(fd, block.get(), static_cast<size_t>(blockBytes)) != blockBytes) {
        ConsolePrint("ERROR: Can't read %ld bytes from input file!!!",
                     static_cast<long>(blockBytes));
        return -5;
    }

    const int32_t piece = std::max<int32_t>(1, maxPerCall);
    const auto seriesLength = static_cast<size_t>(std::min<int64_t>(info.nsamp, piece));
    auto series = std::make_unique_for_overwrite<float[]>(std::max<size_t>(seriesLength, 1));
    const size_t channels = std::min(static_cast<size_t>(info.nch), gChannelTable.Size());
    for (size_t c = 0; c < channels; ++c) {
        const ChannelInfo& channel = gChannelTable[c];
        if (channel.active == 0) continue;
        int64_t offset = 0;
        do {
            const auto count = static_cast<int32_t>(std::min<int64_t>(info.nsamp - offset, piece));
            ExtractChannel(block.get(), info.nch, info.sampleBytes, static_cast<int32_t>(c), offset,
                           count, series.get());
            sink(StationName, channel.name.c_str(), rate,
                 static_cast<double>(offset) / rate + start, count, series.get());
            offset += count;
        } while (offset < info.nsamp);
    }
    return 0;
}
