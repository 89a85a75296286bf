#pragma once
// Conversions between calendar dates and EpochSeconds (seconds since 1970-01-01 00:00:00,
// proleptic Gregorian, no time zone, no leap seconds).

// Seconds since 1970 of the given date and time of day, exact for every year (leap days are
// counted with floored quotients, so years before 1969 are exact too). Day, hour, minute and
// seconds enter linearly without range checks. Month 0 behaves as January; a month outside
// 0 to 12 gives NaN.
double SecondsFromDate(int year, int month, int day, int hour, int minute, float seconds);
// 1 for a leap year, else 0.
int IsLeapYear(int year);
// Month and day of `dayOfYear` (1 = 1 January) in `year`: 1 on success; 0 with month and
// day set to 0 when the day lies outside the year.
int MonthDayFromDayOfYear(int dayOfYear, int* month, int* day, int year);
// Splits `time` into date and time of day. Hour, minute and seconds are always written;
// year, month and day only when the result is 1. A time before 0001-01-01, not finite, or
// beyond 2^53 seconds after 0001-01-01 gives 0 with hour, minute and seconds set to 0.
int DateFromSeconds(double time, int* year, int* month, int* day, int* hour, int* minute,
                    float* seconds);
