#pragma once
// The one way to the console. Each call writes one whole message followed by a line feed.

#include <functional>
#include <string_view>

// Formats `format` by printf rules and writes the result plus one line feed to standard
// output in one write. Returns 0 when written, -1 when the write failed. A message of any
// length is written whole.
[[gnu::format(printf, 1, 2)]] int ConsolePrint(const char* format, ...);

// Writes `text` unchanged (never read as a format) plus one line feed. Returns as ConsolePrint.
int ConsolePrintText(std::string_view text);

// Where console messages go. A sink receives one whole message, its line feed included, and
// returns 0 on success or -1. Tests install one; an empty function restores standard output.
using ConsoleSink = std::function<int(std::string_view message)>;
void SetConsoleSink(ConsoleSink sink);
