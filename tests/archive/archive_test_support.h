#pragma once
// What the archive tests share: a writer over a throwaway catalogue and data root, the console
// messages it printed, and the expected bytes of segment files built by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_writer.h"
#include "platform/console.h"
#include "platform/file_io.h"
#include "tests/support/odbc_fixture.h"
#include "tests/support/temp_dir.h"

namespace archive_test {

inline constexpr const char* kCreator = "Korvane_c";

// 2003-02-01 07:15:00.25 in seconds since 1970: 12084 days (33 years with 8 leap days, and
// January) of 86400 s, plus 7 h 15 min 0.25 s.
inline constexpr double kFeb1st2003At071500_25 = 12084 * 86400.0 + 7 * 3600 + 15 * 60 + 0.25;

// `count` distinct samples, first + 0.5 * i.
inline std::vector<float> Ramp(int count, float first = 0) {
    std::vector<float> samples(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) samples[static_cast<size_t>(i)] = first + 0.5f * i;
    return samples;
}

// The samples as a segment file stores them: 4 bytes each, least significant first.
inline std::string LittleEndianBytes(const std::vector<float>& samples) {
    std::string bytes;
    for (float sample : samples) {
        const uint32_t bits = std::bit_cast<uint32_t>(sample);
        for (int shift = 0; shift < 32; shift += 8)
            bytes += static_cast<char>((bits >> shift) & 0xFF);
    }
    return bytes;
}

// A 512-byte header holding `lines`, then a NUL, then blanks.
inline std::string HeaderArea(const std::string& lines) {
    std::string area = lines;
    area += '\0';
    area.resize(512, ' ');
    return area;
}

// The nine header lines of a segment created on 2003-02-01 at 07:15:ss.
inline std::string Feb1st2003HeaderLines(const char* startSecond, const char* station,
                                         const char* channel, const char* rate) {
    return std::string("[KRO5.x]\r\n") + "Data offset=512\r\n" + "Start time=07 15 " + startSecond +
           "\r\n" + "Start date=01 02 2003\r\n" + "Time duration=00 00 00\r\n" +
           "Data Type=FLOAT\r\n" + "SpS=" + rate + "\r\n" + "Station=" + station + "\r\n" +
           "Channels=\"" + channel + "\"\r\n";
}

// The row a flush writes, its load time left out (rows are compared with LoadTimeCleared).
inline testsupport::CatalogueRow SegmentRow(const std::string& sta, const std::string& ch,
                                            const std::string& cpath, double sps, double tbegin,
                                            double tqty) {
    testsupport::CatalogueRow row;
    row.sta = sta;
    row.sps = sps;
    row.gain = 1;
    row.cpath = cpath;
    row.datatype = 3;
    row.ch = ch;
    row.creater = kCreator;
    row.tbegin = tbegin;
    row.tqty = tqty;
    row.foff = 512;
    return row;
}

// Makes the n-th file call of one kind fail with an errno, through the file layer's fault seam.
class FileFault {
  public:
    FileFault(platform::FileCall call, int nth, int error) {
        call_ = call;
        callsLeft_ = nth;
        error_ = error;
        platform::SetFileFaultHook(&Hook);
    }
    FileFault(const FileFault&) = delete;
    FileFault& operator=(const FileFault&) = delete;
    ~FileFault() { platform::SetFileFaultHook(nullptr); }

    // True once the fault has been injected.
    static bool Fired() { return callsLeft_ == 0; }

  private:
    static int Hook(platform::FileCall call, const char*) {
        if (call != call_ || callsLeft_ <= 0) return 0;
        return --callsLeft_ == 0 ? error_ : 0;
    }
    static inline platform::FileCall call_;
    static inline int callsLeft_ = 0;
    static inline int error_ = 0;
};

// Base of the archive tests, run once per catalogue driver: an empty catalogue, an empty data
// root, and every console message collected in messages_.
class ArchiveTest : public testsupport::CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        SetConsoleSink([this](std::string_view message) {
            std::string line(message);
            if (!line.empty() && line.back() == '\n') line.pop_back();
            messages_.push_back(line);
            return 0;
        });
    }
    void TearDown() override {
        SetConsoleSink(nullptr);
        platform::SetFileFaultHook(nullptr);
        CatalogueTest::TearDown();
    }

    // A writer as the run builds it, filing below Root().
    std::unique_ptr<CArchiveWriter> NewWriter() {
        auto writer = std::make_unique<CArchiveWriter>(&database_, kCreator);
        writer->SetDataRoot(Root().c_str());
        return writer;
    }

    const std::string& Root() const { return root_.Path(); }
    // On-disk path of a catalogue path.
    std::string DiskPath(std::string cpath) const {
        std::replace(cpath.begin(), cpath.end(), '\\', '/');
        return Root() + "/" + cpath;
    }
    std::string FileBytes(const std::string& cpath) const {
        return testsupport::ReadFileBytes(DiskPath(cpath));
    }

    // The catalogue path of every segment file below the root, sorted.
    std::vector<std::string> SegmentFiles() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Root())) {
            if (!entry.is_regular_file() || entry.path().filename() == ".korvane.lock") continue;
            std::string cpath = std::filesystem::relative(entry.path(), Root()).string();
            std::replace(cpath.begin(), cpath.end(), '/', '\\');
            files.push_back(cpath);
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    // The catalogue's rows with the load time checked for presence and then cleared, so that
    // rows compare with SegmentRow.
    std::vector<testsupport::CatalogueRow> Rows() {
        std::vector<testsupport::CatalogueRow> rows = Catalogue().Rows();
        for (auto& row : rows) {
            EXPECT_FALSE(row.lddate.empty()) << row.cpath;
            row.lddate.clear();
        }
        return rows;
    }

    // Adds a row as an earlier run would have left it.
    void InsertRow(testsupport::CatalogueRow row) {
        row.lddate = "2003-01-01 00:00:00";
        try {
            Catalogue().Insert(row);
        } catch (const CDBException& error) {
            ADD_FAILURE() << "inserting " << row.cpath << ": " << error.m_strError;
        }
    }

    testsupport::TempDir root_;
    std::vector<std::string> messages_;
};

}  // namespace archive_test
