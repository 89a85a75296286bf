// make-recording: writes a recorder data file for demonstrations, tests and benchmarks.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "recorder/recorder_format.h"
#include "tools/recording_writer.h"

namespace {

constexpr const char* kUsage =
    "Usage: make-recording --out FILE [options]\n"
    "Writes a recorder data file: header, channel descriptors, interleaved samples.\n"
    "\n"
    "  --out FILE            file to write (replaced when it exists)\n"
    "  --station TEXT        station field, at most 16 bytes (default ABC)\n"
    "  --channels LIST       comma-separated channel names (default BHZ,BHN,BHE)\n"
    "  --bits 16|32          sample width (default 16)\n"
    "  --interval SECONDS    seconds between samples (default 0.01)\n"
    "  --date YYYY-MM-DD     date of the first sample (default 2003-02-01)\n"
    "  --time HH:MM:SS[.f]   time of day of the first sample (default 00:00:00)\n"
    "  --seconds S           duration; frames = S / interval, rounded (default 60)\n"
    "  --frames N            number of frames (instead of --seconds)\n"
    "  --amplitude A         peak of the sine in counts (default 1000)\n"
    "  --frequency HZ        frequency of the sine (default 1)\n"
    "  --noise A             peak of the uniform noise in counts (default amplitude / 10)\n"
    "  --seed N              seed of the noise (default 1)\n"
    "  --calib LIST          calibFactor, one value or one per channel (default 1)\n"
    "  --calfreq LIST        calibFrequency, one value or one per channel (default 1)\n"
    "  --adc N               adcVersion (default 5)\n"
    "  --set FIELD=VALUE     write a raw header value last, to make a broken file; FIELD is\n"
    "                        nch, adc, day, month, year, format (int16) or interval, time\n"
    "                        (double; nan and inf allowed); may be repeated\n"
    "  --extra-bytes N       append N zero bytes after the last frame\n"
    "  --help                show this text\n";

struct UsageError {
    std::string message;
};

double ParseReal(const std::string& text, const char* option) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        throw UsageError{std::string("bad number for ") + option + ": " + text};
    return value;
}

int64_t ParseInteger(const std::string& text, const char* option, int64_t low, int64_t high) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < low || value > high) {
        throw UsageError{std::string("bad value for ") + option + ": " + text};
    }
    return value;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
        items.push_back(text.substr(start, comma - start));
    }
    items.push_back(text.substr(start));
    return items;
}

// One value for every channel, or exactly one per channel.
std::vector<double> PerChannel(const std::string& text, size_t channels, const char* option) {
    std::vector<double> values;
    for (const std::string& item : SplitList(text)) values.push_back(ParseReal(item, option));
    if (values.size() == 1) values.resize(channels, values[0]);
    if (values.size() != channels)
        throw UsageError{std::string(option) + " needs one value or one per channel"};
    return values;
}

void ParseDate(const std::string& text, recwriter::RecordingSpec& spec) {
    int year, month, day;
    char tail;
    if (std::sscanf(text.c_str(), "%d-%d-%d%c", &year, &month, &day, &tail) != 3) {
        throw UsageError{"bad --date (YYYY-MM-DD): " + text};
    }
    for (int field : {year, month, day}) {
        if (field < -32768 || field > 32767)
            throw UsageError{"--date fields must fit 16 bits: " + text};
    }
    spec.year = year;
    spec.month = month;
    spec.day = day;
}

double ParseTimeOfDay(const std::string& text) {
    int hour, minute;
    char secondsText[64];
    if (text.size() >= 40 ||
        std::sscanf(text.c_str(), "%d:%d:%63s", &hour, &minute, secondsText) != 3) {
        throw UsageError{"bad --time (HH:MM:SS[.f]): " + text};
    }
    return hour * 3600.0 + minute * 60.0 + ParseReal(secondsText, "--time");
}

void SetRawField(const std::string& assignment, recwriter::RecordingSpec& spec) {
    static const std::map<std::string, size_t> kInt16Fields = {
        {"nch", kHeaderNch},     {"adc", kHeaderAdcVersion}, {"day", kHeaderDay},
        {"month", kHeaderMonth}, {"year", kHeaderYear},      {"format", kHeaderSampleFormat}};
    static const std::map<std::string, size_t> kDoubleFields = {{"interval", kHeaderSampleInterval},
                                                                {"time", kHeaderFirstSampleTime}};
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos) throw UsageError{"bad --set (FIELD=VALUE): " + assignment};
    const std::string field = assignment.substr(0, equals);
    const std::string value = assignment.substr(equals + 1);
    if (auto it = kInt16Fields.find(field); it != kInt16Fields.end()) {
        spec.patches.push_back(recwriter::PatchInt16(
            it->second, static_cast<int16_t>(ParseInteger(value, "--set", -32768, 32767))));
    } else if (auto it2 = kDoubleFields.find(field); it2 != kDoubleFields.end()) {
        spec.patches.push_back(recwriter::PatchDouble(it2->second, ParseReal(value, "--set")));
    } else {
        throw UsageError{"unknown field for --set: " + field};
    }
}

struct Options {
    recwriter::RecordingSpec spec;
    std::string out;
    bool help = false;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    recwriter::RecordingSpec& spec = options.spec;
    std::map<std::string, std::string> given;
    std::vector<std::string> rawFields;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help") {
            options.help = true;
            return options;
        }
        if (option.rfind("--", 0) != 0 || i + 1 >= argc)
            throw UsageError{"unexpected argument: " + option};
        const std::string value = argv[++i];
        if (option == "--set") {
            rawFields.push_back(value);
        } else {
            given[option] = value;
        }
    }

    static const char* const kKnown[] = {
        "--out",  "--station", "--channels", "--bits",      "--interval",   "--date",
        "--time", "--seconds", "--frames",   "--amplitude", "--frequency",  "--noise",
        "--seed", "--calib",   "--calfreq",  "--adc",       "--extra-bytes"};
    for (const auto& [option, value] : given) {
        bool known = false;
        for (const char* name : kKnown) known = known || option == name;
        if (!known) throw UsageError{"unknown option: " + option};
    }
    auto get = [&given](const char* option) -> std::optional<std::string> {
        auto it = given.find(option);
        return it == given.end() ? std::nullopt : std::optional<std::string>(it->second);
    };

    if (!get("--out")) throw UsageError{"--out is required"};
    options.out = *get("--out");
    if (auto v = get("--station")) {
        if (v->size() > 16) throw UsageError{"--station holds at most 16 bytes"};
        spec.station = *v;
    }
    std::vector<std::string> names = SplitList(get("--channels").value_or("BHZ,BHN,BHE"));
    if (names.size() > 32767) throw UsageError{"too many channels"};
    for (const std::string& name : names) {
        if (name.empty() || name.size() > 32) throw UsageError{"channel names hold 1 to 32 bytes"};
    }
    spec.bits = static_cast<int>(ParseInteger(get("--bits").value_or("16"), "--bits", 16, 32));
    if (spec.bits != 16 && spec.bits != 32) throw UsageError{"--bits is 16 or 32"};
    spec.sampleInterval = ParseReal(get("--interval").value_or("0.01"), "--interval");
    ParseDate(get("--date").value_or("2003-02-01"), spec);
    spec.timeOfDay = ParseTimeOfDay(get("--time").value_or("00:00:00"));
    if (get("--seconds") && get("--frames"))
        throw UsageError{"give --seconds or --frames, not both"};
    if (auto v = get("--frames")) {
        spec.frames = ParseInteger(*v, "--frames", 0, INT64_MAX / 4 / 32767);
    } else {
        const double seconds = ParseReal(get("--seconds").value_or("60"), "--seconds");
        const double frames = std::round(seconds / spec.sampleInterval);
        if (!(frames >= 0 && frames < 1e15))
            throw UsageError{"--seconds / --interval gives no frame count"};
        spec.frames = static_cast<int64_t>(frames);
    }
    spec.waveform.amplitude = ParseReal(get("--amplitude").value_or("1000"), "--amplitude");
    spec.waveform.frequency = ParseReal(get("--frequency").value_or("1"), "--frequency");
    spec.waveform.noise =
        get("--noise") ? ParseReal(*get("--noise"), "--noise") : spec.waveform.amplitude / 10;
    spec.waveform.seed =
        static_cast<uint64_t>(ParseInteger(get("--seed").value_or("1"), "--seed", 0, INT64_MAX));
    const std::vector<double> calib =
        PerChannel(get("--calib").value_or("1"), names.size(), "--calib");
    const std::vector<double> calfreq =
        PerChannel(get("--calfreq").value_or("1"), names.size(), "--calfreq");
    spec.channels.clear();
    for (size_t n = 0; n < names.size(); ++n)
        spec.channels.push_back({names[n], calib[n], calfreq[n]});
    spec.adcVersion =
        static_cast<int>(ParseInteger(get("--adc").value_or("5"), "--adc", -32768, 32767));
    spec.extraBytes =
        ParseInteger(get("--extra-bytes").value_or("0"), "--extra-bytes", 0, INT64_MAX / 2);
    for (const std::string& assignment : rawFields) SetRawField(assignment, spec);
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "make-recording: %s\n%s", error.message.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string failure = recwriter::WriteRecording(options.out, options.spec);
    if (!failure.empty()) {
        std::fprintf(stderr, "make-recording: %s\n", failure.c_str());
        return 1;
    }
    return 0;
}
