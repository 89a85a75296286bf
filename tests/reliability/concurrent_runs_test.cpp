// Runs of the real program side by side against one catalogue: runs for different stations lose
// nothing (the end state is that of the same runs one after another), and two runs for one
// station never interleave: the later one waits, says so once, and files after the other.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "tests/reliability/reliability_support.h"
#include "tests/support/temp_dir.h"
#include "tools/recording_writer.h"

namespace reliability {
namespace {

constexpr const char* kStations[] = {"AAA", "BBB", "CCC", "DDD"};
constexpr int kDays = 7;

class ConcurrentRuns : public testsupport::CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        root_ = folder_.File("archive");
        std::filesystem::create_directory(root_);
        // Segments of two minutes at most, and a limit that the sixth day passes, so that
        // appends, new segments and the quota all run side by side.
        std::string stations;
        for (int n = 0; n < 4; ++n)
            stations += "[STA" + std::to_string(n) + "]\nNAME=" + kStations[n] +
                        "\nMAXFILETIME=2\nSIZEMB=1\n";
        folder_.Write("korvane.ini", ConfigText(Catalogue(), root_, stations));
        for (const char* station : kStations) {
            for (int day = 1; day <= kDays; ++day) {
                recwriter::RecordingSpec spec;
                spec.station = station;
                spec.day = day;
                spec.frames = 16000;
                spec.waveform.seed = static_cast<uint64_t>(day * 10 + station[0]);
                ASSERT_EQ(recwriter::WriteRecording(folder_.File(Recording(station, day)), spec),
                          "");
            }
        }
    }

    static std::string Recording(const std::string& station, int day) {
        return station + "-" + std::to_string(day) + ".dat";
    }
    // Runs the day's recordings of `stations` at once and checks that each ended well.
    void RunTogether(const std::vector<std::string>& stations, int day) {
        std::vector<std::unique_ptr<BackgroundRun>> runs;
        for (const std::string& station : stations)
            runs.push_back(std::make_unique<BackgroundRun>(
                folder_.Path(), std::vector<std::string>{Recording(station, day), station},
                folder_.File(station + ".out")));
        for (size_t n = 0; n < runs.size(); ++n) {
            SCOPED_TRACE(stations[n] + " day " + std::to_string(day));
            EXPECT_EQ(runs[n]->Wait(), 0);
            const std::string out = runs[n]->Output();
            EXPECT_NE(out.find("Done!"), std::string::npos) << out;
            // No file errors, and nothing from the catalogue: no lock timeouts, no driver errors.
            EXPECT_EQ(out.find("rror"), std::string::npos) << out;
            EXPECT_EQ(out.find("\n\n\n"), std::string::npos) << out;
            EXPECT_EQ(out.find("locked"), std::string::npos) << out;
            EXPECT_EQ(out.find(Catalogue().Pwd()), std::string::npos) << out;
            if (out.find("Deleted file") != std::string::npos) ++deletions_;
        }
    }

    testsupport::TempDir folder_;
    std::string root_;
    int deletions_ = 0;  // runs that printed "Deleted file"
};

TEST_P(ConcurrentRuns, StationsFiledSideBySideEndAsFiledOneAfterAnother) {
    const std::vector<std::string> all(std::begin(kStations), std::end(kStations));
    for (int day = 1; day <= kDays; ++day) {
        for (const std::string& station : all) RunTogether({station}, day);
    }
    const ArchiveState sequential = Capture(root_, Catalogue());
    ASSERT_EQ(BrokenClaims(sequential, sequential), std::vector<std::string>{});
    // Seven days of six segments for each station, the quota having deleted some.
    ASSERT_GT(deletions_, 0);
    ASSERT_GT(sequential.rows.size(), 4u * 4 * 6);
    ASSERT_LT(sequential.rows.size(), 4u * kDays * 6);

    const int rounds = SanitizerBuild() ? 1 : 3;
    for (int round = 1; round <= rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directory(root_);
        Catalogue().Execute("DELETE FROM FILELIST");
        for (int day = 1; day <= kDays; ++day) RunTogether(all, day);
        EXPECT_EQ(Difference(sequential, Capture(root_, Catalogue())), "");
    }
}

// The test holds the station's lock while two runs for it start: each says once that it waits;
// once free, one files and then the other, as if run one after the other.
TEST_P(ConcurrentRuns, RunsForOneStationTakeTurns) {
    RunTogether({"AAA"}, 1);
    RunTogether({"AAA"}, 2);
    const ArchiveState sequential = Capture(root_, Catalogue());
    ASSERT_EQ(sequential.rows.size(), 12u);

    std::filesystem::remove_all(root_);
    Catalogue().Execute("DELETE FROM FILELIST");
    std::filesystem::create_directories(root_ + "/AAA");
    // Close-on-exec: a run that inherited the descriptor would hold the lock itself.
    platform::UniqueFd lock(
        open((root_ + "/AAA/.korvane.lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666));
    ASSERT_TRUE(lock.Valid());
    ASSERT_EQ(flock(lock.Get(), LOCK_EX), 0);
    const std::string waiting = "Waiting for station AAA, locked by another run...\n";
    BackgroundRun first(folder_.Path(), {Recording("AAA", 1), "AAA"}, folder_.File("1.out"));
    ASSERT_TRUE(first.Prints(waiting)) << first.Output();
    BackgroundRun second(folder_.Path(), {Recording("AAA", 2), "AAA"}, folder_.File("2.out"));
    ASSERT_TRUE(second.Prints(waiting)) << second.Output();
    EXPECT_TRUE(Catalogue().Rows().empty());
    lock.Close();

    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
    for (const std::string& out : {first.Output(), second.Output()}) {
        const size_t at = out.find(waiting);
        EXPECT_EQ(out.find(waiting, at + 1), std::string::npos) << out;
        EXPECT_NE(out.find("Done!"), std::string::npos) << out;
    }
    EXPECT_EQ(Difference(sequential, Capture(root_, Catalogue())), "");
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(ConcurrentRuns);

}  // namespace
}  // namespace reliability
