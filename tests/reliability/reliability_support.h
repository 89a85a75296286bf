#pragma once
// What the reliability tests share: a station archive (data root and catalogue) captured and
// put back whole, the check that no row claims samples its file does not hold, and a run of
// the tool in a forked child, where the file and statement hooks can be set.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/odbc_fixture.h"
#include "tests/support/temp_dir.h"

namespace reliability {

// The data root's files (path below the root, "/"-separated, to bytes) and the catalogue's
// rows with their load times cleared.
struct ArchiveState {
    std::map<std::string, std::string> files;
    std::vector<testsupport::CatalogueRow> rows;

    friend bool operator==(const ArchiveState&, const ArchiveState&) = default;
};

// Reads the state of `root` and `catalogue`.
ArchiveState Capture(const std::string& root, testsupport::TestCatalogue& catalogue);
// Makes `root` and `catalogue` hold exactly `state` (rows get a fixed load time).
void Restore(const ArchiveState& state, const std::string& root,
             testsupport::TestCatalogue& catalogue);
// What differs between two states, one line per file or row; "" when equal.
std::string Difference(const ArchiveState& expected, const ArchiveState& actual);

// What of `expected` is missing from `actual` or differs there (files and rows; what `actual`
// has besides is not named), one line each; "" when `actual` holds all of `expected`.
std::string Shortfall(const ArchiveState& expected, const ArchiveState& actual);

// Bytes a segment file holds when it has what its row claims: 512 + 4 * round(TQTY * SPS).
int64_t ClaimedBytes(const testsupport::CatalogueRow& row);

// The rows of `state` whose file is missing or shorter than the row claims, and, for files
// that `reference` also has, whose claimed bytes differ from the reference's. One line each.
std::vector<std::string> BrokenClaims(const ArchiveState& state, const ArchiveState& reference);

// Removes from `state` the files that `end` does not have and no row of `state` names, and
// returns how many. With `start`, only those that `start` had, with the same bytes. A run that
// ends or loses its catalogue part-way may leave such files: never a row without its file.
int DropRowlessFiles(const ArchiveState& end, ArchiveState* state,
                     const ArchiveState* start = nullptr);

// Outcome of a run in a child process.
struct ChildRun {
    int exitCode = -1;  // exit code, or -1 when the child was killed
    int signal = 0;     // the signal that ended it
    std::string out;    // what it printed, up to its end
};

// Runs the conversion in a forked child whose current folder is `folder` (it finds
// korvane.ini there; KRO_INI names no file), as the program would with arguments `args`.
// `prepare`, when given, runs in the child first (to set hooks), and `finish` after the
// conversion returned. The child prints through a pipe written at once, so that its output
// survives a kill.
ChildRun RunInChild(const std::string& folder, const std::vector<std::string>& args,
                    void (*prepare)() = nullptr, void (*finish)() = nullptr);

// The built program running in the background in `folder` (KRO_INI names no file), its
// stdout and stderr going to the file `output`. Killed and waited for when it goes.
class BackgroundRun {
  public:
    BackgroundRun(const std::string& folder, const std::vector<std::string>& args,
                  const std::string& output);
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;
    ~BackgroundRun();

    // What it printed so far.
    std::string Output() const;
    // True once it has printed `text`, waiting up to 20 s.
    bool Prints(const std::string& text) const;
    // Waits for its end. Returns the exit code, or -1 when it did not exit normally.
    int Wait();

  private:
    pid_t pid_ = -1;
    std::string output_;
};

// korvane.ini text for `catalogue` filing below `dataRoot`, with `stations` appended.
std::string ConfigText(const testsupport::TestCatalogue& catalogue, const std::string& dataRoot,
                       const std::string& stations);

// The run that the crash and outage tests disturb, in a folder of its own: three channels of
// 160 s at 100 samples per second (four pieces of at most 5000 samples each) for station ABC,
// whose segments may span two minutes, so that every channel gets a created, an appended and
// a second created segment; and a 1 MiB limit that an older segment (940 512 bytes, the day
// before) makes the quota reach half-way, so that it deletes that segment.
class FilingScenario {
  public:
    explicit FilingScenario(const testsupport::TestCatalogue& catalogue);

    // The data root.
    const std::string& Root() const { return root_; }
    // The archive before the run: the older segment's file and row.
    const ArchiveState& Before() const { return before_; }
    // On-disk path of the older segment, as "Deleted file" names it.
    std::string OldSegmentPath() const { return root_ + "/ABC/00/01022003-000000-BHZ.ABC"; }

    // Files the recording in a child (see RunInChild).
    ChildRun Convert(void (*prepare)() = nullptr, void (*finish)() = nullptr) const;

  private:
    testsupport::TempDir folder_;
    std::string root_;
    ArchiveState before_;
};

// True for the AddressSanitizer build, where runs are several times slower.
bool SanitizerBuild();

}  // namespace reliability
