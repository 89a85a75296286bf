#pragma once
// A point in time as whole seconds since 1970 (UTC), read and built as local calendar time.

#include <time.h>

#include <cstdint>

class CTime {
  public:
    // 1970-01-01 00:00:00 UTC.
    CTime() = default;
    explicit CTime(int64_t secondsSince1970) : time_(secondsSince1970) {}
    // The local calendar time given by its fields (month 1-12, day 1-31); whether daylight
    // saving applies is worked out for that date. A time that the clocks skip is read as
    // the same number of seconds after the change.
    CTime(int year, int month, int day, int hour, int minute, int second);

    static CTime GetCurrentTime();

    int64_t GetTime() const { return time_; }

    // The local calendar fields (tm_year counts from 1900, tm_mon from 0).
    struct tm GetLocalTm() const;

    friend bool operator==(const CTime&, const CTime&) = default;

  private:
    int64_t time_ = 0;
};
