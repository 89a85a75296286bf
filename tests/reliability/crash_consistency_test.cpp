// A run killed at any moment leaves no row that claims samples its file does not hold, and the
// same run started again ends with the archive and catalogue of a run that was never killed.
//
// The run files three channels of 160 s at 100 samples per second (four pieces each) with
// segments of at most two minutes, so that every channel has a created, an appended and a
// second created segment, under a 1 MiB quota that deletes an older segment half-way. It runs
// in a forked child and is killed with SIGKILL right after its n-th file call, or right after
// its n-th catalogue statement, for every n of an undisturbed run.
//
// KORVANE_CRASH_STRIDE=k checks only every k-th point (default 1; in the sanitizer build 3 on
// SQLite and 8 on PostgreSQL).

#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "platform/file_io.h"
#include "platform/statement_hook.h"
#include "tests/reliability/reliability_support.h"

namespace reliability {
namespace {

using testsupport::CatalogueRow;

enum PointKind { kFileCall = 0, kStatement = 1 };
constexpr const char* kPointNames[] = {"file call", "statement"};

enum class Disturbance { kKill, kFail };

// Set in the test before forking, read by the child's hooks.
struct Plan {
    PointKind kind = kFileCall;
    int at = 0;  // the call of `kind` to disturb; 0 none
    // kKill: SIGKILL right after the call; kFail: the call fails (EIO for a file call, an
    // error without diagnostics for a statement) and the run goes on.
    Disturbance disturbance = Disturbance::kKill;
};
Plan gPlan;

// The child's own view of its calls.
int gSeen[2];
bool gArmed = false;
// Counts of the latest child, in memory shared with the test.
int* gSharedCounts = nullptr;

// Called before every file call and statement: the previous call has completed, so a planned
// kill after it happens here, before anything else reaches the disk or the catalogue. Returns
// true when this call is to fail.
bool Tick(PointKind kind) {
    if (gArmed) raise(SIGKILL);
    const int n = ++gSeen[kind];
    gSharedCounts[kind] = n;
    if (kind != gPlan.kind || n != gPlan.at) return false;
    if (gPlan.disturbance == Disturbance::kKill) gArmed = true;
    return gPlan.disturbance == Disturbance::kFail;
}

int OnFileCall(platform::FileCall, const char*) {
    return Tick(kFileCall) ? EIO : 0;
}

int OnStatement(const char*) {
    return Tick(kStatement) ? 1 : 0;
}

void InstallHooks() {
    gSeen[kFileCall] = gSeen[kStatement] = 0;
    gArmed = false;
    platform::SetFileFaultHook(&OnFileCall);
    platform::SetStatementHook(&OnStatement);
}

// A kill planned after the very last call happens when the run returns.
void KillIfArmed() {
    if (gArmed) raise(SIGKILL);
}

int Stride(const std::string& driver) {
    if (const char* value = getenv("KORVANE_CRASH_STRIDE"); value != nullptr && atoi(value) > 0)
        return atoi(value);
    if (!SanitizerBuild()) return 1;
    return driver == testsupport::kPostgresDriver ? 8 : 3;
}

class CrashConsistency : public testsupport::CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        void* shared = mmap(nullptr, sizeof(int) * 2, PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(shared, MAP_FAILED);
        gSharedCounts = static_cast<int*>(shared);
        scenario_ = std::make_unique<FilingScenario>(Catalogue());
        root_ = scenario_->Root();
    }
    void TearDown() override {
        platform::SetFileFaultHook(nullptr);
        platform::SetStatementHook(nullptr);
        if (gSharedCounts != nullptr) munmap(gSharedCounts, sizeof(int) * 2);
        gSharedCounts = nullptr;
        CatalogueTest::TearDown();
    }

    ChildRun Convert(void (*prepare)() = nullptr, void (*finish)() = nullptr) {
        return scenario_->Convert(prepare, finish);
    }

    // Starting from `start`, disturbs the run at each n-th call of each kind (every stride-th
    // n), checks what it left, runs again and expects `end`. Returns the points checked.
    int DisturbEverywhere(const ArchiveState& start, const ArchiveState& end, const char* scenario,
                          Disturbance disturbance) {
        const bool kill = disturbance == Disturbance::kKill;
        Restore(start, root_, Catalogue());
        gPlan = {};
        ChildRun counting = Convert(&InstallHooks);
        EXPECT_EQ(counting.exitCode, 0) << counting.out;
        const int total[2] = {gSharedCounts[kFileCall], gSharedCounts[kStatement]};
        EXPECT_EQ(Capture(root_, Catalogue()), end) << "the hooks changed the run";

        int checked = 0;
        const int stride = Stride(GetParam());
        for (PointKind kind : {kFileCall, kStatement}) {
            int points = 0;
            for (int n = 1; n <= total[kind]; n += stride) {
                SCOPED_TRACE(std::string(scenario) + (kill ? ": killed after " : ": failed ") +
                             kPointNames[kind] + " " + std::to_string(n) + " of " +
                             std::to_string(total[kind]));
                Restore(start, root_, Catalogue());
                gPlan = {kind, n, disturbance};
                ChildRun killed = Convert(&InstallHooks, &KillIfArmed);
                if (kill) {
                    EXPECT_EQ(killed.signal, SIGKILL) << killed.out;
                } else {
                    // A failure is reported and the run ends as its status says: "Done!" and 0,
                    // or a recorder file that could not be opened (-4) or read (-5).
                    EXPECT_EQ(killed.signal, 0) << killed.out;
                    EXPECT_TRUE(killed.exitCode == 0 || killed.exitCode == 252 ||
                                killed.exitCode == 251)
                        << killed.exitCode;
                    EXPECT_EQ(killed.out.find("\nDone!\n") != std::string::npos,
                              killed.exitCode == 0)
                        << killed.out;
                }
                const ArchiveState left = Capture(root_, Catalogue());
                for (const std::string& claim : BrokenClaims(left, end)) ADD_FAILURE() << claim;

                gPlan = {};
                ChildRun again = Convert();
                EXPECT_EQ(again.exitCode, 0) << again.out;
                EXPECT_EQ(again.out.find(Catalogue().Pwd()), std::string::npos);
                ArchiveState filed = Capture(root_, Catalogue());
                for (const std::string& claim : BrokenClaims(filed, end)) ADD_FAILURE() << claim;
                // The quota deletes a row before its file, so that no row ever claims a file
                // that is gone; killed between the two, the run leaves the file without a row,
                // and no later run knows of it. That file, as it was, is the one difference
                // allowed after a kill.
                orphans_ += DropRowlessFiles(end, &filed, &start);
                if (kill) {
                    EXPECT_EQ(Difference(end, filed), "") << "disturbed run printed:\n"
                                                          << killed.out << "run again printed:\n"
                                                          << again.out;
                } else {
                    // A failed call drops samples, and the pieces after them may start
                    // segments of their own: filing again adds every segment of an undisturbed
                    // run, while segments that the disturbed run began elsewhere stay beside
                    // them, each holding what its row claims.
                    EXPECT_EQ(Shortfall(end, filed), "") << "disturbed run printed:\n"
                                                         << killed.out << "run again printed:\n"
                                                         << again.out;
                    if (Difference(end, filed) != "") ++overlapping_;
                }
                ++points;
                if (HasFailure()) return checked + points;  // one broken point tells enough
            }
            std::cout << "[ crash    ] " << GetParam() << ", " << scenario << ": " << points
                      << " of " << total[kind] << " " << kPointNames[kind] << " points "
                      << (kill ? "killed" : "failed") << "\n";
            if (orphans_ > 0)
                std::cout << "[ crash    ] " << orphans_
                          << " left the quota's file without a row\n";
            if (overlapping_ > 0)
                std::cout << "[ crash    ] " << overlapping_
                          << " left segments beside those of an undisturbed run\n";
            orphans_ = overlapping_ = 0;
            checked += points;
        }
        return checked;
    }

    std::unique_ptr<FilingScenario> scenario_;
    std::string root_;
    int orphans_ = 0;      // points whose kill left the quota's file without a row
    int overlapping_ = 0;  // points whose failure left extra segments after filing again
};

TEST_P(CrashConsistency, KilledAfterAnyFileCallOrStatement) {
    Restore(scenario_->Before(), root_, Catalogue());
    ChildRun first = Convert();
    ASSERT_EQ(first.exitCode, 0) << first.out;
    const ArchiveState filed = Capture(root_, Catalogue());
    // The run is the one described above: the older segment deleted, two segments a channel.
    ASSERT_NE(first.out.find("Deleted file '" + scenario_->OldSegmentPath() + "'"),
              std::string::npos)
        << first.out;
    ASSERT_EQ(filed.rows.size(), 6u);
    EXPECT_EQ(BrokenClaims(filed, filed), std::vector<std::string>{});
    // Filing the same recording again changes nothing, also when the data source's planner
    // knows the table (PostgreSQL then scans a small table in storage order, not by index).
    Catalogue().Execute("ANALYZE");
    ChildRun second = Convert();
    ASSERT_EQ(second.exitCode, 0) << second.out;
    ASSERT_EQ(Difference(filed, Capture(root_, Catalogue())), "");

    DisturbEverywhere(scenario_->Before(), filed, "first filing", Disturbance::kKill);
    if (HasFailure()) return;
    // Killed while filing the recording a second time, over its complete archive.
    DisturbEverywhere(filed, filed, "filing again", Disturbance::kKill);
}

TEST_P(CrashConsistency, FailingAnyFileCallOrStatement) {
    Restore(scenario_->Before(), root_, Catalogue());
    ChildRun first = Convert();
    ASSERT_EQ(first.exitCode, 0) << first.out;
    const ArchiveState filed = Capture(root_, Catalogue());
    DisturbEverywhere(scenario_->Before(), filed, "first filing", Disturbance::kFail);
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(CrashConsistency);

}  // namespace
}  // namespace reliability
