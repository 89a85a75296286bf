#include "catalogue/sql_text.h"

#include <locale.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

std::string SqlQuote(const std::string& value) {
    std::string quoted;
    quoted.reserve(value.size());
    for (char c : value) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted;
}

namespace {

// Switches this thread to the "C" locale while it lives, so that %f writes a dot.
class CLocaleScope {
  public:
    CLocaleScope() : previous_(cLocale ? uselocale(cLocale) : nullptr) {}
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;
    ~CLocaleScope() {
        if (previous_ != nullptr) uselocale(previous_);
    }

  private:
    static inline const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    locale_t previous_;
};

}  // namespace

std::string SqlFormat(const char* format, ...) {
    CLocaleScope cLocale;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length));
        vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

double SqlFixedPointValue(double value) {
    const std::string literal = SqlFormat("%f", value);
    CLocaleScope cLocale;
    // strtod rounds correctly, as the data sources read a numeric literal.
    return strtod(literal.c_str(), nullptr);
}
