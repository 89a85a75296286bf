#include "recorder/header_reader.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cmath>
#include <cstring>
#include <memory>

#include "driver/process_objects.h"
#include "platform/console.h"
#include "platform/file_io.h"
#include "recorder/header_text.h"
#include "recorder/recorder_format.h"
#include "timecalc/calendar.h"

namespace {

// Start times a header may give: from 0001-01-01 up to, not including, 10000-01-01. Outside
// them the archive's date arithmetic and file names have no meaning.
bool StartTimeInRange(double startTime) {
    static const double first = SecondsFromDate(1, 1, 1, 0, 0, 0);
    static const double end = SecondsFromDate(10000, 1, 1, 0, 0, 0);
    return startTime >= first && startTime < end;
}

// The header fields that the rest of the run cannot work with.
bool HeaderIsSound(const RecordingHeader& header) {
    const int month = HeaderMonth(header);
    return HeaderNch(header) > 0 && month >= 0 && month <= 12 &&
           std::isfinite(HeaderSampleInterval(header)) &&
           std::isfinite(HeaderFirstSampleTime(header));
}

std::unique_ptr<ChannelInfo> ChannelFromDescriptor(const uint8_t* descriptor) {
    auto channel = std::make_unique<ChannelInfo>();
    channel->name = ChannelNameFromField(DescriptorNameField(descriptor));
    const double calibFactor = DescriptorCalibFactor(descriptor);
    const double calibFrequency = DescriptorCalibFrequency(descriptor);
    channel->calib = calibFactor == 0 ? 1.0 : calibFactor * 1000;
    channel->calper = calibFrequency == 0 ? 1.0 : 1 / calibFrequency;
    return channel;
}

// Whole hours, minutes or seconds of a time of day, wrapped as the summary shows them. Done in
// double, so that no time of day can overflow the integer conversion.
int TimeOfDayPart(double secondsOfDay, double unit, double wrap) {
    if (!std::isfinite(secondsOfDay)) return 0;
    return static_cast<int>(std::fmod(std::trunc(secondsOfDay / unit), wrap));
}

void PrintSummary(const RecordingHeader& header, const RecordingInfo& info,
                  const ChannelTable& channels) {
    const double timeOfDay = HeaderFirstSampleTime(header);
    ConsolePrint("System (Baikal ADC v%d) => %s", HeaderAdcVersion(header),
                 info.stationText.c_str());
    ConsolePrint("year mnt day |  h-mi-s  |  sps   \tnch  data_len  nsamp");
    // An interval of 0 makes sps infinite; printf shows it as "inf".
    ConsolePrint("%4d  %2d  %2d | %02d-%02d-%02d | %6.2f\t%2d\t%2d\t%" PRId64, HeaderYear(header),
                 HeaderMonth(header), HeaderDay(header), TimeOfDayPart(timeOfDay, 3600, 24),
                 TimeOfDayPart(timeOfDay, 60, 60), TimeOfDayPart(timeOfDay, 1, 60), info.sps,
                 info.nch, info.sampleBytes, info.nsamp);
    ConsolePrint(" Ch\tcalib\tcalper");
    for (size_t n = 0; n < channels.Size(); ++n) {
        ConsolePrint("%s\t%.2f\t%.2f", channels[n].name.c_str(), channels[n].calib,
                     channels[n].calper);
    }
}

}  // namespace

double RecordingStartTime(RecordingHeader& header) {
    const int16_t year = HeaderYear(header);
    if (year < 1900) SetHeaderYear(header, static_cast<int16_t>(year + 2000));
    return SecondsFromDate(HeaderYear(header), HeaderMonth(header), HeaderDay(header), 0, 0, 0) +
           HeaderFirstSampleTime(header);
}

int ReadRecordingHeader(int fd, RecordingHeader& header) {
    uint8_t scratch[kHeaderSize];
    if (platform::ReadFull(fd, scratch, sizeof scratch) != static_cast<ssize_t>(sizeof scratch))
        return 1;
    std::memcpy(header.bytes, scratch, sizeof scratch);
    if (!HeaderIsSound(header)) return 1;

    RecordingInfo info;
    info.stationText = StationTextFromField(HeaderStationField(header));
    info.startTime = RecordingStartTime(header);
    if (!StartTimeInRange(info.startTime)) return 1;
    info.sps = 1.0 / HeaderSampleInterval(header);
    info.nch = HeaderNch(header);
    info.sampleBytes = SampleBytesForFormat(HeaderSampleFormat(header));
    struct stat status;
    if (fstat(fd, &status) != 0) return 1;
    info.fileLength = status.st_size;
    info.nsamp = FramesInFile(info.fileLength, info.nch, info.sampleBytes);
    gRecordingInfo = info;

    gChannelTable.Clear();
    for (int32_t n = 0; n < info.nch; ++n) {
        uint8_t descriptor[kDescriptorSize];
        if (platform::ReadFull(fd, descriptor, sizeof descriptor) !=
            static_cast<ssize_t>(sizeof descriptor)) {
            return 1;
        }
        gChannelTable.Append(ChannelFromDescriptor(descriptor)).active = 1;
    }

    PrintSummary(header, gRecordingInfo, gChannelTable);
    return 0;
}
