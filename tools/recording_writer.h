#pragma once
// Writes recorder data files from a description: header, channel descriptors and an
// interleaved sample block streamed in pieces, so that files of many gigabytes need little
// memory. Used by the tests, the benchmarks and the make-recording program.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace recwriter {

// One channel's descriptor values.
struct ChannelSpec {
    std::string name;           // raw bytes of the 32-byte name field, blank-padded to 32
    double calibFactor = 1;     // written as is; 0 means no value
    double calibFrequency = 1;  // written as is; 0 means no value
};

// The sine-plus-noise signal used when no sample function is given. Channel c is shifted in
// phase by c radians; the noise is uniform in [-noise, noise], drawn from the seed, the frame
// and the channel only, so the same description always gives the same file.
struct Waveform {
    double amplitude = 1000;  // peak of the sine, in counts
    double frequency = 1;     // Hz
    double noise = 100;       // peak of the noise, in counts
    uint64_t seed = 1;
};

// Sample of `channel` in frame `frame`; clamped to the sample width when written.
using SampleFunction = std::function<int64_t(int64_t frame, int channel)>;

// Bytes written over the header after every field, so that a test can break exactly one.
struct RawPatch {
    size_t offset;      // into the 120-byte header
    std::string bytes;  // written from offset on; must end within the header
};

struct RecordingSpec {
    std::vector<ChannelSpec> channels{{"BHZ"}, {"BHN"}, {"BHE"}};
    int bits = 16;                 // 16 or 32: sample width and the sampleFormat value written
    double sampleInterval = 0.01;  // seconds
    int year = 2003;               // written as is (a value below 1900 counts from 2000)
    int month = 2;
    int day = 1;
    double timeOfDay = 0;  // firstSampleTime, seconds after midnight
    int64_t frames = 100;
    std::string station = "ABC";  // raw bytes of the station field; bytes 16..31 of it are
                                  // overwritten by sampleInterval and firstSampleTime
    int adcVersion = 5;
    Waveform waveform;
    SampleFunction samples;  // when set, used instead of the waveform
    std::vector<RawPatch> patches;
    int64_t extraBytes = 0;  // zero bytes appended after the last frame
};

// The 120 header bytes of `spec`, patches applied.
std::string HeaderBytes(const RecordingSpec& spec);
// The 72 descriptor bytes of channel `n` of `spec`.
std::string DescriptorBytes(const RecordingSpec& spec, size_t n);
// The value written for channel `channel` of frame `frame` (waveform or sample function,
// clamped to the sample width).
int64_t SampleValue(const RecordingSpec& spec, int64_t frame, int channel);
// Length in bytes of the file `spec` describes.
int64_t FileLength(const RecordingSpec& spec);

// Writes the file at `path`, replacing it. Returns an empty text on success, else a message
// naming the path and the reason (a partly written file may remain).
std::string WriteRecording(const std::string& path, const RecordingSpec& spec);

// Patch helpers: the little-endian bytes of a value at a header offset.
RawPatch PatchInt16(size_t offset, int16_t value);
RawPatch PatchDouble(size_t offset, double value);

}  // namespace recwriter
