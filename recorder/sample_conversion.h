#pragma once
// Demultiplexing: the interleaved sample block of the recorder file, split into one float
// series per channel and handed to the archive.

#include <cstdint>
#include <functional>

#include "recorder/recording.h"

class CArchiveWriter;

// Receives one channel's series: station name, channel name, sample rate, EpochSeconds of the
// first sample, sample count, and the samples (valid only during the call).
using SeriesSink = std::function<void(const char* sta, const char* ch, double sampleRate,
                                      double start, int32_t count, const float* samples)>;

// Most samples handed over in one call: a multiple of the archive's 5000-sample chunks that
// fits a 32-bit count. A longer series is handed over in consecutive pieces.
inline constexpr int32_t kMaxSamplesPerCall = 2147480000;

// Reads the sample block from `fd` (positioned at it by ReadRecordingHeader) and hands each
// active channel of gChannelTable to `sink` with StationName, the channel name, the whole
// part of gRecordingInfo.sps, RecordingStartTime(header) and gRecordingInfo.nsamp samples
// (a channel with no frames still gets one call with count 0; a series longer than
// `maxPerCall` arrives in pieces, each starting at offset / rate + start). Returns 0, or -5
// with nothing handed over after printing one of:
//   "ERROR: Wrong sample rate!!!"  the rate's whole part is not within 1 to 2^31 - 1;
//   "ERROR: Wrong file size!!!"    the file's length is not header, descriptors and frames;
//   "ERROR: Can't read %ld bytes from input file!!!"  the block could not be read whole.
// The rate is checked first, so that nothing is read for a recording that cannot be filed.
int ConvertSamplesTo(const SeriesSink& sink, int fd, RecordingHeader& header,
                     int32_t maxPerCall = kMaxSamplesPerCall);

// ConvertSamplesTo with the archive writer's WriteSamples as the sink.
int ConvertSamples(CArchiveWriter& writer, int fd, RecordingHeader& header);
