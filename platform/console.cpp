#include "platform/console.h"

#include <stdarg.h>
#include <stdio.h>

#include <string>
#include <utility>

namespace {

// Messages of up to this many characters are formatted on the stack; longer ones are
// formatted again into a heap string so that they arrive whole.
constexpr size_t kWorkingBuffer = 16000;

ConsoleSink& Sink() {
    static ConsoleSink sink;
    return sink;
}

// Writes one whole message (its line feed included) to standard output in one locked
// operation, flushed at once also into a file or pipe: the log of an unattended run must show
// a run waiting for its station while it waits, and keep every line printed before a kill.
int WriteToStdout(std::string_view message) {
    flockfile(stdout);
    size_t written = fwrite_unlocked(message.data(), 1, message.size(), stdout);
    bool ok = written == message.size();
    if (fflush_unlocked(stdout) != 0) ok = false;
    funlockfile(stdout);
    return ok ? 0 : -1;
}

int Emit(std::string_view message) {
    if (Sink()) return Sink()(message);
    return WriteToStdout(message);
}

}  // namespace

void SetConsoleSink(ConsoleSink sink) { Sink() = std::move(sink); }

int ConsolePrint(const char* format, ...) {
    char buffer[kWorkingBuffer];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = vsnprintf(buffer, sizeof buffer - 1, format, args);  // room for the line feed
    va_end(args);
    if (length < 0) {
        va_end(again);
        return -1;
    }
    if (static_cast<size_t>(length) < sizeof buffer - 1) {
        va_end(again);
        buffer[length] = '\n';
        return Emit(std::string_view(buffer, static_cast<size_t>(length) + 1));
    }
    std::string whole(static_cast<size_t>(length) + 1, '\0');
    vsnprintf(whole.data(), whole.size(), format, again);
    va_end(again);
    whole.back() = '\n';
    return Emit(whole);
}

int ConsolePrintText(std::string_view text) {
    if (text.size() < kWorkingBuffer) {
        char buffer[kWorkingBuffer];
        text.copy(buffer, text.size());
        buffer[text.size()] = '\n';
        return Emit(std::string_view(buffer, text.size() + 1));
    }
    std::string whole(text);
    whole += '\n';
    return Emit(whole);
}
