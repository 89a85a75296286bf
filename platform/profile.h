#pragma once
// Reading of private-profile (INI) files with the rules the configuration relies on:
// - section and key names match without regard to case; the first section of a name, and the
//   first key of a name within it, win;
// - blanks (space, tab, vertical tab) around keys and values are trimmed; a value in matching
//   double or single quotes loses the outermost pair;
// - a line whose first non-blank character is ';' is a comment; lines before the first section
//   and lines without '=' are ignored; LF and CR LF line ends are both read;
// - a missing file, section or key gives the default;
// - the result is cut to bufferSize - 1 characters, as a value copied into a buffer of that size.
// The files are only read, never written.

#include <cstddef>
#include <string>
#include <vector>

// Returns the value of `key` in `section` of the file at `path`, or `defaultValue` when the file,
// section or key is missing, cut to `bufferSize` - 1 characters (empty when bufferSize is 0).
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, size_t bufferSize,
                                    const std::string& path);

// The same lookup over the text of a profile file already in memory.
std::string GetProfileStringFromText(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, size_t bufferSize,
                                     const std::string& text, bool fileExists = true);

// Names of the sections of the file at `path`, in file order (empty when it cannot be read).
std::vector<std::string> GetProfileSectionNames(const std::string& path);
