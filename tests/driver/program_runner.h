#pragma once
// Runs the built korvane in a folder of its own, with a korvane.ini written by the test, over a
// throwaway catalogue; helpers to write recordings there.

#include <string>
#include <vector>

#include "tests/support/odbc_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/recording_writer.h"

namespace testsupport {

class KorvaneFolder {
public:
    KorvaneFolder() = default;

    // The data root the written korvane.ini names.
    std::string Archive() const { return dir.File("archive"); }

    // Writes korvane.ini pointing at `catalogue` with `dataRoot` and the given station sections
    // text (e.g. "[STA0]\nNAME=ABC\nSIZEMB=1\n").
    void Configure(const TestCatalogue& catalogue, const std::string& dataRoot,
                   const std::string& stations = "") const {
        dir.Write("korvane.ini", "[DATABASE]\nODBC=" + catalogue.Dsn() + "\nUSER=" + catalogue.Uid() +
                                     "\nPASSWORD=" + catalogue.Pwd() + "\n[DATA]\nDIR=" + dataRoot +
                                     "\n[SYSTEM]\nNSTA=9\n" + stations);
    }

    // Writes a recording named `name` into the folder and returns its path.
    std::string Recording(const std::string& name, const recwriter::RecordingSpec& spec) const {
        std::string path = dir.File(name);
        std::string error = recwriter::WriteRecording(path, spec);
        if (!error.empty()) ADD_FAILURE() << error;
        return path;
    }

    // Runs korvane with `args` in the folder.
    ProgramResult Run(const std::vector<std::string>& args,
                      std::vector<std::pair<std::string, std::string>> env = {}) const {
        env.emplace_back("KRO_INI", dir.File("kro.ini"));
        return RunProgram({BuiltProgram("korvane"), args, dir.Path(), env});
    }

    TempDir dir;
};

// Splits console output into lines (the last line feed ends the last line).
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace testsupport
