#include "driver/run_sequence.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/file.h>

#include <cstring>
#include <string>

#include "archive/archive_writer.h"
#include "driver/configuration.h"
#include "driver/process_objects.h"
#include "platform/console.h"
#include "platform/file_io.h"
#include "recorder/header_reader.h"
#include "recorder/header_text.h"
#include "recorder/sample_conversion.h"

namespace {

// Start-up of locale and code conversion: the console speaks the locale's encoding (UTF-8
// where none is set), numbers stay in the "C" form so that SQL text always has a dot, and the
// recorder's code page must be one that iconv can decode.
bool InitialisePlatform(const std::string& primaryConfig) {
    if (setlocale(LC_CTYPE, "") == nullptr && setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        setlocale(LC_CTYPE, "C");
    }
    setlocale(LC_NUMERIC, "C");
    return SetRecorderCodePage(ReadRecorderCodePage(primaryConfig));
}

// A driver's error text must not carry the password to the console either.
std::string WithoutPassword(std::string text, const std::string& password) {
    if (password.empty()) return text;
    for (size_t at = text.find(password); at != std::string::npos; at = text.find(password, at + 3)) {
        text.replace(at, password.size(), "***");
    }
    return text;
}

// Opens the recorder file read-write, never creating it, with an exclusive lock that shuts
// out other runs on the same file. Returns an empty owner on failure.
platform::UniqueFd OpenRecorderFile(const char* path) {
    platform::UniqueFd fd(platform::OpenFile(path, O_RDWR));
    if (!fd.Valid()) return fd;
    if (platform::LockFile(fd.Get(), LOCK_EX | LOCK_NB, path) != 0) return platform::UniqueFd();
    return fd;
}

// Keeps the first kStationNameMax bytes of `name`, backing off so that a multibyte character
// is never cut in half.
void SetStationName(const char* name) {
    size_t length = strnlen(name, kStationNameMax + 1);
    if (length > kStationNameMax) {
        length = kStationNameMax;
        while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) --length;
    }
    memcpy(StationName, name, length);
    StationName[length] = '\0';
}

}  // namespace

int RunConversion(int argc, char** argv) {
    if (argc < 3) {
        ConsolePrint("USAGE: %s file_name station_name", kProgramName);
        return -1;
    }
    ConsolePrint("%s %s\nLoad parameters...", kProgramName, kProgramVersion);
    SetStationName(argv[2]);

    const std::string primary = PrimaryConfigPath();
    if (!InitialisePlatform(primary)) {
        ConsolePrint("Fatal Error: MFC initialization failed");
        return -2;
    }

    const DatabaseSettings settings = ReadDatabaseSettings(primary, FallbackConfigPath());
    ConsolePrint("Connect to DB:%s DATA=%s...", settings.shownConnect.c_str(), settings.dataRoot.c_str());
    try {
        CatalogueDatabase.OpenEx(settings.connect);
    } catch (const CDBException& e) {
        std::string text = WithoutPassword(e.m_strError, settings.password);
        while (!text.empty() && text.back() == '\n') text.pop_back();
        ConsolePrintText(text);
    }
    if (!CatalogueDatabase.IsOpen()) {
        ConsolePrint("ERROR: Can't open Database: %s", settings.shownConnect.c_str());
        return -3;
    }

    CArchiveWriter writer(&CatalogueDatabase, kProgramName);
    writer.SetDataRoot(settings.dataRoot.c_str());

    ConsolePrint("Convert file %s (sta=%s)...", argv[1], StationName);
    platform::UniqueFd recorder = OpenRecorderFile(argv[1]);
    if (!recorder.Valid()) {
        ConsolePrint("ERROR: open file %s!!!", argv[1]);
        return -4;
    }

    ConsolePrint("Read header...");
    if (ReadRecordingHeader(recorder.Get(), gRecordingHeader) != 0) {
        ConsolePrint("ERROR: read file %s!!!", argv[1]);
        return -5;
    }

    if (strstr(gRecordingInfo.stationText.c_str(), StationName) == nullptr) {
        ConsolePrint("ERROR: in file %s not found data for %s station\n or file is not BAIKAL-format!!!",
                     argv[1], StationName);
        return -6;
    }

    const StationLimits limits = FindStationLimits(primary, StationName);
    writer.AddStation(StationName, limits.maxMinutes, limits.sizeMB);

    ConsolePrint("Convert data...");
    int status = ConvertSamples(writer, recorder.Get(), gRecordingHeader);
    if (status == 0) ConsolePrint("Done!\n");
    recorder.Close();
    writer.FlushAll();
    return status;
}
