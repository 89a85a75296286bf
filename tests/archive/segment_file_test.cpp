// Segment names, directories and headers, checked against texts written out by hand.

#include "archive/segment_file.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/archive_writer.h"
#include "archive/segment_path.h"

namespace {

// 2003-02-01 07:15:00.25 in seconds since 1970: 12084 days (33 years with 8 leap days, and
// January) of 86400 s, plus 7 h 15 min 0.25 s.
constexpr double kFeb1st2003At071500_25 = 12084 * 86400.0 + 7 * 3600 + 15 * 60 + 0.25;
// 2003-12-31 23:59:59.9: one tenth of a second before 2004-01-01 (12418 days).
constexpr double kDec31st2003At235959_9 = 12418 * 86400.0 - 0.1;
// 2003-02-01 07:00:00 and the next day at the same time.
constexpr double kFeb1st2003At0700 = 12084 * 86400.0 + 7 * 3600;
constexpr double kFeb2nd2003At0700 = kFeb1st2003At0700 + 86400;

TEST(SegmentName, DirectoriesAndFileNames) {
    struct Case {
        const char* what;
        const char* station;
        const char* channel;
        double start;
        const char* stationDir;
        const char* hourDir;
        const char* fileName;
    };
    const Case cases[] = {
        {"reference", "ABC", "BHZ", kFeb1st2003At071500_25, "ABC", "07", "01022003-071500-BHZ.ABC"},
        {"one-letter channel, long station", "ABCDE", "Z", kFeb1st2003At071500_25, "ABCDE", "07",
         "01022003-071500-  Z.ABCDE"},
        {"two-letter names", "AB", "HZ", kFeb1st2003At071500_25, "AB", "07",
         "01022003-071500- HZ. AB"},
        {"last tenth of a year", "ABC", "BHZ", kDec31st2003At235959_9, "ABC", "23",
         "31122003-235959-BHZ.ABC"},
        {"07:00 one day", "ABC", "BHZ", kFeb1st2003At0700, "ABC", "07", "01022003-070000-BHZ.ABC"},
        {"07:00 the next", "ABC", "BHZ", kFeb2nd2003At0700, "ABC", "07", "02022003-070000-BHZ.ABC"},
        {"epoch", "ABC", "BHZ", 0.0, "ABC", "00", "01011970-000000-BHZ.ABC"},
        // %3s counts bytes: two Cyrillic letters are four bytes and get no padding.
        {"UTF-8 channel", "ABC", "\xD0\x96\xD0\x97", kFeb1st2003At0700, "ABC", "07",
         "01022003-070000-\xD0\x96\xD0\x97.ABC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SegmentPathParts parts = SegmentPathPartsOf(c.station, c.channel, c.start);
        EXPECT_EQ(parts.stationDir, c.stationDir);
        EXPECT_EQ(parts.hourDir, c.hourDir);
        EXPECT_EQ(parts.fileName, c.fileName);
    }
}

TEST(SegmentName, NamesNeverLeaveTheirDirectory) {
    struct Case {
        const char* station;
        const char* channel;
        const char* stationDir;
        const char* fileName;
    };
    const Case cases[] = {
        {"A/B", "BHZ", "A_B", "01022003-070000-BHZ.A_B"},
        {"A\\B", "BHZ", "A_B", "01022003-070000-BHZ.A_B"},
        {"../..", "BHZ", ".._..", "01022003-070000-BHZ..._.."},
        {"..", "BHZ", "__", "01022003-070000-BHZ. .."},
        {".", "BHZ", "_", "01022003-070000-BHZ.  ."},
        {"", "BHZ", "_", "01022003-070000-BHZ.   "},
        {"ABC", "/", "ABC", "01022003-070000-  _.ABC"},
        {"ABC", "..\\x", "ABC", "01022003-070000-.._x.ABC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.station) + " / " + c.channel);
        const SegmentPathParts parts = SegmentPathPartsOf(c.station, c.channel, kFeb1st2003At0700);
        EXPECT_EQ(parts.stationDir, c.stationDir);
        EXPECT_EQ(parts.fileName, c.fileName);
        EXPECT_EQ(parts.fileName.find_first_of("/\\"), std::string::npos);
    }
}

TEST(SegmentPath, CataloguePathsReadBackMustStayBelowTheDataRoot) {
    struct Case {
        const char* cpath;
        bool inside;
    };
    const Case cases[] = {
        {"ABC\\07\\01022003-071500-BHZ.ABC", true},
        {"ABC\\07\\..x", true},
        {"..ABC\\07\\f", true},
        {"\\ABC\\07\\f", false},
        {"/etc/passwd", false},
        {"..\\f", false},
        {"ABC\\..\\..\\f", false},
        {"ABC/../../f", false},
        {"ABC\\07\\..", false},
        {"..", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cpath);
        EXPECT_EQ(IsInsideDataRoot(c.cpath), c.inside);
    }
}

// The whole 512-byte area as it must be: lines, NUL, blanks.
std::string ExpectedHeader(const std::string& lines) {
    std::string area = lines;
    area += '\0';
    area.resize(kSegmentHeaderSize, ' ');
    return area;
}

TEST(SegmentHeader, ReferenceHeaderByteForByte) {
    CArchiveWriter writer(nullptr, "Korvane_c");
    const int station = writer.FindOrAddStation("ABC");
    const int channel = writer.FindOrAddChannel(station, "BHZ", 100);
    writer.m_stations[0]->m_channels[0]->m_segmentStart = kFeb1st2003At071500_25;

    char area[kSegmentHeaderSize];
    writer.BuildSegmentHeader(area, station, channel);
    EXPECT_EQ(std::string(area, sizeof area), ExpectedHeader("[KRO5.x]\r\n"
                                                             "Data offset=512\r\n"
                                                             "Start time=07 15 00\r\n"
                                                             "Start date=01 02 2003\r\n"
                                                             "Time duration=00 00 00\r\n"
                                                             "Data Type=FLOAT\r\n"
                                                             "SpS=100.0000\r\n"
                                                             "Station=ABC\r\n"
                                                             "Channels=\"BHZ\"\r\n"));
}

TEST(SegmentHeader, KeepsNamesAsTheyAreAndShowsFractionalRates) {
    char area[kSegmentHeaderSize];
    FormatSegmentHeader(area, "A/B", "..", 128.5, kDec31st2003At235959_9);
    EXPECT_EQ(std::string(area, sizeof area), ExpectedHeader("[KRO5.x]\r\n"
                                                             "Data offset=512\r\n"
                                                             "Start time=23 59 59\r\n"
                                                             "Start date=31 12 2003\r\n"
                                                             "Time duration=00 00 00\r\n"
                                                             "Data Type=FLOAT\r\n"
                                                             "SpS=128.5000\r\n"
                                                             "Station=A/B\r\n"
                                                             "Channels=\"..\"\r\n"));
}

// Names too long for the area are cut so that every line stays whole and the NUL fits.
TEST(SegmentHeader, OverlongNamesAreCutToFit) {
    const std::string fixedLines =
        "[KRO5.x]\r\nData offset=512\r\nStart time=07 15 00\r\nStart date=01 02 2003\r\n"
        "Time duration=00 00 00\r\nData Type=FLOAT\r\nSpS=100.0000\r\n";
    const size_t room =
        511 - fixedLines.size() - std::string("Station=\r\nChannels=\"\"\r\n").size();
    const std::string twoByteLetter = "\xD0\x96";
    struct Case {
        const char* what;
        std::string station;
        std::string channel;
        std::string shownStation;
        std::string shownChannel;
    };
    const Case cases[] = {
        {"exactly fills the area", std::string(room - 3, 'S'), "BHZ", std::string(room - 3, 'S'),
         "BHZ"},
        {"long station, short channel", std::string(600, 'S'), "BHZ", std::string(room - 3, 'S'),
         "BHZ"},
        {"short station, long channel", "ABC", std::string(600, 'C'), "ABC",
         std::string(room - 3, 'C')},
        {"both long: half each", std::string(600, 'S'), std::string(600, 'C'),
         std::string(room / 2, 'S'), std::string(room - room / 2, 'C')},
        // Cut before a letter that would be split: the shown name is one byte shorter.
        {"UTF-8 not split",
         "x" +
             [&] {
                 std::string s;
                 for (int i = 0; i < 300; ++i) s += twoByteLetter;
                 return s;
             }(),
         "BHZ",
         "x" +
             [&] {
                 std::string s;
                 for (size_t i = 0; i < (room - 4) / 2; ++i) s += twoByteLetter;
                 return s;
             }(),
         "BHZ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char area[kSegmentHeaderSize];
        FormatSegmentHeader(area, c.station, c.channel, 100, kFeb1st2003At071500_25);
        EXPECT_EQ(std::string(area, sizeof area),
                  ExpectedHeader(fixedLines + "Station=" + c.shownStation + "\r\nChannels=\"" +
                                 c.shownChannel + "\"\r\n"));
    }
}

}  // namespace
