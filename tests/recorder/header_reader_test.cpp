#include "recorder/header_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "driver/process_objects.h"
#include "recorder/recorder_format.h"
#include "tests/recorder/recording_fixture.h"
#include "timecalc/calendar.h"

namespace {

using recwriter::PatchDouble;
using recwriter::PatchInt16;
using recwriter::RecordingSpec;

// 2005-03-01 12:30:15.5, 100 samples per second, three 16-bit channels, 100 frames.
RecordingSpec SummarySpec() {
    RecordingSpec spec;
    spec.station = "krv";
    spec.year = 5;
    spec.month = 3;
    spec.day = 1;
    spec.timeOfDay = 12 * 3600 + 30 * 60 + 15.5;
    spec.sampleInterval = 0.01;
    spec.frames = 100;
    spec.channels = {{"BHZ", 0.5, 0.5}, {"BHN", 0, 0}, {"bhe", 1, 1}};
    return spec;
}

// The n-th console line (from 0), without its line feed.
std::string Line(const std::string& console, int n) {
    size_t start = 0;
    for (int i = 0; i < n && start != std::string::npos; ++i) {
        start = console.find('\n', start);
        if (start != std::string::npos) ++start;
    }
    if (start == std::string::npos) return "<missing>";
    return console.substr(start, console.find('\n', start) - start);
}

// The station field as raw bytes: `text` in bytes 0..15, the doubles left as written.
recwriter::RawPatch StationBytes(const std::string& text) {
    return recwriter::RawPatch{kHeaderStation, text};
}

using HeaderReaderTest = RecordingTest;

TEST_F(HeaderReaderTest, PrintsTheSummaryAndFillsTheRecordingValues) {
    ASSERT_EQ(WriteAndRead(SummarySpec()), 0);
    EXPECT_EQ(console_,
              "System (Baikal ADC v5) => KRV\n"
              "year mnt day |  h-mi-s  |  sps   \tnch  data_len  nsamp\n"
              "2005   3   1 | 12-30-15 | 100.00\t 3\t 2\t100\n"
              " Ch\tcalib\tcalper\n"
              "BHZ\t500.00\t2.00\n"
              "BHN\t1.00\t1.00\n"
              "BHE\t1000.00\t1.00\n");

    EXPECT_EQ(gRecordingInfo.startTime, 1109635200 + 45015.5);
    EXPECT_EQ(gRecordingInfo.sps, 100.0);
    EXPECT_EQ(gRecordingInfo.sampleBytes, 2);
    EXPECT_EQ(gRecordingInfo.fileLength, 120 + 216 + 600);
    EXPECT_EQ(gRecordingInfo.nch, 3);
    EXPECT_EQ(gRecordingInfo.nsamp, 100);
    EXPECT_EQ(gRecordingInfo.stationText, "KRV");
    ASSERT_EQ(gChannelTable.Size(), 3u);
    for (size_t n = 0; n < 3; ++n) EXPECT_EQ(gChannelTable[n].active, 1);
    EXPECT_EQ(lseek(fd_.Get(), 0, SEEK_CUR), 120 + 216) << "left at the sample block";
    EXPECT_EQ(HeaderYear(header_), 2005) << "year rewritten in place";
}

TEST_F(HeaderReaderTest, RefusesHeadersItCannotReadWithoutPrinting) {
    struct Case {
        const char* label;
        std::function<void(RecordingSpec&)> change;
        long long cutTo;  // file length afterwards; -1 keeps it
        size_t entriesLeft;
    };
    const Case cases[] = {
        {"header cut short", [](RecordingSpec&) {}, 119, 0},
        {"one descriptor missing", [](RecordingSpec& s) { s.frames = 0; }, 120 + 144, 2},
        {"last descriptor one byte short", [](RecordingSpec& s) { s.frames = 0; }, 120 + 215, 2},
        {"nch 0", [](RecordingSpec& s) { s.patches.push_back(PatchInt16(kHeaderNch, 0)); }, -1, 0},
        {"nch negative", [](RecordingSpec& s) { s.patches.push_back(PatchInt16(kHeaderNch, -3)); },
         -1, 0},
        {"month 13", [](RecordingSpec& s) { s.month = 13; }, -1, 0},
        {"month -1", [](RecordingSpec& s) { s.month = -1; }, -1, 0},
        {"interval NaN", [](RecordingSpec& s) { s.sampleInterval = NAN; }, -1, 0},
        {"interval infinite", [](RecordingSpec& s) { s.sampleInterval = INFINITY; }, -1, 0},
        {"time of day infinite", [](RecordingSpec& s) { s.timeOfDay = INFINITY; }, -1, 0},
        {"time of day NaN", [](RecordingSpec& s) { s.timeOfDay = NAN; }, -1, 0},
        {"time of day far beyond year 9999", [](RecordingSpec& s) { s.timeOfDay = 1e300; }, -1, 0},
        {"start before year 1", [](RecordingSpec& s) { s.year = -30000; }, -1, 0},
        {"start in year 10000",
         [](RecordingSpec& s) { s.year = 9999, s.month = 12, s.day = 31, s.timeOfDay = 86400; }, -1,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        console_.clear();
        gChannelTable.Clear();
        RecordingSpec spec = SummarySpec();
        c.change(spec);
        Write(spec);
        if (c.cutTo >= 0) Resize(c.cutTo);
        std::memset(header_.bytes, 0xAA, sizeof header_.bytes);
        EXPECT_EQ(ReadRecordingHeader(fd_.Get(), header_), 1);
        EXPECT_EQ(console_, "");
        EXPECT_EQ(gChannelTable.Size(), c.entriesLeft);
        if (c.cutTo >= 0 && c.cutTo < 120) {
            EXPECT_EQ(header_.bytes[0], 0xAA) << "header left untouched";
        }
    }
}

TEST_F(HeaderReaderTest, AcceptsTheEdgesOfTheDateRange) {
    const struct {
        const char* label;
        int year, month, day;
        double timeOfDay;
    } cases[] = {
        {"month 0 as January", 2003, 0, 1, 0},
        {"last second of year 9999", 9999, 12, 31, 86399.5},
        {"year field -1999 is year 1", -1999, 1, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        RecordingSpec spec = SummarySpec();
        spec.year = c.year, spec.month = c.month, spec.day = c.day, spec.timeOfDay = c.timeOfDay;
        EXPECT_EQ(WriteAndRead(spec), 0);
    }
}

TEST_F(HeaderReaderTest, SampleWidthFollowsTheFormatField) {
    const struct {
        int16_t format;
        int bits;
        int sampleBytes;
    } cases[] = {{16, 16, 2}, {0, 16, 2}, {32, 32, 4}, {1, 32, 4}, {-1, 32, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        RecordingSpec spec = SummarySpec();
        spec.bits = c.bits;
        spec.patches.push_back(PatchInt16(kHeaderSampleFormat, c.format));
        ASSERT_EQ(WriteAndRead(spec), 0);
        EXPECT_EQ(gRecordingInfo.sampleBytes, c.sampleBytes);
        EXPECT_EQ(gRecordingInfo.nsamp, 100);
    }
}

TEST_F(HeaderReaderTest, YearsBelow1900CountFrom2000AndAreStoredBack) {
    const struct {
        int field;
        int year;
    } cases[] = {{5, 2005}, {0, 2000}, {1899, 3899}, {1900, 1900}, {1999, 1999}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        console_.clear();
        RecordingSpec spec = SummarySpec();
        spec.year = c.field;
        ASSERT_EQ(WriteAndRead(spec), 0);
        EXPECT_EQ(HeaderYear(header_), c.year);
        EXPECT_EQ(Line(console_, 2).substr(0, 4), std::to_string(c.year));
        EXPECT_EQ(gRecordingInfo.startTime,
                  SecondsFromDate(c.year, 3, 1, 0, 0, 0) + spec.timeOfDay);
        EXPECT_EQ(RecordingStartTime(header_), gRecordingInfo.startTime) << "a second call agrees";
    }
}

TEST_F(HeaderReaderTest, StationTextIsTheCodeBeforeTheFirstBlankOrDot) {
    const struct {
        const char* label;
        std::string field;  // raw bytes from offset 32
        std::string expected;
    } cases[] = {
        {"dot", "abc.def         ", "ABC"},
        {"blank", "AB CD", "AB"},
        {"leading blank", " ABC", ""},
        {"blank-padded", "XYZ             ", "XYZ"},
        {"Windows-1251 letters", "\xEC\xEE\xF1.1", "МОС"},
        {"yo and zhe", "\xB8\xE6", "ЁЖ"},
        // 16 letters, then the bytes of sampleInterval and firstSampleTime, all 32 without a
        // NUL; a letter in the reserved byte after them must not be taken.
        {"full field running into the doubles", "abcdefghijklmnopqrstuvwxyzabcdAAZ",
         "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDAA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        RecordingSpec spec = SummarySpec();
        spec.station = "";
        spec.patches.push_back(StationBytes(c.field));
        ASSERT_EQ(WriteAndRead(spec), 0);
        EXPECT_EQ(gRecordingInfo.stationText, c.expected);
    }
}

TEST_F(HeaderReaderTest, ChannelNamesAreTrimmedAndUpperCased) {
    const struct {
        const char* label;
        std::string
            field;  // the 32-byte name field (padded with blanks by the writer when shorter)
        std::string expected;
    } cases[] = {
        {"blanks up to the 32nd character", "shz", "SHZ"},
        {"blanks before NULs are kept", std::string("Z  ") + std::string(29, '\0'), "Z  "},
        {"inner blanks and dots kept", "b h.z", "B H.Z"},
        {"all 32 characters", "abcdefghijklmnopqrstuvwxyz012345",
         "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"},
        {"Windows-1251 letters", "\xEA\xE0\xED\xE0\xEB-z", "КАНАЛ-Z"},
        {"micro sign has no capital in the code page", "\xB5m", "µM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        RecordingSpec spec = SummarySpec();
        spec.channels = {{c.field, 1, 1}};
        ASSERT_EQ(WriteAndRead(spec), 0);
        ASSERT_EQ(gChannelTable.Size(), 1u);
        EXPECT_EQ(gChannelTable[0].name, c.expected);
    }
}

TEST_F(HeaderReaderTest, SummaryLineShowsAnyTimeOfDayAndRate) {
    const struct {
        const char* label;
        double timeOfDay;
        double interval;
        int64_t frames;
        std::string line;
    } cases[] = {
        {"midnight", 0, 0.01, 100, "2005   3   1 | 00-00-00 | 100.00\t 3\t 2\t100"},
        {"a tenth short of a day", 86399.9, 0.01, 100,
         "2005   3   1 | 23-59-59 | 100.00\t 3\t 2\t100"},
        {"beyond the range of int", 1e10, 0.01, 100,
         "2005   3   1 | 17-46-40 | 100.00\t 3\t 2\t100"},
        {"interval 0 shows an infinite rate", 0, 0, 100,
         "2005   3   1 | 00-00-00 |    inf\t 3\t 2\t100"},
        {"no frames", 0, 0.5, 0, "2005   3   1 | 00-00-00 |   2.00\t 3\t 2\t0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        console_.clear();
        RecordingSpec spec = SummarySpec();
        spec.timeOfDay = c.timeOfDay;
        spec.sampleInterval = c.interval;
        spec.frames = c.frames;
        ASSERT_EQ(WriteAndRead(spec), 0);
        EXPECT_EQ(Line(console_, 2), c.line);
    }
}

}  // namespace
