// bench-timer: runs one command and reports what it cost.
//
//   bench-timer RESULT_FILE COMMAND [ARGUMENT...]
//
// Runs COMMAND with its arguments (searched in PATH; standard input, output and error
// inherited) and writes one line to RESULT_FILE:
//
//   <wall seconds> <user seconds> <system seconds> <peak resident KiB> <exit status>
//
// Wall time is taken on the monotonic clock around fork and wait; user and system time and
// the peak resident set come from the child's resource usage. The exit status is the
// command's own, or 128 + the signal that ended it. bench-timer exits with that status too.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: bench-timer RESULT_FILE COMMAND [ARGUMENT...]\n", stderr);
        return 2;
    }
    std::FILE* result = std::fopen(argv[1], "w");
    if (result == nullptr) {
        std::fprintf(stderr, "bench-timer: cannot write '%s': %s\n", argv[1], std::strerror(errno));
        return 2;
    }

    const double started = Now();
    const pid_t child = fork();
    if (child < 0) {
        std::fprintf(stderr, "bench-timer: fork: %s\n", std::strerror(errno));
        return 2;
    }
    if (child == 0) {
        std::fclose(result);
        execvp(argv[2], argv + 2);
        std::fprintf(stderr, "bench-timer: cannot run '%s': %s\n", argv[2], std::strerror(errno));
        _exit(127);
    }

    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "bench-timer: wait: %s\n", std::strerror(errno));
            return 2;
        }
    }
    const double wall = Now() - started;
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::fprintf(result, "%.6f %.6f %.6f %ld %d\n", wall, Seconds(usage.ru_utime),
                 Seconds(usage.ru_stime), usage.ru_maxrss, exitStatus);
    if (std::fclose(result) != 0) {
        std::fprintf(stderr, "bench-timer: cannot write '%s': %s\n", argv[1], std::strerror(errno));
        return 2;
    }
    return exitStatus;
}
