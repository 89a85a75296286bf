// A run whose console goes nowhere (a pipe nobody reads any more, a full disk) still files its
// recording and ends with its status: losing the messages must not stop the filing.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/reliability/reliability_support.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/recording_writer.h"

namespace reliability {
namespace {

enum class Console { kClosedPipe, kFullDisk };

// Runs the program in `folder` with its stdout and stderr as `console` says; its exit code, or
// 128 + the signal that ended it.
int RunWithConsole(const std::string& folder, Console console) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const std::string program = testsupport::BuiltProgram("korvane");
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        int out = pipeFds[1];
        if (console == Console::kFullDisk) out = open("/dev/full", O_WRONLY);
        if (out < 0 || chdir(folder.c_str()) != 0) _exit(126);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        close(pipeFds[0]);
        setenv("KRO_INI", "/nonexistent/kro.ini", 1);
        execl(program.c_str(), program.c_str(), "rec.dat", "ABC", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Nobody reads: the first write of the child finds the pipe without a reader.
    close(pipeFds[0]);
    close(pipeFds[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class OutputFaults : public testsupport::CatalogueTest {};

TEST_P(OutputFaults, RunFilesItsRecordingWhateverBecomesOfItsMessages) {
    for (Console console : {Console::kClosedPipe, Console::kFullDisk}) {
        SCOPED_TRACE(console == Console::kClosedPipe ? "closed pipe" : "full disk");
        Catalogue().Execute("DELETE FROM FILELIST");
        testsupport::TempDir folder;
        const std::string root = folder.File("archive");
        std::filesystem::create_directory(root);
        folder.Write("korvane.ini", ConfigText(Catalogue(), root, ""));
        recwriter::RecordingSpec spec;
        spec.station = "ABC";
        spec.frames = 12000;
        ASSERT_EQ(recwriter::WriteRecording(folder.File("rec.dat"), spec), "");

        EXPECT_EQ(RunWithConsole(folder.Path(), console), 0);
        const ArchiveState state = Capture(root, Catalogue());
        EXPECT_EQ(state.rows.size(), 3u);
        EXPECT_EQ(BrokenClaims(state, state), std::vector<std::string>{});
    }
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(OutputFaults);

}  // namespace
}  // namespace reliability
