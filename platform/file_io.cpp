#include "platform/file_io.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

FileFaultHook faultHook = nullptr;

// Returns the errno a test wants this call to fail with, or 0.
inline int InjectedFault(FileCall call, const char* path) {
    if (faultHook == nullptr) return 0;
    return faultHook(call, path);
}

}  // namespace

void SetFileFaultHook(FileFaultHook hook) { faultHook = hook; }

int OpenFile(const char* path, int flags, mode_t mode) {
    if (int err = InjectedFault(FileCall::Open, path)) {
        errno = err;
        return -1;
    }
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

ssize_t ReadFull(int fd, void* data, size_t n) {
    if (int err = InjectedFault(FileCall::Read, nullptr)) {
        errno = err;
        return -1;
    }
    auto* p = static_cast<char*>(data);
    size_t done = 0;
    while (done < n) {
        ssize_t got = ::read(fd, p + done, n - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

int WriteFull(int fd, const void* data, size_t n) {
    if (int err = InjectedFault(FileCall::Write, nullptr)) {
        errno = err;
        return -1;
    }
    auto* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t put = ::write(fd, p, n);
        if (put < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        p += put;
        n -= static_cast<size_t>(put);
    }
    return 0;
}

int CloseFile(int fd) {
    if (int err = InjectedFault(FileCall::Close, nullptr)) {
        ::close(fd);  // the descriptor is released all the same, as a failed close(2) does
        errno = err;
        return -1;
    }
    return ::close(fd);
}

int MakeDir(const char* path, mode_t mode) {
    if (int err = InjectedFault(FileCall::Mkdir, path)) {
        errno = err;
        return -1;
    }
    return ::mkdir(path, mode);
}

int RemoveFile(const char* path) {
    if (int err = InjectedFault(FileCall::Unlink, path)) {
        errno = err;
        return -1;
    }
    return ::unlink(path);
}

int TruncateFile(int fd, off_t length, const char* path) {
    if (int err = InjectedFault(FileCall::Truncate, path)) {
        errno = err;
        return -1;
    }
    int rc;
    do {
        rc = ::ftruncate(fd, length);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

int LockFile(int fd, int operation, const char* path) {
    if (int err = InjectedFault(FileCall::Lock, path)) {
        errno = err;
        return -1;
    }
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

off_t SeekFile(int fd, off_t offset, int whence, const char* path) {
    if (int err = InjectedFault(FileCall::Seek, path)) {
        errno = err;
        return -1;
    }
    return ::lseek(fd, offset, whence);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

UniqueFd::~UniqueFd() { Close(); }

int UniqueFd::Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

int UniqueFd::Close() {
    if (fd_ < 0) return 0;
    return CloseFile(Release());
}

}  // namespace platform
