#pragma once
// Runs a program of the build as a child process and collects what it printed.

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct ProgramResult {
    int exitCode = -1;     // the exit code, or -1 when the process did not exit normally
    int signal = 0;        // the signal that ended it, if any
    std::string out;       // everything written to stdout
    std::string err;       // everything written to stderr
};

struct ProgramRun {
    std::string program;                 // path of the executable
    std::vector<std::string> args;       // arguments after the program's name
    std::string workingDirectory;        // "" keeps the current one
    std::vector<std::pair<std::string, std::string>> env;  // set (or, with value "\x01", unset)
};

// Path of a program built into the build directory (e.g. "korvane", "make-recording").
std::string BuiltProgram(const std::string& name);

// Runs `run` to its end. Stdin is /dev/null. PGPASSWORD is always unset for the child, so that
// libpq never takes a password from the environment.
ProgramResult RunProgram(const ProgramRun& run);

// The value that unsets a variable in ProgramRun::env.
inline const std::string kUnset = "\x01";

}  // namespace testsupport
