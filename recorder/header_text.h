#pragma once
// Text fields of the recorder header: the fixed-width cuts, and the decoding from the
// recorder's 8-bit code page into upper-cased UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Selects the code page (an iconv name such as "WINDOWS-1251") of the text in recorder
// headers. Returns false, and keeps the code page in use, when iconv cannot convert between
// it and Unicode or when it does not keep printable ASCII as it is. Until a call succeeds,
// Windows-1251 is used. Prints nothing.
bool SetRecorderCodePage(const std::string& iconvName);

// Replaces the blanks at the end of the `width`-character field by NULs, from position
// width - 1 toward 0, stopping at the first character that is not a blank (a NUL counts as
// not a blank). Does nothing when width is 0.
void TrimTrailingBlanks(char* text, size_t width);

// Ends the text at its first blank or dot: scanning positions 0 to width - 1, every blank
// becomes a NUL, and the first dot becomes a NUL and ends the scan.
void CutAtBlankOrDot(char* text, size_t width);

// Decodes 8-bit text in the recorder's code page into UTF-8. A byte or sequence that the code
// page does not define becomes U+FFFD.
std::string DecodeRecorderText(std::string_view text);

// Upper-cases UTF-8 text as the recorder's code page does: ASCII letters and those letters of
// the code page whose capital is in the code page too. Other characters stay as they are.
std::string UpperCaseRecorderText(std::string_view utf8);

// The station text of a 32-byte station field: the bytes up to the first NUL, trailing blanks
// removed, cut at the first blank or dot, decoded and upper-cased.
std::string StationTextFromField(const uint8_t* field);

// The channel name of a 32-byte name field: the bytes up to the first NUL, trailing blanks
// removed (inner blanks and dots stay), decoded and upper-cased.
std::string ChannelNameFromField(const uint8_t* field);
