// The run sequence, by running the built program.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "tests/driver/program_runner.h"

namespace testsupport {
namespace {

const std::string kBanner = "Korvane_c v1.1\nLoad parameters...\n";

recwriter::RecordingSpec SmallRecording() {
    recwriter::RecordingSpec spec;
    spec.station = "ABC.XYZ";
    spec.year = 5;
    spec.month = 3;
    spec.day = 1;
    spec.timeOfDay = 12 * 3600 + 30 * 60 + 15.5;
    spec.frames = 100;
    return spec;
}

TEST(Run, FewerThanTwoArgumentsPrintOnlyTheUsageLine) {
    KorvaneFolder folder;
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"file"}}) {
        ProgramResult result = folder.Run(args);
        EXPECT_EQ(result.exitCode, 255);
        EXPECT_EQ(result.out, "USAGE: Korvane_c file_name station_name\n");
        EXPECT_EQ(result.err, "");
    }
}

TEST(Run, UnknownDataSourcePrintsDriverTextAndNeverThePassword) {
    KorvaneFolder folder;
    folder.dir.Write("korvane.ini", "[DATABASE]\nODBC=NOSUCHDSN\nUSER=KRO\nPASSWORD=Sup3rS3cret\n[DATA]\nDIR=/x\n");
    ProgramResult result = folder.Run({"rec.dat", "ABC"});
    EXPECT_EQ(result.exitCode, 253);
    EXPECT_EQ(result.out, kBanner +
                              "Connect to DB:DSN=NOSUCHDSN;UID=KRO;PWD=***; DATA=/x...\n"
                              "Data source name not found and no default driver specified\n"
                              "ERROR: Can't open Database: DSN=NOSUCHDSN;UID=KRO;PWD=***;\n");
    EXPECT_EQ(result.out.find("Sup3rS3cret"), std::string::npos);
    EXPECT_EQ(result.err.find("Sup3rS3cret"), std::string::npos);
}

class RunOnCatalogue : public CatalogueTest {
protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        folder.Configure(Catalogue(), folder.Archive());
        std::filesystem::create_directory(folder.Archive());
    }
    KorvaneFolder folder;
};

TEST_P(RunOnCatalogue, MissingRecorderFile) {
    ProgramResult result = folder.Run({"missing.dat", "ABC"});
    EXPECT_EQ(result.exitCode, 252);
    std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 5u) << result.out;
    EXPECT_EQ(lines[3], "Convert file missing.dat (sta=ABC)...");
    EXPECT_EQ(lines[4], "ERROR: open file missing.dat!!!");
    EXPECT_EQ(result.out.find(Catalogue().Pwd()), std::string::npos);
}

TEST_P(RunOnCatalogue, RecorderFileLockedByAnotherProcess) {
    std::string path = folder.Recording("rec.dat", SmallRecording());
    int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    ProgramResult result = folder.Run({"rec.dat", "ABC"});
    close(fd);
    EXPECT_EQ(result.exitCode, 252);
    EXPECT_EQ(Lines(result.out).back(), "ERROR: open file rec.dat!!!");
}

TEST_P(RunOnCatalogue, ReadOnlyRecorderFileCannotBeOpened) {
    if (geteuid() == 0) GTEST_SKIP() << "root opens read-only files for writing";
    std::string path = folder.Recording("rec.dat", SmallRecording());
    chmod(path.c_str(), 0444);
    EXPECT_EQ(folder.Run({"rec.dat", "ABC"}).exitCode, 252);
}

TEST_P(RunOnCatalogue, HeaderAndStationFailures) {
    recwriter::RecordingSpec spec = SmallRecording();
    std::string path = folder.Recording("rec.dat", spec);
    truncate(folder.Recording("short.dat", spec).c_str(), 100);

    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        const char* lastLines;
    } const cases[] = {
        {"short header", {"short.dat", "ABC"}, 251, "Read header...\nERROR: read file short.dat!!!\n"},
        {"station not in file", {"rec.dat", "XYZ"}, 250,
         "ERROR: in file rec.dat not found data for XYZ station\n or file is not BAIKAL-format!!!\n"},
        {"lower-case station", {"rec.dat", "abc"}, 250,
         "ERROR: in file rec.dat not found data for abc station\n or file is not BAIKAL-format!!!\n"},
        {"name cut to 31 before the check", {"rec.dat", "ABC" + std::string(40, 'Q')}, 250,
         "ERROR: in file rec.dat not found data for ABCQQQQQQQQQQQQQQQQQQQQQQQQQQQQ station\n"
         " or file is not BAIKAL-format!!!\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramResult result = folder.Run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode);
        const std::string tail = c.lastLines;
        ASSERT_GE(result.out.size(), tail.size());
        EXPECT_EQ(result.out.substr(result.out.size() - tail.size()), tail) << result.out;
    }
    EXPECT_TRUE(Catalogue().Rows().empty());
}

TEST_P(RunOnCatalogue, SubstringOfTheStationTextPasses) {
    folder.Recording("rec.dat", SmallRecording());
    for (const char* station : {"B", "BC", ""}) {
        SCOPED_TRACE(station);
        ProgramResult result = folder.Run({"rec.dat", station});
        EXPECT_EQ(result.exitCode, 0) << result.out;
    }
}

TEST_P(RunOnCatalogue, SuccessfulRunTranscriptInOrder) {
    folder.Recording("rec.dat", SmallRecording());
    ProgramResult result = folder.Run({"rec.dat", "ABC", "extra", "arguments"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    const std::string archive = folder.Archive();
    EXPECT_EQ(result.out,
              kBanner + "Connect to DB:DSN=" + Catalogue().Dsn() + ";UID=" + Catalogue().Uid() +
                  ";PWD=***; DATA=" + archive +
                  "...\n"
                  "Convert file rec.dat (sta=ABC)...\n"
                  "Read header...\n"
                  "System (Baikal ADC v5) => ABC\n"
                  "year mnt day |  h-mi-s  |  sps   \tnch  data_len  nsamp\n"
                  "2005   3   1 | 12-30-15 | 100.00\t 3\t 2\t100\n"
                  " Ch\tcalib\tcalper\n"
                  "BHZ\t1000.00\t1.00\n"
                  "BHN\t1000.00\t1.00\n"
                  "BHE\t1000.00\t1.00\n"
                  "Convert data...\n"
                  "Done!\n"
                  "\n");
    std::vector<CatalogueRow> rows = Catalogue().Rows();
    ASSERT_EQ(rows.size(), 3u);
    for (const CatalogueRow& row : rows) {
        EXPECT_EQ(row.sta, "ABC");
        EXPECT_EQ(row.tqty, 1.0);
        EXPECT_EQ(row.creater, "Korvane_c");
        EXPECT_TRUE(std::filesystem::exists(archive + "/" + std::string("ABC/12/") +
                                            row.cpath.substr(row.cpath.rfind('\\') + 1)));
    }
}

TEST_P(RunOnCatalogue, WrongFileSizeEndsWithoutDoneAndFilesNothing) {
    recwriter::RecordingSpec spec = SmallRecording();
    spec.extraBytes = 1;
    folder.Recording("rec.dat", spec);
    ProgramResult result = folder.Run({"rec.dat", "ABC"});
    EXPECT_EQ(result.exitCode, 251);
    EXPECT_EQ(Lines(result.out).back(), "ERROR: Wrong file size!!!");
    EXPECT_EQ(result.out.find("Done!"), std::string::npos);
    EXPECT_TRUE(Catalogue().Rows().empty());
}

// Three runs of 1000-second recordings (400 kB of floats each), one a day, under a 1 MiB limit:
// the third run's flushes reach the limit and delete the first day's segment; another station's
// row is never touched.
TEST_P(RunOnCatalogue, QuotaDeletesOldestSegmentsAcrossRuns) {
    folder.Configure(Catalogue(), folder.Archive(), "[STA0]\nNAME=ABC\nSIZEMB=1\n");
    CatalogueRow other{"XYZ", 100, 1, "XYZ\\07\\old.XYZ", 3, "BHZ", "Korvane_c", "", 1.0, 10, 512};
    Catalogue().Insert(other);
    recwriter::RecordingSpec spec;
    spec.station = "ABC";
    spec.bits = 32;
    spec.channels = {{"BHZ"}};
    spec.frames = 100000;
    std::string lastOut;
    for (int day = 1; day <= 3; ++day) {
        spec.day = day;
        folder.Recording("rec.dat", spec);
        ProgramResult result = folder.Run({"rec.dat", "ABC"});
        ASSERT_EQ(result.exitCode, 0) << result.out;
        lastOut = result.out;
    }
    std::vector<CatalogueRow> rows = Catalogue().Rows();
    EXPECT_NE(std::find(rows.begin(), rows.end(), other), rows.end());
    int64_t stored = 0;
    for (const CatalogueRow& row : rows) {
        if (row.sta != "ABC") continue;
        EXPECT_GE(row.tbegin, 1044057600.0 + 86400) << row.cpath;  // day 1 is gone
        stored += static_cast<int64_t>(row.sps * row.tqty * 4 + 512);
        EXPECT_TRUE(std::filesystem::exists(folder.Archive() + "/ABC/00/" +
                                            row.cpath.substr(row.cpath.rfind('\\') + 1)));
    }
    EXPECT_LT(stored, 1 << 20);
    EXPECT_GT(stored, 1 << 19);  // days 2 and 3 are kept
    EXPECT_NE(lastOut.find("Deleted file '" + folder.Archive() + "/ABC/00/"), std::string::npos) << lastOut;
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(RunOnCatalogue);

}  // namespace
}  // namespace testsupport
