// ConvertSamples over the archive writer, kept apart from the conversion itself so that the
// recorder input can be linked and tested without the archive.

#include "archive/archive_writer.h"
#include "recorder/sample_conversion.h"

int ConvertSamples(CArchiveWriter& writer, int fd, RecordingHeader& header) {
    // The writer cuts a series into chunks of kSegmentBufferCapacity samples starting at
    // offset / rate + start; handed over in pieces of that size, each piece starts at exactly
    // that value and is one such chunk. So the writer sees the same chunks, while the series
    // area holds one chunk (and stays in the cache) instead of a whole channel.
    return ConvertSamplesTo(
        [&writer](const char* sta, const char* ch, double sampleRate, double start, int32_t count,
                  const float* samples) {
            writer.WriteSamples(sta, ch, sampleRate, start, count, samples);
        },
        fd, header, kSegmentBufferCapacity);
}
