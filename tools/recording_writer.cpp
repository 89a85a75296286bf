#include "tools/recording_writer.h"

#include <errno.h>
#include <fcntl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/file_io.h"
#include "recorder/recorder_format.h"

namespace recwriter {
namespace {

// Frames are generated into a buffer of about this size and written piece by piece.
constexpr size_t kPieceBytes = 1 << 20;

int SampleBytes(const RecordingSpec& spec) {
    return spec.bits == 16 ? 2 : 4;
}

// A well-mixed 64-bit value from the seed, frame and channel (splitmix64 finaliser).
uint64_t Mix(uint64_t seed, int64_t frame, int channel) {
    uint64_t z = seed * 0x9E3779B97F4A7C15ULL +
                 static_cast<uint64_t>(frame) * 0xBF58476D1CE4E5B9ULL +
                 static_cast<uint64_t>(channel) * 0x94D049BB133111EBULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double WaveformValue(const RecordingSpec& spec, int64_t frame, int channel) {
    const Waveform& w = spec.waveform;
    const double t = static_cast<double>(frame) * spec.sampleInterval;
    const double unit = static_cast<double>(Mix(w.seed, frame, channel) >> 11) * 0x1p-53;  // [0, 1)
    return w.amplitude * std::sin(2 * std::numbers::pi * w.frequency * t + channel) +
           w.noise * (2 * unit - 1);
}

int64_t Clamp(double value, int sampleBytes) {
    const double low = sampleBytes == 2 ? -32768.0 : -2147483648.0;
    const double high = sampleBytes == 2 ? 32767.0 : 2147483647.0;
    if (std::isnan(value)) return 0;
    return static_cast<int64_t>(std::clamp(std::round(value), low, high));
}

void Put(std::string& area, size_t offset, const std::string& bytes) {
    if (offset >= area.size()) return;
    const size_t n = std::min(bytes.size(), area.size() - offset);
    area.replace(offset, n, bytes, 0, n);
}

std::string Little16(int16_t value) {
    uint8_t b[2];
    PutLE16(b, value);
    return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

std::string LittleDouble(double value) {
    uint8_t b[8];
    PutLEDouble(b, value);
    return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

// Fills `out` with frames [first, first + count).
void EncodeFrames(const RecordingSpec& spec, int64_t first, int64_t count,
                  std::vector<uint8_t>& out) {
    const int width = SampleBytes(spec);
    const int nch = static_cast<int>(spec.channels.size());
    out.resize(static_cast<size_t>(count) * static_cast<size_t>(nch) * static_cast<size_t>(width));
    uint8_t* p = out.data();
    for (int64_t f = first; f < first + count; ++f) {
        for (int c = 0; c < nch; ++c, p += width) {
            const int64_t value = SampleValue(spec, f, c);
            if (width == 2) {
                PutLE16(p, static_cast<int16_t>(value));
            } else {
                PutLE32(p, static_cast<int32_t>(value));
            }
        }
    }
}

std::string Failure(const char* what, const std::string& path, int error) {
    return std::string(what) + " '" + path + "': " + std::strerror(error);
}

}  // namespace

RawPatch PatchInt16(size_t offset, int16_t value) {
    return RawPatch{offset, Little16(value)};
}
RawPatch PatchDouble(size_t offset, double value) {
    return RawPatch{offset, LittleDouble(value)};
}

std::string HeaderBytes(const RecordingSpec& spec) {
    std::string header(kHeaderSize, '\0');
    Put(header, kHeaderNch, Little16(static_cast<int16_t>(spec.channels.size())));
    Put(header, kHeaderAdcVersion, Little16(static_cast<int16_t>(spec.adcVersion)));
    Put(header, kHeaderDay, Little16(static_cast<int16_t>(spec.day)));
    Put(header, kHeaderMonth, Little16(static_cast<int16_t>(spec.month)));
    Put(header, kHeaderYear, Little16(static_cast<int16_t>(spec.year)));
    Put(header, kHeaderSampleFormat, Little16(static_cast<int16_t>(spec.bits)));
    Put(header, kHeaderStation, spec.station.substr(0, kHeaderStationSize));
    // The doubles share bytes with the end of the station field and are written last.
    Put(header, kHeaderSampleInterval, LittleDouble(spec.sampleInterval));
    Put(header, kHeaderFirstSampleTime, LittleDouble(spec.timeOfDay));
    for (const RawPatch& patch : spec.patches) Put(header, patch.offset, patch.bytes);
    return header;
}

std::string DescriptorBytes(const RecordingSpec& spec, size_t n) {
    std::string descriptor(kDescriptorSize, '\0');
    std::string name = spec.channels[n].name.substr(0, kDescriptorNameSize);
    name.resize(kDescriptorNameSize, ' ');
    Put(descriptor, kDescriptorName, name);
    Put(descriptor, kDescriptorCalibFactor, LittleDouble(spec.channels[n].calibFactor));
    Put(descriptor, kDescriptorCalibFrequency, LittleDouble(spec.channels[n].calibFrequency));
    return descriptor;
}

int64_t SampleValue(const RecordingSpec& spec, int64_t frame, int channel) {
    const double value = spec.samples ? static_cast<double>(spec.samples(frame, channel))
                                      : WaveformValue(spec, frame, channel);
    return Clamp(value, SampleBytes(spec));
}

int64_t FileLength(const RecordingSpec& spec) {
    const auto nch = static_cast<int64_t>(spec.channels.size());
    return static_cast<int64_t>(kHeaderSize) + static_cast<int64_t>(kDescriptorSize) * nch +
           spec.frames * nch * SampleBytes(spec) + spec.extraBytes;
}

std::string WriteRecording(const std::string& path, const RecordingSpec& spec) {
    platform::UniqueFd fd(platform::OpenFile(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC));
    if (!fd.Valid()) return Failure("cannot create", path, errno);

    std::string head = HeaderBytes(spec);
    for (size_t n = 0; n < spec.channels.size(); ++n) head += DescriptorBytes(spec, n);
    if (platform::WriteFull(fd.Get(), head.data(), head.size()) != 0)
        return Failure("cannot write", path, errno);

    const size_t frameBytes =
        std::max<size_t>(1, spec.channels.size() * static_cast<size_t>(SampleBytes(spec)));
    const auto framesPerPiece = static_cast<int64_t>(std::max<size_t>(1, kPieceBytes / frameBytes));
    std::vector<uint8_t> piece;
    for (int64_t first = 0; first < spec.frames; first += framesPerPiece) {
        EncodeFrames(spec, first, std::min(framesPerPiece, spec.frames - first), piece);
        if (platform::WriteFull(fd.Get(), piece.data(), piece.size()) != 0) {
            return Failure("cannot write", path, errno);
        }
    }
    for (int64_t left = spec.extraBytes; left > 0;) {
        piece.assign(static_cast<size_t>(std::min<int64_t>(left, kPieceBytes)), 0);
        if (platform::WriteFull(fd.Get(), piece.data(), piece.size()) != 0) {
            return Failure("cannot write", path, errno);
        }
        left -= static_cast<int64_t>(piece.size());
    }
    if (fd.Close() != 0) return Failure("cannot close", path, errno);
    return {};
}

}  // namespace recwriter
