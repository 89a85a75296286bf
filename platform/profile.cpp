#include "platform/profile.h"

#include <strings.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The lookup arguments lose leading and trailing spaces only (not tabs).
std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value.remove_prefix(1);
        value.remove_suffix(1);
    }
    return value;
}

std::string_view NextLine(std::string_view& text) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The value of key in the first section named `section`, if both are there.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
    bool sectionSeen = false;
    bool inSection = false;
    while (!text.empty()) {
        std::string_view line = Trim(NextLine(text));
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (inSection) return std::nullopt;  // only the first section of the name counts
            size_t close = line.find(']');
            std::string_view name = Trim(line.substr(1, close == std::string_view::npos
                                                            ? std::string_view::npos
                                                            : close - 1));
            inSection = !sectionSeen && SameName(name, section);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection) continue;
        size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (SameName(Trim(line.substr(0, equals)), key)) {
            return Unquote(Trim(line.substr(equals + 1)));
        }
    }
    return std::nullopt;
}

std::string CutToBuffer(std::string_view value, size_t bufferSize) {
    if (bufferSize == 0) return std::string();
    return std::string(value.substr(0, bufferSize - 1));
}

}  // namespace

std::string GetProfileStringFromText(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, size_t bufferSize,
                                     const std::string& text, bool fileExists) {
    if (fileExists) {
        if (auto value = FindValue(text, TrimSpaces(section), TrimSpaces(key))) {
            return CutToBuffer(*value, bufferSize);
        }
    }
    std::string_view fallback = defaultValue;
    while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
    return CutToBuffer(fallback, bufferSize);
}

namespace {

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

std::vector<std::string> GetProfileSectionNames(const std::string& path) {
    std::vector<std::string> names;
    std::optional<std::string> content = ReadWholeFile(path);
    if (!content) return names;
    std::string_view text = *content;
    while (!text.empty()) {
        std::string_view line = Trim(NextLine(text));
        if (line.empty() || line.front() != '[') continue;
        size_t close = line.find(']');
        names.emplace_back(Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
    }
    return names;
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, size_t bufferSize,
                                    const std::string& path) {
    std::optional<std::string> content = ReadWholeFile(path);
    return GetProfileStringFromText(section, key, defaultValue, bufferSize, content.value_or(""),
                                    content.has_value());
}
