#include "tests/reliability/reliability_support.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "driver/process_objects.h"
#include "driver/run_sequence.h"
#include "platform/console.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/recording_writer.h"

namespace reliability {

namespace fs = std::filesystem;
using testsupport::CatalogueRow;

ArchiveState Capture(const std::string& root, testsupport::TestCatalogue& catalogue) {
    ArchiveState state;
    if (fs::exists(root)) {
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            state.files[fs::relative(entry.path(), root).string()] =
                testsupport::ReadFileBytes(entry.path().string());
        }
    }
    state.rows = catalogue.Rows();
    for (CatalogueRow& row : state.rows) row.lddate.clear();
    return state;
}

void Restore(const ArchiveState& state, const std::string& root,
             testsupport::TestCatalogue& catalogue) {
    fs::remove_all(root);
    fs::create_directories(root);
    for (const auto& [path, bytes] : state.files) {
        fs::path full = fs::path(root) / path;
        fs::create_directories(full.parent_path());
        std::ofstream out(full, std::ios::binary);
        out << bytes;
        if (!out.flush()) throw std::runtime_error("cannot write " + full.string());
    }
    catalogue.Execute("DELETE FROM FILELIST");
    for (CatalogueRow row : state.rows) {
        row.lddate = "2003-01-01 00:00:00";
        catalogue.Insert(row);
    }
}

std::string Difference(const ArchiveState& expected, const ArchiveState& actual) {
    std::ostringstream out;
    std::set<std::string> paths;
    for (const auto& [path, bytes] : expected.files) paths.insert(path);
    for (const auto& [path, bytes] : actual.files) paths.insert(path);
    for (const std::string& path : paths) {
        auto want = expected.files.find(path);
        auto got = actual.files.find(path);
        if (want == expected.files.end()) {
            out << "file " << path << " should not exist\n";
        } else if (got == actual.files.end()) {
            out << "file " << path << " is missing\n";
        } else if (want->second != got->second) {
            out << "file " << path << " has " << got->second.size() << " bytes, not the "
                << want->second.size() << " expected"
                << (got->second.size() == want->second.size() ? " (content differs)" : "") << "\n";
        }
    }
    for (const CatalogueRow& row : expected.rows) {
        if (std::find(actual.rows.begin(), actual.rows.end(), row) == actual.rows.end())
            out << "row missing: " << ::testing::PrintToString(row) << "\n";
    }
    for (const CatalogueRow& row : actual.rows) {
        if (std::find(expected.rows.begin(), expected.rows.end(), row) == expected.rows.end())
            out << "row unexpected: " << ::testing::PrintToString(row) << "\n";
    }
    return out.str();
}

std::string Shortfall(const ArchiveState& expected, const ArchiveState& actual) {
    ArchiveState within = actual;
    for (auto file = within.files.begin(); file != within.files.end();) {
        file = expected.files.count(file->first) == 0 ? within.files.erase(file) : std::next(file);
    }
    std::erase_if(within.rows, [&](const CatalogueRow& row) {
        return std::find(expected.rows.begin(), expected.rows.end(), row) == expected.rows.end();
    });
    return Difference(expected, within);
}

int64_t ClaimedBytes(const CatalogueRow& row) {
    return 512 + 4 * static_cast<int64_t>(std::llround(row.tqty * row.sps));
}

std::vector<std::string> BrokenClaims(const ArchiveState& state, const ArchiveState& reference) {
    std::vector<std::string> broken;
    for (const CatalogueRow& row : state.rows) {
        std::string path = row.cpath;
        std::replace(path.begin(), path.end(), '\\', '/');
        const int64_t claimed = ClaimedBytes(row);
        auto file = state.files.find(path);
        if (file == state.files.end()) {
            broken.push_back("row of missing file " + path);
            continue;
        }
        const std::string& bytes = file->second;
        if (static_cast<int64_t>(bytes.size()) < claimed) {
            broken.push_back("row of " + path + " claims " + std::to_string(claimed) +
                             " bytes, the file has " + std::to_string(bytes.size()));
            continue;
        }
        auto known = reference.files.find(path);
        if (known != reference.files.end() &&
            bytes.compare(0, static_cast<size_t>(claimed), known->second, 0,
                          static_cast<size_t>(claimed)) != 0) {
            broken.push_back("the " + std::to_string(claimed) + " bytes of " + path +
                             " that its row claims differ from an undisturbed run's");
        }
    }
    return broken;
}

int DropRowlessFiles(const ArchiveState& end, ArchiveState* state, const ArchiveState* start) {
    int dropped = 0;
    for (auto file = state->files.begin(); file != state->files.end();) {
        std::string cpath = file->first;
        std::replace(cpath.begin(), cpath.end(), '/', '\\');
        const bool hasRow =
            std::any_of(state->rows.begin(), state->rows.end(),
                        [&](const CatalogueRow& row) { return row.cpath == cpath; });
        bool asStarted = true;
        if (start != nullptr) {
            auto before = start->files.find(file->first);
            asStarted = before != start->files.end() && before->second == file->second;
        }
        if (end.files.count(file->first) == 0 && !hasRow && asStarted) {
            file = state->files.erase(file);
            ++dropped;
        } else {
            ++file;
        }
    }
    return dropped;
}

ChildRun RunInChild(const std::string& folder, const std::vector<std::string>& args,
                    void (*prepare)(), void (*finish)()) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    fflush(nullptr);  // nothing buffered in this process may be written twice
    pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        close(pipeFds[0]);
        const int out = pipeFds[1];
        if (chdir(folder.c_str()) != 0) _exit(126);
        setenv("KRO_INI", "/nonexistent/kro.ini", 1);
        unsetenv("PGPASSWORD");
        // Written here rather than with platform::WriteFull, which passes the fault hook: the
        // run's messages must not count among the file calls a test fails or kills at.
        SetConsoleSink([out](std::string_view message) {
            const char* p = message.data();
            size_t left = message.size();
            while (left > 0) {
                ssize_t put = write(out, p, left);
                if (put < 0) {
                    if (errno == EINTR) continue;
                    return -1;
                }
                p += put;
                left -= static_cast<size_t>(put);
            }
            return 0;
        });
        if (prepare != nullptr) prepare();
        std::vector<std::string> owned = args;
        std::vector<char*> argv{const_cast<char*>("korvane")};
        for (std::string& arg : owned) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int status = RunConversion(static_cast<int>(argv.size() - 1), argv.data());
        if (finish != nullptr) finish();
        // What the process's exit would do, without this test process's exit handlers.
        gChannelTable.Clear();
        CatalogueDatabase.Close();
        _exit(status & 0xFF);
    }
    close(pipeFds[1]);
    ChildRun run;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got > 0) {
            run.out.append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    return run;
}

BackgroundRun::BackgroundRun(const std::string& folder, const std::vector<std::string>& args,
                             const std::string& output)
    : output_(output) {
    const std::string program = testsupport::BuiltProgram("korvane");
    std::vector<std::string> owned = args;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& arg : owned) argv.push_back(arg.data());
    argv.push_back(nullptr);
    fflush(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || chdir(folder.c_str()) != 0) _exit(126);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        setenv("KRO_INI", "/nonexistent/kro.ini", 1);
        unsetenv("PGPASSWORD");
        execv(program.c_str(), argv.data());
        _exit(127);
    }
}

BackgroundRun::~BackgroundRun() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        Wait();
    }
}

std::string BackgroundRun::Output() const {
    return testsupport::ReadFileBytes(output_);
}

bool BackgroundRun::Prints(const std::string& text) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Output().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int BackgroundRun::Wait() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ConfigText(const testsupport::TestCatalogue& catalogue, const std::string& dataRoot,
                       const std::string& stations) {
    return "[DATABASE]\nODBC=" + catalogue.Dsn() + "\nUSER=" + catalogue.Uid() +
           "\nPASSWORD=" + catalogue.Pwd() + "\n[DATA]\nDIR=" + dataRoot + "\n[SYSTEM]\nNSTA=9\n" +
           stations;
}

bool SanitizerBuild() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return false;
#endif
}

FilingScenario::FilingScenario(const testsupport::TestCatalogue& catalogue)
    : root_(folder_.File("archive")) {
    folder_.Write("korvane.ini",
                  ConfigText(catalogue, root_, "[STA0]\nNAME=ABC\nMAXFILETIME=2\nSIZEMB=1\n"));
    recwriter::RecordingSpec spec;
    spec.station = "ABC";
    spec.day = 2;
    spec.frames = 16000;
    const std::string error = recwriter::WriteRecording(folder_.File("rec.dat"), spec);
    if (!error.empty()) throw std::runtime_error(error);

    // 2003-02-01 00:00:00, 2350 s at 100 samples per second.
    before_.files["ABC/00/01022003-000000-BHZ.ABC"] =
        std::string(512, 'H') + std::string(2350 * 100 * 4, '\x01');
    before_.rows.push_back({"ABC", 100, 1, "ABC\\00\\01022003-000000-BHZ.ABC", 3, "BHZ",
                            "Korvane_c", "", 12084 * 86400.0, 2350, 512});
}

ChildRun FilingScenario::Convert(void (*prepare)(), void (*finish)()) const {
    return RunInChild(folder_.Path(), {"rec.dat", "ABC"}, prepare, finish);
}

}  // namespace reliability
