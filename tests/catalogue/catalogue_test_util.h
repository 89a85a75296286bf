#pragma once
// Helpers shared by the catalogue tests.

#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/console.h"
#include "tests/support/odbc_fixture.h"

namespace catalogue_test {

// The creator name the tool writes into its rows.
inline constexpr const char* kCreator = "Korvane_c";

// Collects every console message while it lives.
class ConsoleCapture {
  public:
    ConsoleCapture() {
        SetConsoleSink([this](std::string_view message) {
            text_ += message;
            return 0;
        });
    }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;
    ~ConsoleCapture() { SetConsoleSink(nullptr); }

    const std::string& Text() const { return text_; }

  private:
    std::string text_;
};

// Switches the process's local time zone while it lives.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = getenv("TZ")) previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;
    ~ScopedTimeZone() {
        if (previous_) {
            setenv("TZ", previous_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    std::optional<std::string> previous_;
};

// A row as the tool writes it (gain 1, datatype 3, header of 512 bytes), of this writer.
inline testsupport::CatalogueRow SegmentRow(const std::string& cpath, double tbegin, double tqty,
                                            double sps = 100, const std::string& sta = "ABC",
                                            const std::string& ch = "BHZ",
                                            const std::string& creater = kCreator) {
    testsupport::CatalogueRow row;
    row.sta = sta;
    row.sps = sps;
    row.gain = 1;
    row.cpath = cpath;
    row.datatype = 3;
    row.ch = ch;
    row.creater = creater;
    row.lddate = "2003-02-01 07:15:00";
    row.tbegin = tbegin;
    row.tqty = tqty;
    row.foff = 512;
    return row;
}

}  // namespace catalogue_test
