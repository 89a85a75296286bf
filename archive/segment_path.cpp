#include "archive/segment_path.h"

#include <algorithm>

std::string DiskPathOf(const std::string& dataRoot, const std::string& cataloguePath) {
    std::string path = dataRoot + "\\" + cataloguePath;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool IsInsideDataRoot(const std::string& cataloguePath) {
    const std::string& path = cataloguePath;
    if (!path.empty() && (path.front() == '\\' || path.front() == '/')) return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}
