// Feeds arbitrary bytes to the header reader and the sample conversion as a recorder file.
// The series go to an in-process sink that checks what it is handed.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "driver/process_objects.h"
#include "platform/console.h"
#include "recorder/header_reader.h"
#include "recorder/sample_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int fd = [] {
        SetConsoleSink([](std::string_view) { return 0; });
        return memfd_create("recording", 0);
    }();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    lseek(fd, 0, SEEK_SET);

    RecordingHeader header;
    if (ReadRecordingHeader(fd, header) != 0) return 0;
    int64_t handedOver = 0;
    const SeriesSink sink = [&](const char*, const char*, double rate, double start, int32_t count,
                                const float* samples) {
        // A series is only ever handed over with a usable rate and start, and whole.
        if (!(rate >= 1) || !std::isfinite(start) || count < 0) __builtin_trap();
        volatile float sum = 0;
        for (int32_t i = 0; i < count; ++i) sum = sum + samples[i];
        handedOver += count;
    };
    int status = ConvertSamplesTo(sink, fd, header);
    if (status != 0 && handedOver != 0) __builtin_trap();
    if (status == 0 && handedOver != gRecordingInfo.nsamp * gRecordingInfo.nch) __builtin_trap();
    return 0;
}
