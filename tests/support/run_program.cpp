#include "tests/support/run_program.h"

#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {

std::string BuiltProgram(const std::string& name) { return std::string(KORVANE_BINARY_DIR) + "/" + name; }

namespace {

void DrainInto(int fd, std::string& sink, bool& open) {
    char buffer[65536];
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
        sink.append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
        open = false;
    }
}

}  // namespace

ProgramResult RunProgram(const ProgramRun& run) {
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
    pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(errPipe[0]);
        close(outPipe[1]);
        close(errPipe[1]);
        if (freopen("/dev/null", "r", stdin) == nullptr) _exit(125);
        unsetenv("PGPASSWORD");
        for (const auto& [name, value] : run.env) {
            if (value == kUnset) {
                unsetenv(name.c_str());
            } else {
                setenv(name.c_str(), value.c_str(), 1);
            }
        }
        if (!run.workingDirectory.empty() && chdir(run.workingDirectory.c_str()) != 0) _exit(126);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(run.program.c_str()));
        for (const std::string& arg : run.args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(run.program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    ProgramResult result;
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0}, {errOpen ? errPipe[0] : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents != 0) DrainInto(outPipe[0], result.out, outOpen);
        if (fds[1].revents != 0) DrainInto(errPipe[0], result.err, errOpen);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

}  // namespace testsupport
