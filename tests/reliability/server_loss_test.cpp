// The PostgreSQL server stops in the middle of a run: every catalogue operation from then on
// prints its error, the run goes on to its end and reports success as its flushes would, no row
// claims a file that does not hold its samples, and once the server is back the same run files
// what an undisturbed run files.
//
// The server is this test's own (scripts/pg-test-cluster in a temporary folder), halted from the
// statement hook right before the n-th catalogue statement of the run, for a sample of n.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mman.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/statement_hook.h"
#include "tests/reliability/reliability_support.h"
#include "tests/support/temp_dir.h"
#include "tools/recording_writer.h"

namespace reliability {
namespace {

const std::string kClusterScript = std::string(KORVANE_SOURCE_DIR) + "/scripts/pg-test-cluster";

// The cluster every test of this process uses: started before the first test, and named in
// KORVANE_PG_DIR before the test catalogue reads it.
class PrivateCluster : public ::testing::Environment {
  public:
    void SetUp() override {
        dir_ = std::make_unique<testsupport::TempDir>();
        if (!Run("start")) GTEST_FAIL() << "the private PostgreSQL cluster did not start";
        setenv("KORVANE_PG_DIR", Dir().c_str(), 1);
    }
    void TearDown() override {
        Run("stop");
        dir_.reset();
    }

    static std::string Dir() { return dir_->File("pg"); }
    // Runs the cluster script with `action`; true when it succeeded.
    static bool Run(const char* action) {
        const std::string command =
            kClusterScript + " " + action + " '" + Dir() + "' >/dev/null 2>&1";
        return system(command.c_str()) == 0;
    }

  private:
    static inline std::unique_ptr<testsupport::TempDir> dir_;
};

[[maybe_unused]] auto* const gCluster = ::testing::AddGlobalTestEnvironment(new PrivateCluster);

// Set before forking: halt the server right before this statement of the run.
int gHaltBefore = 0;
int gStatements = 0;
// Shared with the children: statements the latest run began, and how many of them were
// record-set selections made after the halt (each prints its error).
struct RunCounts {
    int statements;
    int selectionsAfterHalt;
};
RunCounts* gCounts = nullptr;

int HaltAtPlannedStatement(const char* sql) {
    ++gStatements;
    gCounts->statements = gStatements;
    if (gStatements == gHaltBefore && !PrivateCluster::Run("halt")) {
        std::cerr << "the server could not be halted\n";
        abort();
    }
    if (gHaltBefore > 0 && gStatements >= gHaltBefore &&
        std::string(sql).starts_with("SELECT STA,"))
        ++gCounts->selectionsAfterHalt;
    return 0;
}

void InstallHaltHook() {
    gStatements = 0;
    *gCounts = {};
    platform::SetStatementHook(&HaltAtPlannedStatement);
}

class ServerLoss : public testsupport::CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        void* shared = mmap(nullptr, sizeof(RunCounts), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(shared, MAP_FAILED);
        gCounts = static_cast<RunCounts*>(shared);
    }
    void TearDown() override {
        if (gCounts != nullptr) munmap(gCounts, sizeof(RunCounts));
        gCounts = nullptr;
        CatalogueTest::TearDown();
    }
};

TEST_P(ServerLoss, RunGoesOnAndFilingAgainRestoresTheArchive) {
    FilingScenario scenario(Catalogue());
    Restore(scenario.Before(), scenario.Root(), Catalogue());
    gHaltBefore = 0;
    ChildRun undisturbed = scenario.Convert(&InstallHaltHook);
    ASSERT_EQ(undisturbed.exitCode, 0) << undisturbed.out;
    const ArchiveState filed = Capture(scenario.Root(), Catalogue());
    const int total = gCounts->statements;
    ASSERT_GT(total, 0);

    const int stride = SanitizerBuild() ? 8 : 2;
    int points = 0;
    int rowless = 0;
    for (int n = 1; n <= total; n += stride) {
        SCOPED_TRACE("server halted before statement " + std::to_string(n) + " of " +
                     std::to_string(total));
        Restore(scenario.Before(), scenario.Root(), Catalogue());
        gHaltBefore = n;
        ChildRun run = scenario.Convert(&InstallHaltHook);
        const RunCounts counts = *gCounts;
        ASSERT_TRUE(PrivateCluster::Run("resume"));
        ASSERT_NO_THROW(Catalogue().Reconnect());

        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.exitCode, 0) << run.out;
        EXPECT_NE(run.out.find("\nDone!\n\n"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find(Catalogue().Pwd()), std::string::npos);
        // Each record-set operation after the halt printed the driver's text about the lost
        // connection, then its own line end (an empty line): at least one block for each
        // selection the hook saw after the halt.
        int errors = 0;
        for (size_t at = run.out.find("\n\n\n"), from = run.out.find("Convert data...");
             at != std::string::npos; from = at + 3, at = run.out.find("\n\n\n", from)) {
            // The block may begin with the transcript's own lines ("Done!", "Deleted file").
            const std::string block = run.out.substr(from, at - from);
            EXPECT_TRUE(block.find("connection") != std::string::npos ||
                        block.find("server") != std::string::npos)
                << block;
            ++errors;
        }
        EXPECT_GE(errors, counts.selectionsAfterHalt) << run.out;
        const ArchiveState left = Capture(scenario.Root(), Catalogue());
        for (const std::string& claim : BrokenClaims(left, filed)) ADD_FAILURE() << claim;

        gHaltBefore = 0;
        ChildRun again = scenario.Convert();
        EXPECT_EQ(again.exitCode, 0) << again.out;
        ArchiveState refiled = Capture(scenario.Root(), Catalogue());
        rowless += DropRowlessFiles(filed, &refiled);
        EXPECT_EQ(Difference(filed, refiled), "") << "run with the server halted printed:\n"
                                                  << run.out;
        ++points;
        if (HasFailure()) break;
    }
    std::cout << "[ outage   ] " << points << " of " << total
              << " statements checked as the server's halting point; " << rowless
              << " segment files written while the server was down stayed without a row\n";
}

// The real program loses its server part-way through a long run: it goes on to its end, reports
// each failed catalogue operation, and exits after "Done!" with status 0 through the process's
// own exit, which closes the broken connection.
TEST_P(ServerLoss, ProgramWhoseServerStopsMidRunEndsNormally) {
    testsupport::TempDir folder;
    const std::string root = folder.File("archive");
    std::filesystem::create_directory(root);
    folder.Write("korvane.ini", ConfigText(Catalogue(), root, ""));
    recwriter::RecordingSpec spec;
    spec.station = "ABC";
    spec.frames = 3'000'000;  // 600 pieces a channel
    ASSERT_EQ(recwriter::WriteRecording(folder.File("rec.dat"), spec), "");

    BackgroundRun run(folder.Path(), {"rec.dat", "ABC"}, folder.File("out"));
    ASSERT_TRUE(run.Prints("Convert data...\n")) << run.Output();
    ASSERT_TRUE(PrivateCluster::Run("halt"));
    const int exitCode = run.Wait();
    ASSERT_TRUE(PrivateCluster::Run("resume"));
    ASSERT_NO_THROW(Catalogue().Reconnect());

    const std::string out = run.Output();
    EXPECT_EQ(exitCode, 0) << out;
    EXPECT_NE(out.find("\nDone!\n\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n\n\n"), std::string::npos) << "no catalogue operation failed:\n" << out;
    EXPECT_EQ(out.find(Catalogue().Pwd()), std::string::npos);
    const ArchiveState state = Capture(root, Catalogue());
    EXPECT_FALSE(state.rows.empty());
    EXPECT_EQ(BrokenClaims(state, state), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Drivers, ServerLoss,
                         ::testing::Values(std::string(testsupport::kPostgresDriver)),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace
}  // namespace reliability
