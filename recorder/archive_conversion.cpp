// ConvertSamples over the archive writer, kept apart from the conversion itself so that the
// recorder input can be linked and tested without the archive.

#include "archive/archive_writer.h"
#include "recorder/sample_conversion.h"

int ConvertSamples(CArchiveWriter& writer, int fd, RecordingHeader& header) {
    return ConvertSamplesTo(
        [&writer](const char* sta, const char* ch, double sampleRate, double start, int32_t count,
                  const float* samples) {
            writer.WriteSamples(sta, ch, sampleRate, start, count, samples);
        },
        fd, header);
}
