#pragma once
// The settings of a run, read from the primary file ./korvane.ini and the shared fallback file
// (the file named by KRO_INI, else /etc/kro.ini).

#include <cstdint>
#include <string>

struct DatabaseSettings {
    std::string dataSource;  // ODBC data source name (DSN)
    std::string user;
    std::string password;
    std::string dataRoot;    // directory under which the segment files lie
    std::string connect;     // "DSN=...;UID=...;PWD=...;", handed to ODBC
    std::string shownConnect;  // the same with the password shown as ***, for the console
};

struct StationLimits {
    int32_t maxMinutes = 60;  // longest span of one segment file, in minutes
    int32_t sizeMB = 100;     // storage limit of the station; negative means no limit
};

// Paths of the two configuration files.
std::string PrimaryConfigPath();
std::string FallbackConfigPath();

// Reads DSN, user, password and data root (each from the primary file, then the fallback file
// where the primary value is missing, empty or ends with a backslash) and builds the connect
// string. Never fails: missing values take their defaults.
DatabaseSettings ReadDatabaseSettings(const std::string& primary, const std::string& fallback);

// Finds the first section STA0..STA<NSTA> of the primary file whose NAME begins with
// `stationName` and returns its MAXFILETIME and SIZEMB; 60 and 100 when none matches.
StationLimits FindStationLimits(const std::string& primary, const std::string& stationName);

// The recorder code page named by CODEPAGE in section SYSTEM of the primary file
// ("WINDOWS-1251" when missing or empty).
std::string ReadRecorderCodePage(const std::string& primary);

// A decimal integer as the configuration reads it: leading white space, an optional sign and
// digits up to the first other character; 0 when there are no digits. Clamped to 32 bits.
int32_t ConfigInteger(const std::string& text);
