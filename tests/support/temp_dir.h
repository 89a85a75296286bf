#pragma once
// A temporary folder removed with everything in it when the owner goes.

#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::string& Path() const { return path_; }
    // Path of `name` inside the folder.
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Writes `content` to `name` inside the folder and returns its path.
    std::string Write(const std::string& name, const std::string& content) const;

private:
    std::string path_;
};

// Whole content of a file ("" when it cannot be read).
std::string ReadFileBytes(const std::string& path);

}  // namespace testsupport
