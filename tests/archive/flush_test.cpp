// Flushing buffers into segment files and catalogue rows, on both catalogue drivers.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/archive/archive_test_support.h"

namespace archive_test {
namespace {

using testsupport::CatalogueRow;

class FlushTest : public ArchiveTest {};

// A two-minute recording at 100 samples per second comes in pieces of 5000, 5000 and 2000
// samples per channel; each channel ends as one file of 120 s with one row.
TEST_P(FlushTest, TwoMinuteRecordingIsOneFilePerChannel) {
    const char* channels[] = {"BHZ", "BHN", "BHE"};
    std::vector<std::vector<float>> series;
    {
        auto writer = NewWriter();
        writer->AddStation("ABC", 60, 100);
        for (int i = 0; i < 3; ++i) {
            series.push_back(Ramp(12000, 1000.0f * static_cast<float>(i)));
            writer->WriteSamples("ABC", channels[i], 100, kFeb1st2003At071500_25, 12000,
                                 series.back().data());
        }
        writer->FlushAll();
    }

    EXPECT_EQ(SegmentFiles(), (std::vector<std::string>{"ABC\\07\\01022003-071500-BHE.ABC",
                                                        "ABC\\07\\01022003-071500-BHN.ABC",
                                                        "ABC\\07\\01022003-071500-BHZ.ABC"}));
    std::vector<CatalogueRow> expected;
    for (const char* ch : channels) {
        expected.push_back(SegmentRow("ABC", ch,
                                      std::string("ABC\\07\\01022003-071500-") + ch + ".ABC", 100,
                                      kFeb1st2003At071500_25, 120));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Rows(), expected);

    // The reference file, byte for byte: header as created, then every sample in order.
    EXPECT_EQ(FileBytes("ABC\\07\\01022003-071500-BHZ.ABC"),
              HeaderArea(Feb1st2003HeaderLines("00", "ABC", "BHZ", "100.0000")) +
                  LittleEndianBytes(series[0]));
    const std::string bhe = FileBytes("ABC\\07\\01022003-071500-BHE.ABC");
    EXPECT_EQ(bhe.size(), 512u + 4 * 12000);
    EXPECT_EQ(bhe.substr(512), LittleEndianBytes(series[2]));
    EXPECT_EQ(messages_, std::vector<std::string>{});
}

// A piece continues the channel's latest segment when it starts within one sample period of
// its end: appended to the file, the row's duration grows and its start stays.
TEST_P(FlushTest, PieceWithinOnePeriodOfTheSegmentEndIsAppended) {
    struct Case {
        const char* station;
        double late;  // in periods after the segment's end
        std::vector<std::string> files;
    };
    // 4 samples per second: every time below is exact in both catalogues.
    const Case cases[] = {
        {"ONE", 1.0, {"ONE\\07\\01022003-071500-BHZ.ONE"}},
        {"EARLY", -1.0, {"EARLY\\07\\01022003-071500-BHZ.EARLY"}},
        {"LATE",
         1.25,
         {"LATE\\07\\01022003-071500-BHZ.LATE", "LATE\\07\\01022003-071502-BHZ.LATE"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.station);
        const std::vector<float> first = Ramp(8, 1);    // 2 s
        const std::vector<float> second = Ramp(6, 50);  // 1.5 s
        const double secondStart = kFeb1st2003At071500_25 + 2 + c.late * 0.25;
        auto writer = NewWriter();
        writer->WriteSamples(c.station, "BHZ", 4, kFeb1st2003At071500_25, 8, first.data());
        writer->FlushAll();
        writer->WriteSamples(c.station, "BHZ", 4, secondStart, 6, second.data());
        writer->FlushAll();

        std::vector<std::string> files;
        for (const std::string& file : SegmentFiles()) {
            if (file.rfind(std::string(c.station) + "\\", 0) == 0) files.push_back(file);
        }
        ASSERT_EQ(files, c.files);
        const std::string header =
            HeaderArea(Feb1st2003HeaderLines("00", c.station, "BHZ", "4.0000"));
        if (c.files.size() == 1) {
            EXPECT_EQ(FileBytes(c.files[0]),
                      header + LittleEndianBytes(first) + LittleEndianBytes(second));
            const std::vector<CatalogueRow> rows = Rows();
            EXPECT_EQ(std::count(
                          rows.begin(), rows.end(),
                          SegmentRow(c.station, "BHZ", c.files[0], 4, kFeb1st2003At071500_25, 3.5)),
                      1);
        } else {
            EXPECT_EQ(FileBytes(c.files[0]), header + LittleEndianBytes(first));
            EXPECT_EQ(FileBytes(c.files[1]),
                      HeaderArea(Feb1st2003HeaderLines("02", c.station, "BHZ", "4.0000")) +
                          LittleEndianBytes(second));
            const std::vector<CatalogueRow> rows = Rows();
            EXPECT_EQ(
                std::count(rows.begin(), rows.end(),
                           SegmentRow(c.station, "BHZ", c.files[0], 4, kFeb1st2003At071500_25, 2)),
                1);
            EXPECT_EQ(std::count(rows.begin(), rows.end(),
                                 SegmentRow(c.station, "BHZ", c.files[1], 4, secondStart, 1.5)),
                      1);
        }
    }
    EXPECT_EQ(Rows().size(), 4u);
}

// A segment grows by appending only while its span stays within maximum minutes * 60 - 1 s.
TEST_P(FlushTest, MaximumSegmentDuration) {
    struct Case {
        const char* station;
        int32_t maxMinutes;
        int32_t firstCount;   // at 2 samples per second
        int32_t secondCount;  // contiguous with the first
        size_t files;
    };
    const Case cases[] = {
        {"H3599", 60, 5000, 2198, 1},  // 2500 s + 1099 s = 3599 s
        {"H3600", 60, 5000, 2200, 2},  // 3600 s: too long
        {"ZERO", 0, 10, 10, 2},        // never appended
        {"NEG", -5, 10, 10, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.station);
        auto writer = NewWriter();
        writer->AddStation(c.station, c.maxMinutes, 100);
        const std::vector<float> first = Ramp(c.firstCount);
        const std::vector<float> second = Ramp(c.secondCount, 7);
        writer->WriteSamples(c.station, "BHZ", 2, kFeb1st2003At071500_25, c.firstCount,
                             first.data());
        writer->FlushAll();
        writer->WriteSamples(c.station, "BHZ", 2, kFeb1st2003At071500_25 + c.firstCount / 2.0,
                             c.secondCount, second.data());
        writer->FlushAll();

        size_t files = 0;
        for (const std::string& file : SegmentFiles())
            files += file.rfind(std::string(c.station) + "\\", 0) == 0;
        EXPECT_EQ(files, c.files);
        double total = 0;
        size_t rows = 0;
        for (const CatalogueRow& row : Rows()) {
            if (row.sta != c.station) continue;
            ++rows;
            total += row.tqty;
        }
        EXPECT_EQ(rows, c.files);
        EXPECT_EQ(total, (c.firstCount + c.secondCount) / 2.0);
    }
}

// A catalogued file that is gone: the piece meant for it is reported and dropped, its row
// stays, and the next piece, which no longer continues the catalogued segment, opens a new file.
TEST_P(FlushTest, RemovedSegmentFileIsReportedAndTheNextPieceStartsANewFile) {
    const std::string first = "ABC\\07\\01022003-071500-BHZ.ABC";
    auto writer = NewWriter();
    const std::vector<float> samples = Ramp(12);
    writer->WriteSamples("ABC", "BHZ", 4, kFeb1st2003At071500_25, 4, samples.data());
    writer->FlushAll();
    ASSERT_TRUE(std::filesystem::remove(DiskPath(first)));

    writer->WriteSamples("ABC", "BHZ", 4, kFeb1st2003At071500_25 + 1, 4, samples.data() + 4);
    writer->FlushAll();
    EXPECT_EQ(messages_, std::vector<std::string>{"File open error '" + DiskPath(first) + "'"});
    EXPECT_EQ(SegmentFiles(), std::vector<std::string>{});
    EXPECT_EQ(
        Rows(),
        (std::vector<CatalogueRow>{SegmentRow("ABC", "BHZ", first, 4, kFeb1st2003At071500_25, 1)}));

    writer->WriteSamples("ABC", "BHZ", 4, kFeb1st2003At071500_25 + 2, 4, samples.data() + 8);
    writer->FlushAll();
    const std::string third = "ABC\\07\\01022003-071502-BHZ.ABC";
    EXPECT_EQ(SegmentFiles(), std::vector<std::string>{third});
    EXPECT_EQ(FileBytes(third), HeaderArea(Feb1st2003HeaderLines("02", "ABC", "BHZ", "4.0000")) +
                                    LittleEndianBytes({samples.begin() + 8, samples.end()}));
    EXPECT_EQ(Rows(), (std::vector<CatalogueRow>{
                          SegmentRow("ABC", "BHZ", first, 4, kFeb1st2003At071500_25, 1),
                          SegmentRow("ABC", "BHZ", third, 4, kFeb1st2003At071500_25 + 2, 1)}));
    EXPECT_EQ(messages_.size(), 1u);
}

// Filing the same recording twice: the first piece of each channel re-creates the file of the
// same name and replaces its row, the following pieces append again.
TEST_P(FlushTest, FilingTheSameRecordingTwiceEndsAsAfterTheFirstTime) {
    const std::vector<float> bhz = Ramp(12000);
    const std::vector<float> bhn = Ramp(12000, -3);
    auto fileOnce = [&] {
        auto writer = NewWriter();
        writer->WriteSamples("ABC", "BHZ", 100, kFeb1st2003At071500_25, 12000, bhz.data());
        writer->WriteSamples("ABC", "BHN", 100, kFeb1st2003At071500_25, 12000, bhn.data());
        writer->FlushAll();
    };
    fileOnce();
    const std::vector<std::string> files = SegmentFiles();
    const std::vector<CatalogueRow> rows = Rows();
    ASSERT_EQ(files.size(), 2u);
    std::vector<std::string> contents;
    for (const std::string& file : files) contents.push_back(FileBytes(file));

    fileOnce();
    EXPECT_EQ(SegmentFiles(), files);
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(FileBytes(files[i]), contents[i]) << files[i];
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(messages_, std::vector<std::string>{});
}

// Without a data root nothing can be created: every piece is reported, no row is written and
// no directory is made.
TEST_P(FlushTest, MissingDataRootIsReportedForEveryPiece) {
    const std::string missing = Root() + "/missing";
    auto writer = NewWriter();
    writer->SetDataRoot(missing.c_str());
    const std::vector<float> samples = Ramp(12000);
    writer->WriteSamples("ABC", "BHZ", 100, kFeb1st2003At071500_25, 12000, samples.data());
    writer->FlushAll();

    const std::vector<std::string> expected = {
        "File create error '" + missing + "/ABC/07/01022003-071500-BHZ.ABC'",
        "File create error '" + missing + "/ABC/07/01022003-071550-BHZ.ABC'",
        "File create error '" + missing + "/ABC/07/01022003-071640-BHZ.ABC'"};
    EXPECT_EQ(messages_, expected);
    EXPECT_EQ(Rows(), std::vector<CatalogueRow>{});
    EXPECT_FALSE(std::filesystem::exists(missing));
}

// The storage check runs on every flush, also the one of a new channel's still empty buffer.
TEST_P(FlushTest, EmptyBufferFlushStillEnforcesTheStorageLimit) {
    const std::string old = "ABC\\00\\01011990-000000-BHZ.ABC";
    std::filesystem::create_directories(std::filesystem::path(DiskPath(old)).parent_path());
    root_.Write("ABC/00/01011990-000000-BHZ.ABC", std::string(2000, 'x'));
    InsertRow(SegmentRow("ABC", "BHZ", old, 100, 631152000, 3000));  // 1.2e6 bytes

    auto writer = NewWriter();
    writer->AddStation("ABC", 60, 1);  // 1 MB
    const std::vector<float> samples = Ramp(10);
    writer->WriteSamples("ABC", "BHZ", 100, kFeb1st2003At071500_25, 10, samples.data());
    EXPECT_EQ(messages_, std::vector<std::string>{"Deleted file '" + DiskPath(old) + "'"});
    EXPECT_EQ(SegmentFiles(), std::vector<std::string>{});
    EXPECT_EQ(Rows(), std::vector<CatalogueRow>{});
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(FlushTest);

}  // namespace
}  // namespace archive_test
