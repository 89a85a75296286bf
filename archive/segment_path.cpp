#include "archive/segment_path.h"

#include <algorithm>

std::string DiskPathOf(const std::string& dataRoot, const std::string& cataloguePath) {
    std::string path = dataRoot + "\\" + cataloguePath;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}
