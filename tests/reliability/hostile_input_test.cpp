// Hostile and corrupt input, by running the real program: names that try to leave the archive
// or to change what a statement selects, and recorder files cut short, padded or with fields
// no recorder writes. Each run ends with its documented message and status, touches nothing
// outside the data root and the station's own rows, and never shows the password.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "recorder/recorder_format.h"
#include "tests/driver/program_runner.h"
#include "tests/reliability/reliability_support.h"

namespace reliability {
namespace {

namespace fs = std::filesystem;
using testsupport::CatalogueRow;
using testsupport::ProgramResult;

// Every path below `dir`, the data root's contents left out.
std::vector<std::string> PathsOutside(const std::string& dir, const std::string& root) {
    std::vector<std::string> paths;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator();
         ++it) {
        if (it->path() == root) {
            it.disable_recursion_pending();
            continue;
        }
        paths.push_back(fs::relative(it->path(), dir).string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

class HostileInput : public testsupport::CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        folder_.Configure(Catalogue(), folder_.Archive());
        fs::create_directory(folder_.Archive());
        // Another station's row and file: no run here may touch them.
        fs::create_directories(folder_.Archive() + "/ZZZ/00");
        folder_.dir.Write("archive/ZZZ/00/01012003-000000-BHZ.ZZZ", std::string(512 + 400, 'z'));
        Catalogue().Insert(kOtherRow);
        base_ = Capture(folder_.Archive(), Catalogue());
    }

    // Runs the program in the folder; the password must not show.
    ProgramResult Run(const std::vector<std::string>& args) {
        ProgramResult result = folder_.Run(args);
        EXPECT_EQ(result.out.find(Catalogue().Pwd()), std::string::npos) << result.out;
        EXPECT_EQ(result.err.find(Catalogue().Pwd()), std::string::npos) << result.err;
        return result;
    }

    // The rows the runs wrote (the other station's row must be there, unchanged).
    std::vector<CatalogueRow> RunRows() {
        std::vector<CatalogueRow> rows = Catalogue().Rows();
        auto other = std::find(rows.begin(), rows.end(), kOtherRow);
        EXPECT_NE(other, rows.end()) << "the other station's row changed";
        if (other != rows.end()) rows.erase(other);
        return rows;
    }

    const CatalogueRow kOtherRow{"ZZZ",
                                 100,
                                 1,
                                 "ZZZ\\00\\01012003-000000-BHZ.ZZZ",
                                 3,
                                 "BHZ",
                                 "Korvane_c",
                                 "2003-01-01 00:00:00",
                                 1041379200.0,
                                 1,
                                 512};
    testsupport::KorvaneFolder folder_;
    ArchiveState base_;  // the other station's file and row
};

// Station and channel names as the recorder would have to write them to break out of the
// archive or out of a quoted SQL value.
TEST_P(HostileInput, NamesStayInsideTheArchiveAndInTheirOwnRows) {
    struct Case {
        const char* stationField;  // bytes of the header's station field (at most 15)
        const char* stationArg;    // the name on the command line
        const char* stationText;   // the name as the catalogue keeps it
        const char* stationDir;    // its directory below the data root
    } const cases[] = {
        {"O'NEIL", "O'NEIL", "O'NEIL", "O'NEIL"},
        {"X'OR'1'='1'--", "X'OR'1'='1'--", "X'OR'1'='1'--", "X'OR'1'='1'--"},
        {"a/b", "A/B", "A/B", "A_B"},
        {"a\\b", "A\\B", "A\\B", "A_B"},
        {"/", "/", "/", "_"},
        {"\\..\\..", "\\", "\\", "_"},  // cut at the dot: the station is "\"
        {"\xef\xf0\xe8", "\xd0\x9f\xd0\xa0\xd0\x98", "\xd0\x9f\xd0\xa0\xd0\x98",
         "\xd0\x9f\xd0\xa0\xd0\x98"},  // Windows-1251 "при": ПРИ
        {"ABC", "", "", "_"},          // an empty name passes the station check
    };
    const std::vector<recwriter::ChannelSpec> channels = {
        {"x'; delete from FILELIST; --"}, {".."}, {"../../x"}, {"\xe0\xe1"}};
    const std::vector<std::string> channelNames = {"X'; DELETE FROM FILELIST; --", "..", "../../X",
                                                   "\xd0\x90\xd0\x91"};
    folder_.Recording("rec.dat", {});
    const std::vector<std::string> outside = PathsOutside(folder_.dir.Path(), folder_.Archive());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("station '") + c.stationArg + "'");
        Restore(base_, folder_.Archive(), Catalogue());
        recwriter::RecordingSpec spec;
        spec.station = c.stationField;
        spec.channels = channels;
        folder_.Recording("rec.dat", spec);
        ProgramResult result = Run({"rec.dat", c.stationArg});
        EXPECT_EQ(result.exitCode, 0) << result.out;
        EXPECT_EQ(result.err, "");

        std::vector<std::string> seen;
        for (const CatalogueRow& row : RunRows()) {
            EXPECT_EQ(row.sta, c.stationText);
            EXPECT_TRUE(row.cpath.starts_with(std::string(c.stationDir) + "\\00\\")) << row.cpath;
            seen.push_back(row.ch);
        }
        std::sort(seen.begin(), seen.end());
        std::vector<std::string> expected = channelNames;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(seen, expected);
        // Every row names a file below the data root that holds what the row claims, and
        // nothing appeared beside the data root.
        const ArchiveState state = Capture(folder_.Archive(), Catalogue());
        EXPECT_EQ(BrokenClaims(state, state), std::vector<std::string>{});
        EXPECT_EQ(PathsOutside(folder_.dir.Path(), folder_.Archive()), outside);
    }
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(HostileInput);

// The recorder-file cases run on SQLite only: they fail before the catalogue or file as usual.
// In the normal build every run has at most 32 MiB of address space (the program needs about
// 10 MiB): no header may make it allocate more than the file's size warrants.
class CorruptRecording : public HostileInput {
  protected:
    ProgramResult RunLimited(const std::string& file) {
        ProgramResult result;
        if (SanitizerBuild()) {
            result = Run({file, "ABC"});
        } else {
            testsupport::ProgramRun run{"/bin/sh",
                                        {"-c", "ulimit -v 32768 && exec \"$0\" \"$@\"",
                                         testsupport::BuiltProgram("korvane"), file, "ABC"},
                                        folder_.dir.Path(),
                                        {{"KRO_INI", folder_.dir.File("kro.ini")}}};
            result = testsupport::RunProgram(run);
            EXPECT_EQ(result.out.find(Catalogue().Pwd()), std::string::npos);
        }
        EXPECT_EQ(result.err, "");
        return result;
    }
    // True when nothing was filed: only the other station's row and file.
    bool NothingFiled() { return Capture(folder_.Archive(), Catalogue()) == base_; }
};

TEST_P(CorruptRecording, CutAtEveryByteOfHeaderAndDescriptors) {
    recwriter::RecordingSpec spec;
    spec.station = "ABC";
    spec.frames = 10;
    const std::string whole = folder_.dir.File("whole.dat");
    ASSERT_EQ(recwriter::WriteRecording(whole, spec), "");
    const std::string bytes = testsupport::ReadFileBytes(whole);
    const size_t head = kHeaderSize + 3 * kDescriptorSize;
    ASSERT_EQ(bytes.size(), head + 10 * 3 * 2);

    // Every length; every seventh under the sanitizers, where a run takes half a second.
    const size_t step = SanitizerBuild() ? 7 : 1;
    for (size_t length = 0; length < head; length += step) {
        SCOPED_TRACE("cut to " + std::to_string(length) + " bytes");
        folder_.dir.Write("cut.dat", bytes.substr(0, length));
        ProgramResult result = RunLimited("cut.dat");
        EXPECT_EQ(result.exitCode, 251);
        EXPECT_EQ(testsupport::Lines(result.out).back(), "ERROR: read file cut.dat!!!");
        if (HasFailure()) break;
    }
    EXPECT_TRUE(NothingFiled());

    struct Case {
        const char* name;
        size_t length;
        int exitCode;
        const char* lastLine;
    } const cases[] = {
        {"header and descriptors only", head, 0, ""},  // no frames: nothing to file
        {"one byte short", bytes.size() - 1, 251, "ERROR: Wrong file size!!!"},
        {"one byte long", bytes.size() + 1, 251, "ERROR: Wrong file size!!!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = bytes.substr(0, std::min(c.length, bytes.size()));
        file.resize(c.length, '\0');
        folder_.dir.Write("cut.dat", file);
        ProgramResult result = RunLimited("cut.dat");
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out;
        EXPECT_EQ(testsupport::Lines(result.out).back(), c.lastLine) << result.out;
        EXPECT_TRUE(NothingFiled());
    }
}

TEST_P(CorruptRecording, FieldsNoRecorderWrites) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    using recwriter::PatchDouble;
    using recwriter::PatchInt16;
    const std::string unreadable = "ERROR: read file rec.dat!!!";
    const std::string wrongRate = "ERROR: Wrong sample rate!!!";
    struct Case {
        const char* name;
        recwriter::RawPatch patch;
        int exitCode;
        std::string lastLine;  // "" for a run that ends with "Done!"
    } const cases[] = {
        {"nch 32767 in a tiny file", PatchInt16(kHeaderNch, 32767), 251, unreadable},
        {"nch 0", PatchInt16(kHeaderNch, 0), 251, unreadable},
        {"nch -1", PatchInt16(kHeaderNch, -1), 251, unreadable},
        {"nch -32768", PatchInt16(kHeaderNch, -32768), 251, unreadable},
        {"nch 4 for 3 channels", PatchInt16(kHeaderNch, 4), 251, unreadable},
        {"month 13", PatchInt16(kHeaderMonth, 13), 251, unreadable},
        {"month -1", PatchInt16(kHeaderMonth, -1), 251, unreadable},
        {"year 32767", PatchInt16(kHeaderYear, 32767), 251, unreadable},
        {"year -32768", PatchInt16(kHeaderYear, -32768), 251, unreadable},
        {"year 10000", PatchInt16(kHeaderYear, 10000), 251, unreadable},
        {"year 9999", PatchInt16(kHeaderYear, 9999), 0, ""},
        {"day 32767", PatchInt16(kHeaderDay, 32767), 0, ""},
        {"day -32768", PatchInt16(kHeaderDay, -32768), 0, ""},
        {"interval NaN", PatchDouble(kHeaderSampleInterval, nan), 251, unreadable},
        {"interval infinite", PatchDouble(kHeaderSampleInterval, inf), 251, unreadable},
        {"interval -infinite", PatchDouble(kHeaderSampleInterval, -inf), 251, unreadable},
        {"interval 0", PatchDouble(kHeaderSampleInterval, 0), 251, wrongRate},
        {"interval negative", PatchDouble(kHeaderSampleInterval, -0.01), 251, wrongRate},
        {"interval 2 s", PatchDouble(kHeaderSampleInterval, 2), 251, wrongRate},
        {"interval 1e-300", PatchDouble(kHeaderSampleInterval, 1e-300), 251, wrongRate},
        {"first sample NaN", PatchDouble(kHeaderFirstSampleTime, nan), 251, unreadable},
        {"first sample infinite", PatchDouble(kHeaderFirstSampleTime, inf), 251, unreadable},
        {"first sample 1e300", PatchDouble(kHeaderFirstSampleTime, 1e300), 251, unreadable},
        {"first sample -1e300", PatchDouble(kHeaderFirstSampleTime, -1e300), 251, unreadable},
        {"32-bit format for 16-bit samples", PatchInt16(kHeaderSampleFormat, 32), 251,
         "ERROR: Wrong file size!!!"},
        {"adc version -32768", PatchInt16(kHeaderAdcVersion, -32768), 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restore(base_, folder_.Archive(), Catalogue());
        recwriter::RecordingSpec spec;
        spec.station = "ABC";
        spec.frames = 11;  // 66 bytes of samples: no whole number of 32-bit frames
        spec.patches = {c.patch};
        folder_.Recording("rec.dat", spec);
        ProgramResult result = RunLimited("rec.dat");
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out;
        const std::vector<std::string> lines = testsupport::Lines(result.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.lastLine) << result.out;
        const ArchiveState state = Capture(folder_.Archive(), Catalogue());
        EXPECT_EQ(BrokenClaims(state, state), std::vector<std::string>{});
        // A refused recording files nothing; an accepted one files its three channels.
        EXPECT_EQ(state.rows.size(), c.exitCode == 0 ? 4u : 1u);
    }
}

// Calibration values that are not numbers only reach the summary.
TEST_P(CorruptRecording, CalibrationValuesThatAreNotNumbers) {
    recwriter::RecordingSpec spec;
    spec.station = "ABC";
    spec.frames = 10;
    spec.channels = {{"BHZ", std::numeric_limits<double>::quiet_NaN(), 1},
                     {"BHN", 1, std::numeric_limits<double>::infinity()},
                     {"BHE", -std::numeric_limits<double>::infinity(), -0.0}};
    folder_.Recording("rec.dat", spec);
    ProgramResult result = RunLimited("rec.dat");
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_NE(result.out.find("Done!"), std::string::npos) << result.out;
    EXPECT_EQ(Capture(folder_.Archive(), Catalogue()).rows.size(), 4u);
}

// The limit above is real: a sound recording whose sample block alone exceeds it ends with the
// out-of-memory message and status -2, having filed nothing.
TEST_P(CorruptRecording, RecordingLargerThanTheAddressSpaceLimit) {
    if (SanitizerBuild()) GTEST_SKIP() << "no address space limit under the sanitizers";
    recwriter::RecordingSpec spec;
    spec.station = "ABC";
    spec.bits = 32;
    spec.frames = 3'000'000;  // 36 MB of samples
    folder_.Recording("big.dat", spec);
    ProgramResult result = RunLimited("big.dat");
    EXPECT_EQ(result.exitCode, 254) << result.out;
    EXPECT_EQ(testsupport::Lines(result.out).back(), "ERROR: out of memory!!!");
    EXPECT_TRUE(NothingFiled());
}

INSTANTIATE_TEST_SUITE_P(Drivers, CorruptRecording,
                         ::testing::Values(std::string(testsupport::kSqliteDriver)),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace
}  // namespace reliability
