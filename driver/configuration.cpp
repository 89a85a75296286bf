#include "driver/configuration.h"

#include <stdlib.h>
#include <strings.h>

#include <algorithm>

#include <cctype>
#include <climits>

#include "platform/profile.h"

namespace {

// A value counts as missing when it is empty or ends with a backslash: the lookup's default
// is a single backslash, so a missing key and a value ending with one look alike.
bool CountsAsMissing(const std::string& value) { return value.empty() || value.back() == '\\'; }

struct KeySpec {
    const char* section;
    const char* key;
    size_t buffer;           // characters, terminator included
    const char* whenMissing; // nullptr: drop the trailing backslash and use the rest
};

std::string ReadWithFallback(const KeySpec& spec, const std::string& primary,
                             const std::string& fallback) {
    std::string value = GetPrivateProfileString(spec.section, spec.key, "\\", spec.buffer, primary);
    if (!CountsAsMissing(value)) return value;
    value = GetPrivateProfileString(spec.section, spec.key, "\\", spec.buffer, fallback);
    if (!CountsAsMissing(value)) return value;
    if (spec.whenMissing != nullptr) return spec.whenMissing;
    if (!value.empty()) value.pop_back();
    return value;
}

}  // namespace

std::string PrimaryConfigPath() { return "./korvane.ini"; }

std::string FallbackConfigPath() {
    const char* named = getenv("KRO_INI");
    return named != nullptr && *named != '\0' ? named : "/etc/kro.ini";
}

DatabaseSettings ReadDatabaseSettings(const std::string& primary, const std::string& fallback) {
    DatabaseSettings s;
    s.dataSource = ReadWithFallback({"DATABASE", "ODBC", 32, "KRO"}, primary, fallback);
    s.user = ReadWithFallback({"DATABASE", "USER", 32, "KRO"}, primary, fallback);
    s.password = ReadWithFallback({"DATABASE", "PASSWORD", 16, "PLQ"}, primary, fallback);
    s.dataRoot = ReadWithFallback({"DATA", "DIR", 256, nullptr}, primary, fallback);
    std::string head = "DSN=" + s.dataSource + ";UID=" + s.user + ";PWD=";
    s.connect = head + s.password + ";";
    s.shownConnect = head + "***;";
    return s;
}

int32_t ConfigInteger(const std::string& text) {
    const char* p = text.c_str();
    while (isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    long long value = 0;
    for (; isdigit(static_cast<unsigned char>(*p)); ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT32_MAX) + 1) value = static_cast<long long>(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int32_t>(value);
}

namespace {

// The highest n for which the file has a section named STA<n> (-1 when none). A section that
// is not there has an empty NAME, which only an empty station name matches, and that name
// matches STA0 already; so no section past this one can change the search's result, and a
// huge NSTA need not be walked to its end.
int64_t HighestStationSection(const std::string& primary) {
    int64_t highest = -1;
    for (const std::string& name : GetProfileSectionNames(primary)) {
        if (name.size() < 4 || strncasecmp(name.c_str(), "STA", 3) != 0) continue;
        std::string digits = name.substr(3);
        if (digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        if (digits.size() > 1 && digits[0] == '0') continue;  // "%d" never writes a leading zero
        highest = std::max<int64_t>(highest, std::stoll(digits));
    }
    return highest;
}

}  // namespace

StationLimits FindStationLimits(const std::string& primary, const std::string& stationName) {
    StationLimits limits;
    int32_t nsta = ConfigInteger(GetPrivateProfileString("SYSTEM", "NSTA", "1", 256, primary));
    if (nsta == 0) nsta = 1;
    int64_t last = std::min<int64_t>(nsta, std::max<int64_t>(HighestStationSection(primary), 0));
    for (int64_t n = 0; n <= last; ++n) {
        std::string section = "STA" + std::to_string(n);
        std::string name = GetPrivateProfileString(section, "NAME", "", 256, primary);
        if (name.compare(0, stationName.size(), stationName) != 0) continue;
        if (name.size() < stationName.size()) continue;
        limits.maxMinutes = ConfigInteger(GetPrivateProfileString(section, "MAXFILETIME", "60", 256, primary));
        if (limits.maxMinutes == 0) limits.maxMinutes = 60;
        limits.sizeMB = ConfigInteger(GetPrivateProfileString(section, "SIZEMB", "100", 256, primary));
        if (limits.sizeMB == 0) limits.sizeMB = 100;
        break;
    }
    return limits;
}

std::string ReadRecorderCodePage(const std::string& primary) {
    std::string name = GetPrivateProfileString("SYSTEM", "CODEPAGE", "", 256, primary);
    return name.empty() ? "WINDOWS-1251" : name;
}
