// Feeds arbitrary text to the profile reader as the content of a configuration file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static const char* const kSections[] = {"DATABASE", "DATA", "SYSTEM", "STA0", "sta1", " A "};
    static const char* const kKeys[] = {"ODBC", "PASSWORD", "DIR", "NSTA", "NAME", "k"};
    static const size_t kBuffers[] = {0, 1, 16, 32, 256};
    for (const char* section : kSections) {
        for (const char* key : kKeys) {
            for (size_t buffer : kBuffers) {
                std::string value = GetProfileStringFromText(section, key, "\\", buffer, text);
                if (buffer > 0 && value.size() > buffer - 1) __builtin_trap();
                if (buffer == 0 && !value.empty()) __builtin_trap();
            }
        }
    }
    return 0;
}
