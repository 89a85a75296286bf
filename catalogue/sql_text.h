#pragma once
// SQL text built by formatting: text values quoted, numbers in the "C" locale.

#include <string>

// `value` ready to stand between single quotes in SQL text: every single quote doubled.
std::string SqlQuote(const std::string& value);

// Formats by printf rules with the "C" locale's decimal point, whatever the process's
// locale, and without any length limit. Text values must have passed through SqlQuote.
[[gnu::format(printf, 1, 2)]] std::string SqlFormat(const char* format, ...);

// The number that `value` written with "%f" into SQL text stands for: `value` rounded to six
// decimals, as the data source reads such a literal. Bound in its place as a parameter, it
// selects what the literal would.
double SqlFixedPointValue(double value);
