#pragma once
// SQL text built by formatting: text values quoted, numbers in the "C" locale.

#include <string>

// `value` ready to stand between single quotes in SQL text: every single quote doubled.
std::string SqlQuote(const std::string& value);

// Formats by printf rules with the "C" locale's decimal point, whatever the process's
// locale, and without any length limit. Text values must have passed through SqlQuote.
[[gnu::format(printf, 1, 2)]] std::string SqlFormat(const char* format, ...);
