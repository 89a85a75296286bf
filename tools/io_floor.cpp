// io-floor: the least work a run of korvane cannot avoid, timed by the benchmark beside it.
//
//   io-floor INPUT OUTPUT BYTES [PIECE_BYTES]
//
// Reads the whole INPUT file in one read (as the run reads the recorder file) and writes
// BYTES bytes to OUTPUT (created or cut to nothing) in writes of PIECE_BYTES bytes (default
// 20000: 5000 float samples), taken from the data read. The output is closed and checked,
// never synced, as the run leaves its segment files.

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/file_io.h"

namespace {

constexpr const char* kUsage = "usage: io-floor INPUT OUTPUT BYTES [PIECE_BYTES]\n";

// A whole number from the command line, or -1 when it is not one.
long long ParseCount(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno == ERANGE || value < 0) return -1;
    return value;
}

int Fail(const char* what, const char* path) {
    std::fprintf(stderr, "io-floor: %s '%s': %s\n", what, path, std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const char* inputPath = argv[1];
    const char* outputPath = argv[2];
    const long long total = ParseCount(argv[3]);
    const long long piece = argc == 5 ? ParseCount(argv[4]) : 5000 * 4;
    if (total < 0 || piece <= 0) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    platform::UniqueFd input(platform::OpenFile(inputPath, O_RDONLY));
    struct stat status {};
    if (!input.Valid() || fstat(input.Get(), &status) != 0) return Fail("cannot open", inputPath);
    const auto length = static_cast<size_t>(status.st_size);
    auto data = std::make_unique_for_overwrite<char[]>(std::max<size_t>(length, 1));
    if (platform::ReadFull(input.Get(), data.get(), length) != static_cast<ssize_t>(length))
        return Fail("cannot read", inputPath);
    input.Close();

    platform::UniqueFd output(platform::OpenFile(outputPath, O_WRONLY | O_CREAT | O_TRUNC));
    if (!output.Valid()) return Fail("cannot create", outputPath);
    // Pieces come from the data read, wrapping round at its end, so that every byte written
    // was first read, as the run's samples are.
    size_t from = 0;
    for (long long left = total; left > 0;) {
        const auto n = static_cast<size_t>(std::min(left, piece));
        const char* source = data.get();
        std::unique_ptr<char[]> wrapped;
        if (length >= n) {
            if (from + n > length) from = 0;
            source += from;
            from += n;
        } else {
            wrapped = std::make_unique<char[]>(n);  // an input shorter than one piece
            source = wrapped.get();
        }
        if (platform::WriteFull(output.Get(), source, n) != 0) return Fail("cannot write", outputPath);
        left -= static_cast<long long>(n);
    }
    if (output.Close() != 0) return Fail("cannot close", outputPath);
    return 0;
}
