// Taking a channel's series into its buffer: chunks of at most kSegmentBufferCapacity samples
// join the buffer while they continue it and fit; otherwise the buffer is flushed and restarted.

#include <cmath>
#include <cstring>

#include "archive/archive_writer.h"
#include "platform/console.h"

namespace {

// A buffer flushes before it would hold more than this many samples.
constexpr int32_t kBufferFillLimit = 4900;

}  // namespace

void CArchiveWriter::WriteSamples(const char* sta, const char* ch, double sampleRate, double start,
                                  int32_t count, const float* samples) {
    if (count <= 0) return;
    // Chunk times and spans divide by the rate; without a positive finite rate and a finite
    // start there is no time to file the samples at.
    if (!(std::isfinite(sampleRate) && sampleRate > 0 && std::isfinite(start))) {
        ConsolePrint("ERROR: samples of channel %s have no usable time (rate %g), dropped!!!", ch,
                     sampleRate);
        return;
    }
    int32_t offset = 0;
    int32_t remaining = count;
    while (remaining != 0) {
        const int32_t n = remaining > kSegmentBufferCapacity ? kSegmentBufferCapacity : remaining;
        AppendToBuffer(sta, ch, sampleRate, static_cast<double>(offset) / sampleRate + start, n,
                       samples + offset);
        offset += n;
        remaining -= n;
    }
}

void CArchiveWriter::AppendToBuffer(const char* sta, const char* ch, double sampleRate,
                                    double start, int32_t count, const float* samples) {
    if (count <= 0 || count > kSegmentBufferCapacity) return;  // WriteSamples never passes these
    const int station = FindOrAddStation(sta);
    const int channel = FindOrAddChannel(station, ch, sampleRate);
    CSegmentBuffer& buffer =
        *m_stations[static_cast<size_t>(station)]->m_channels[static_cast<size_t>(channel)];

    const double period = 1.0 / sampleRate;
    const double duration = count * period;

    // An empty buffer continues nothing, also for a chunk within one period of the epoch.
    const bool continues =
        buffer.m_sampleCount > 0 &&
        std::fabs(buffer.m_bufferStart + buffer.m_bufferDuration - start) <= period;
    const bool fits = buffer.m_sampleCount + count <= kBufferFillLimit && buffer.m_sampleRate > 1.0;
    if (continues && fits) {
        std::memcpy(buffer.m_samples + buffer.m_sampleCount, samples,
                    static_cast<size_t>(count) * sizeof(float));
        buffer.m_sampleCount += count;
        buffer.m_bufferDuration += duration;
        return;
    }

    FlushBuffer(station, channel);
    buffer.m_bufferStart = start;
    buffer.m_bufferDuration = duration;
    buffer.m_sampleCount = count;
    std::memcpy(buffer.m_samples, samples, static_cast<size_t>(count) * sizeof(float));
}

void CArchiveWriter::FlushAll() {
    for (size_t station = 0; station < m_stations.size(); ++station) {
        for (size_t channel = 0; channel < m_stations[station]->m_channels.size(); ++channel) {
            FlushBuffer(static_cast<int>(station), static_cast<int>(channel));
        }
    }
}
