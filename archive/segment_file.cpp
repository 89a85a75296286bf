#include "archive/segment_file.h"

#include <stdio.h>

#include <algorithm>
#include <cstring>

#include "archive/archive_writer.h"
#include "platform/file_io.h"
#include "timecalc/calendar.h"

namespace {

// printf into a std::string of whatever length the values need.
template <typename... Args>
std::string Format(const char* format, Args... args) {
    int length = snprintf(nullptr, 0, format, args...);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    snprintf(text.data(), text.size(), format, args...);
    text.pop_back();
    return text;
}

// The longest prefix of `name` of at most `limit` bytes that does not end inside a UTF-8
// sequence.
std::string_view CutAtCharacter(std::string_view name, size_t limit) {
    if (name.size() <= limit) return name;
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

// `name` with "/" and "\\" turned into "_", so that it cannot split a path.
std::string WithoutSeparators(std::string_view name) {
    std::string text(name);
    std::replace(text.begin(), text.end(), '/', '_');
    std::replace(text.begin(), text.end(), '\\', '_');
    return text;
}

}  // namespace

SegmentStartTime SplitSegmentStart(double start) {
    SegmentStartTime split;
    float seconds = 0;
    DateFromSeconds(start, &split.year, &split.month, &split.day, &split.hour, &split.minute,
                    &seconds);
    split.second = static_cast<int>(seconds);  // truncated toward zero
    return split;
}

std::string PathComponentOf(std::string_view name) {
    // An empty name would leave no directory level at all and start the path with a separator.
    if (name.empty() || name == ".") return "_";
    if (name == "..") return "__";
    return WithoutSeparators(name);
}

SegmentPathParts SegmentPathPartsOf(std::string_view station, std::string_view channel,
                                    double start) {
    const SegmentStartTime t = SplitSegmentStart(start);
    SegmentPathParts parts;
    parts.stationDir = PathComponentOf(station);
    parts.hourDir = Format("%02d", t.hour);
    // %3s pads by bytes, so a two-byte UTF-8 letter counts as two.
    parts.fileName =
        Format("%02d%02d%04d-%02d%02d%02d-%3s.%3s", t.day, t.month, t.year, t.hour, t.minute,
               t.second, WithoutSeparators(channel).c_str(), WithoutSeparators(station).c_str());
    return parts;
}

void FormatSegmentHeader(char* area, std::string_view station, std::string_view channel,
                         double sampleRate, double start) {
    const SegmentStartTime t = SplitSegmentStart(start);
    // The header never carries the segment's span: that lives in the catalogue row (TQTY),
    // which grows with every append while the header keeps what it was created with.
    const std::string before =
        "[KRO5.x]\r\n"
        "Data offset=512\r\n" +
        Format("Start time=%02d %02d %02d\r\n", t.hour, t.minute, t.second) +
        Format("Start date=%02d %02d %04d\r\n", t.day, t.month, t.year) +
        "Time duration=00 00 00\r\n"
        "Data Type=FLOAT\r\n" +
        Format("SpS=%.4f\r\n", sampleRate) + "Station=";
    const std::string between = "\r\nChannels=\"";
    const std::string after = "\"\r\n";

    // Room for the names: the text and its NUL must fit the area. When both do not fit, each
    // gets half, and a name shorter than its half leaves the rest to the other.
    constexpr size_t kTextMax = kSegmentHeaderSize - 1;
    const size_t fixed = before.size() + between.size() + after.size();
    const size_t room = fixed < kTextMax ? kTextMax - fixed : 0;
    std::string_view stationText = station;
    std::string_view channelText = channel;
    if (station.size() + channel.size() > room) {
        const size_t half = room / 2;
        if (channel.size() <= half) {
            stationText = CutAtCharacter(station, room - channel.size());
        } else if (station.size() <= half) {
            channelText = CutAtCharacter(channel, room - station.size());
        } else {
            stationText = CutAtCharacter(station, half);
            channelText = CutAtCharacter(channel, room - stationText.size());
        }
    }

    std::string text = before;
    text.append(stationText).append(between).append(channelText).append(after);
    if (text.size() > kTextMax) text.resize(kTextMax);  // only an absurd sample rate gets here

    std::memset(area, ' ', kSegmentHeaderSize);
    std::memcpy(area, text.data(), text.size());
    area[text.size()] = '\0';
}

void MakeDirectory(const char* path) {
    platform::MakeDir(path);
}

void CArchiveWriter::BuildSegmentHeader(char* area, int station, int channel) const {
    const CStationEntry& entry = *m_stations[static_cast<size_t>(station)];
    const CSegmentBuffer& buffer = *entry.m_channels[static_cast<size_t>(channel)];
    FormatSegmentHeader(area, entry.m_strName, buffer.m_strChannel, buffer.m_sampleRate,
                        buffer.m_segmentStart);
}
