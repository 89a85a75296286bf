#pragma once
// Thin wrappers over the POSIX file calls used for segment files and the recorder file.
// Every call retries on EINTR; opens add O_CLOEXEC. All of them pass through one fault seam
// (SetFileFaultHook) so that tests can make the n-th call fail or stop the process there.

#include <sys/types.h>

#include <cstddef>

namespace platform {

enum class FileCall { Open, Read, Write, Close, Mkdir, Unlink, Truncate, Lock, Seek };

// A hook is asked before every call: it returns 0 to let the call run, or an errno value
// that the call then fails with (without running). Null by default; settable only from code.
using FileFaultHook = int (*)(FileCall call, const char* path);
void SetFileFaultHook(FileFaultHook hook);

// open(2) with O_CLOEXEC added. Returns the descriptor or -1 with errno set.
int OpenFile(const char* path, int flags, mode_t mode = 0666);
// Reads up to n bytes, looping over short reads until n bytes or end of file.
// Returns the number of bytes read, or -1 with errno set.
ssize_t ReadFull(int fd, void* data, size_t n);
// Writes all n bytes, looping over short writes. Returns 0 when all were written, else -1
// with errno set (a partial write may have reached the file).
int WriteFull(int fd, const void* data, size_t n);
// close(2), not retried. Returns 0 or -1 with errno set.
int CloseFile(int fd);
// mkdir(2). Returns 0 or -1 with errno set.
int MakeDir(const char* path, mode_t mode = 0777);
// unlink(2). Returns 0 or -1 with errno set.
int RemoveFile(const char* path);
// ftruncate(2). Returns 0 or -1 with errno set.
int TruncateFile(int fd, off_t length, const char* path);
// flock(2) with the given operation. Returns 0 or -1 with errno set.
int LockFile(int fd, int operation, const char* path);
// lseek(2). Returns the new offset or -1 with errno set.
off_t SeekFile(int fd, off_t offset, int whence, const char* path);

// Owns one file descriptor; -1 means empty. Closing in the destructor ignores the result:
// a writer that cares calls Close() and checks it.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Gives up ownership without closing.
    int Release();
    // Closes now; returns CloseFile's result (0 for an empty owner).
    int Close();

private:
    int fd_ = -1;
};

}  // namespace platform
