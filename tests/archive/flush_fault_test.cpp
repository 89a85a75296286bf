// The catalogue never claims what is not on disk: failed writes and segment files whose length
// disagrees with their row, on both catalogue drivers.

#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/archive/archive_test_support.h"

namespace archive_test {
namespace {

using platform::FileCall;
using testsupport::CatalogueRow;

class FlushFaultTest : public ArchiveTest {
  protected:
    std::vector<CatalogueRow> RowsOf(const std::string& station) {
        std::vector<CatalogueRow> rows;
        for (CatalogueRow& row : Rows()) {
            if (row.sta == station) rows.push_back(row);
        }
        return rows;
    }
    static std::string FirstPath(const std::string& station) {
        return station + "\\07\\01022003-071500-BHZ." + station;
    }
    // Files `count` samples at 4 per second starting `offset` seconds after the reference time.
    static void File(CArchiveWriter& writer, const std::string& station, double offset,
                     const std::vector<float>& samples) {
        writer.WriteSamples(station.c_str(), "BHZ", 4, kFeb1st2003At071500_25 + offset,
                            static_cast<int32_t>(samples.size()), samples.data());
        writer.FlushAll();
    }
};

struct FaultCase {
    const char* station;
    FileCall call;
    int nth;
};

// A new segment whose header, samples or close fail is removed and gets no row.
TEST_P(FlushFaultTest, FailedCreateLeavesNoFileAndNoRow) {
    const FaultCase cases[] = {
        {"HEADER", FileCall::Write, 1},
        {"SAMPLES", FileCall::Write, 2},
        {"CLOSE", FileCall::Close, 1},
    };
    const std::vector<float> samples = Ramp(8);
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.station);
        messages_.clear();
        auto writer = NewWriter();
        {
            FileFault fault(c.call, c.nth, ENOSPC);
            File(*writer, c.station, 0, samples);
            EXPECT_TRUE(FileFault::Fired());
        }
        const std::string cpath = FirstPath(c.station);
        EXPECT_EQ(messages_,
                  std::vector<std::string>{"File write error '" + DiskPath(cpath) + "'"});
        EXPECT_FALSE(std::filesystem::exists(DiskPath(cpath)));
        EXPECT_EQ(RowsOf(c.station), std::vector<CatalogueRow>{});

        // Nothing is left in the way of the next try.
        File(*writer, c.station, 0, samples);
        EXPECT_EQ(FileBytes(cpath).substr(512), LittleEndianBytes(samples));
        EXPECT_EQ(RowsOf(c.station), (std::vector<CatalogueRow>{SegmentRow(
                                         c.station, "BHZ", cpath, 4, kFeb1st2003At071500_25, 2)}));
    }
}

// A failed create that replaced a segment file of the same name leaves neither that file nor
// its row: the row would claim samples that are gone.
TEST_P(FlushFaultTest, FailedCreateOverAnOldFileDropsItsRowToo) {
    const std::vector<float> samples = Ramp(8);
    auto writer = NewWriter();
    File(*writer, "ABC", 0, samples);
    ASSERT_EQ(RowsOf("ABC").size(), 1u);
    {
        FileFault fault(FileCall::Write, 2, ENOSPC);
        File(*writer, "ABC", 0, samples);
    }
    EXPECT_EQ(messages_,
              std::vector<std::string>{"File write error '" + DiskPath(FirstPath("ABC")) + "'"});
    EXPECT_EQ(SegmentFiles(), std::vector<std::string>{});
    EXPECT_EQ(Rows(), std::vector<CatalogueRow>{});
}

// An append whose samples or close fail is cut back to the file's former length and leaves its
// row as it was; the next contiguous piece appends where the catalogued data ends.
TEST_P(FlushFaultTest, FailedAppendIsCutBackAndItsRowKept) {
    const FaultCase cases[] = {
        {"SAMPLES", FileCall::Write, 1},
        {"CLOSE", FileCall::Close, 1},
    };
    const std::vector<float> first = Ramp(8);
    const std::vector<float> lost = Ramp(4, 100);
    const std::vector<float> third = Ramp(4, 200);
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.station);
        messages_.clear();
        const std::string cpath = FirstPath(c.station);
        const std::string header =
            HeaderArea(Feb1st2003HeaderLines("00", c.station, "BHZ", "4.0000"));
        auto writer = NewWriter();
        File(*writer, c.station, 0, first);
        {
            FileFault fault(c.call, c.nth, ENOSPC);
            File(*writer, c.station, 2, lost);
            EXPECT_TRUE(FileFault::Fired());
        }
        EXPECT_EQ(messages_,
                  std::vector<std::string>{"File write error '" + DiskPath(cpath) + "'"});
        EXPECT_EQ(FileBytes(cpath), header + LittleEndianBytes(first));
        const CatalogueRow firstRow =
            SegmentRow(c.station, "BHZ", cpath, 4, kFeb1st2003At071500_25, 2);
        EXPECT_EQ(RowsOf(c.station), std::vector<CatalogueRow>{firstRow});

        File(*writer, c.station, 2, third);
        EXPECT_EQ(FileBytes(cpath), header + LittleEndianBytes(first) + LittleEndianBytes(third));
        EXPECT_EQ(RowsOf(c.station), (std::vector<CatalogueRow>{SegmentRow(
                                         c.station, "BHZ", cpath, 4, kFeb1st2003At071500_25, 3)}));
    }
}

// Caps the size of files this process writes, as a full disk would; the write that crosses the
// cap stores what fits and then fails with EFBIG.
class ScopedFileSizeLimit {
  public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;
    ~ScopedFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        signal(SIGXFSZ, previousHandler_);
    }

  private:
    rlimit previous_{};
    sighandler_t previousHandler_;
};

// An append that stops part-way (the disk fills up) is cut back as well: the samples that did
// reach the file are not catalogued and must not stay.
TEST_P(FlushFaultTest, AppendStoppedPartWayIsCutBack) {
    const std::vector<float> first = Ramp(20000);  // 200 s at 100 per second: 80512 bytes
    const std::vector<float> cut = Ramp(1000, -1);
    const std::vector<float> third = Ramp(10, -2);
    const std::string cpath = FirstPath("ABC");
    auto writer = NewWriter();
    writer->WriteSamples("ABC", "BHZ", 100, kFeb1st2003At071500_25, 20000, first.data());
    writer->FlushAll();
    const std::string before = FileBytes(cpath);
    ASSERT_EQ(before.size(), 512u + 4 * 20000);
    {
        ScopedFileSizeLimit limit(before.size() + 1000);  // a quarter of the next piece fits
        writer->WriteSamples("ABC", "BHZ", 100, kFeb1st2003At071500_25 + 200, 1000, cut.data());
        writer->FlushAll();
    }
    EXPECT_EQ(messages_, std::vector<std::string>{"File write error '" + DiskPath(cpath) + "'"});
    EXPECT_EQ(FileBytes(cpath), before);
    EXPECT_EQ(Rows(), (std::vector<CatalogueRow>{
                          SegmentRow("ABC", "BHZ", cpath, 100, kFeb1st2003At071500_25, 200)}));

    writer->WriteSamples("ABC", "BHZ", 100, kFeb1st2003At071500_25 + 200, 10, third.data());
    writer->FlushAll();
    EXPECT_EQ(FileBytes(cpath), before + LittleEndianBytes(third));
}

// Before appending, the file is held to the length its row claims: a longer file (samples whose
// row update never happened) is cut back first; a shorter one is left alone and the samples
// start a new file.
TEST_P(FlushFaultTest, SegmentFileLengthMustMatchItsRow) {
    const std::vector<float> first = Ramp(8);
    const std::vector<float> second = Ramp(4, 100);
    const std::string header = HeaderArea(Feb1st2003HeaderLines("00", "ABC", "BHZ", "4.0000"));
    const std::string cpath = FirstPath("ABC");
    auto writer = NewWriter();

    File(*writer, "ABC", 0, first);
    { std::ofstream(DiskPath(cpath), std::ios::binary | std::ios::app) << std::string(100, 'x'); }
    File(*writer, "ABC", 2, second);
    EXPECT_EQ(FileBytes(cpath), header + LittleEndianBytes(first) + LittleEndianBytes(second));
    EXPECT_EQ(
        Rows(),
        (std::vector<CatalogueRow>{SegmentRow("ABC", "BHZ", cpath, 4, kFeb1st2003At071500_25, 3)}));
    EXPECT_EQ(messages_, std::vector<std::string>{});

    // Two samples short of its 3 s.
    std::filesystem::resize_file(DiskPath(cpath), 512 + 4 * 10);
    File(*writer, "ABC", 3, second);
    const std::string next = "ABC\\07\\01022003-071503-BHZ.ABC";
    EXPECT_EQ(messages_,
              std::vector<std::string>{"ERROR: segment file '" + DiskPath(cpath) +
                                       "' is shorter than its catalogue row, not appended"});
    EXPECT_EQ(FileBytes(cpath).size(), 512u + 4 * 10);
    EXPECT_EQ(FileBytes(next), HeaderArea(Feb1st2003HeaderLines("03", "ABC", "BHZ", "4.0000")) +
                                   LittleEndianBytes(second));
    EXPECT_EQ(Rows(), (std::vector<CatalogueRow>{
                          SegmentRow("ABC", "BHZ", cpath, 4, kFeb1st2003At071500_25, 3),
                          SegmentRow("ABC", "BHZ", next, 4, kFeb1st2003At071500_25 + 3, 1)}));
}

// A row whose duration gives no length (negative here) is never appended to.
TEST_P(FlushFaultTest, RowWithoutAValidLengthIsNotAppendedTo) {
    const std::string odd = "ABC\\07\\01022003-071500-BHZ.ABC";
    std::filesystem::create_directories(std::filesystem::path(DiskPath(odd)).parent_path());
    root_.Write("ABC/07/01022003-071500-BHZ.ABC", std::string(512, ' '));
    // Ends at the reference time + 2 s, where the new samples begin.
    InsertRow(SegmentRow("ABC", "BHZ", odd, 4, kFeb1st2003At071500_25 + 3, -1));

    auto writer = NewWriter();
    File(*writer, "ABC", 2, Ramp(4));
    EXPECT_EQ(messages_,
              std::vector<std::string>{"ERROR: catalogue row of segment file '" + DiskPath(odd) +
                                       "' gives no valid length, not appended"});
    EXPECT_EQ(FileBytes(odd), std::string(512, ' '));
    EXPECT_EQ(SegmentFiles(), (std::vector<std::string>{odd, "ABC\\07\\01022003-071502-BHZ.ABC"}));
}

// A row of this station and channel whose path leads out of the data root is never written
// through, even where it continues the samples: the file there keeps every byte.
TEST_P(FlushFaultTest, RowPointingOutOfTheDataRootIsNotWrittenThrough) {
    const std::string archive = Root() + "/archive";
    std::filesystem::create_directory(archive);
    const std::string outside = root_.Write("outside.bin", std::string(1000, 'x'));
    // Ends at the reference time + 1 s; claims fewer bytes than the file has.
    InsertRow(SegmentRow("ABC", "BHZ", "..\\outside.bin", 4, kFeb1st2003At071500_25, 1));

    auto writer = NewWriter();
    writer->SetDataRoot(archive.c_str());
    const std::vector<float> samples = Ramp(4);
    File(*writer, "ABC", 1, samples);
    EXPECT_EQ(messages_, std::vector<std::string>{"ERROR: catalogued file '" + archive +
                                                  "/../outside.bin' lies outside the data root, "
                                                  "not appended"});
    EXPECT_EQ(testsupport::ReadFileBytes(outside), std::string(1000, 'x'));
    EXPECT_EQ(testsupport::ReadFileBytes(archive + "/ABC/07/01022003-071501-BHZ.ABC").substr(512),
              LittleEndianBytes(samples));
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(FlushFaultTest);

}  // namespace
}  // namespace archive_test
