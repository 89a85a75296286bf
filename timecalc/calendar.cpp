#include "timecalc/calendar.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr double kSecondsPerDay = 86400;
constexpr double kSecondsPerHour = 3600;
constexpr double kSecondsPerMinute = 60;
// Seconds from 0001-01-01 00:00:00 to 1970-01-01 00:00:00.
constexpr double kSecondsFromYearOneTo1970 = 62135596800.0;
// Days in the Gregorian cycles of 400, 100, 4 and 1 years.
constexpr double kDaysPer400Years = 146097;
constexpr double kDaysPer100Years = 36524;
constexpr double kDaysPer4Years = 1461;
constexpr double kDaysPerYear = 365;

// Days of a common year before the first day of each month; index 0 stands for January too.
constexpr int32_t kDaysBeforeMonth[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
// Days of each month of a common year; February is looked up through MonthLength.
constexpr int32_t kMonthLength[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

int MonthLength(int month, int leap) {
    return month == 2 ? 28 + leap : kMonthLength[month];
}

// Quotient rounded toward minus infinity, so that leap days count exactly before 1969 too.
int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// Past this, t + 62135596800 no longer holds whole seconds exactly and the day count stops
// fitting the outputs: such times lie far outside any recording.
constexpr double kLastExactSecond = 9007199254740992.0;  // 2^53

}  // namespace

double SecondsFromDate(int year, int month, int day, int hour, int minute, float seconds) {
    // Only a corrupt recorder header brings such a month; NaN lets the caller's range check
    // reject it instead of reading past the table.
    if (month < 0 || month > 12) return std::numeric_limits<double>::quiet_NaN();

    const int64_t y = year;
    int64_t dayOfYear = int64_t{kDaysBeforeMonth[month]} + day;
    if (IsLeapYear(year) == 1 && month > 2) dayOfYear += 1;
    const int64_t leapDays =
        FloorDiv(y - 1969, 4) - FloorDiv(y - 1901, 100) + FloorDiv(y - 1601, 400);
    const int64_t days = (y - 1970) * 365 + leapDays + dayOfYear - 1;
    return static_cast<double>(days) * kSecondsPerDay +
           static_cast<double>(hour) * kSecondsPerHour +
           static_cast<double>(minute) * kSecondsPerMinute + double{seconds};
}

int IsLeapYear(int year) {
    if (year % 400 == 0) return 1;
    if (year % 4 != 0) return 0;
    return year % 100 != 0 ? 1 : 0;
}

int MonthDayFromDayOfYear(int dayOfYear, int* month, int* day, int year) {
    if (dayOfYear < 1) {
        *month = 0;
        *day = 0;
        return 0;
    }
    const int leap = IsLeapYear(year);
    int remaining = dayOfYear;
    for (int m = 1; m <= 12; ++m) {
        *month = m;
        *day = remaining;
        remaining -= MonthLength(m, leap);
        if (remaining <= 0) return 1;
    }
    *month = 0;
    *day = 0;
    return 0;
}

int DateFromSeconds(double time, int* year, int* month, int* day, int* hour, int* minute,
                    float* seconds) {
    const double t1 = time + kSecondsFromYearOneTo1970;
    // Before 0001-01-01, NaN, or beyond exact whole seconds: no date, and a time of day of
    // zero rather than values that do not fit the integer outputs.
    if (!(t1 >= 0 && t1 < kLastExactSecond)) {
        *hour = 0;
        *minute = 0;
        *seconds = 0;
        return 0;
    }

    double wholeSeconds;
    const double fraction = std::modf(t1, &wholeSeconds);
    double days = std::trunc(wholeSeconds / kSecondsPerDay);
    const double secondOfDay = wholeSeconds - days * kSecondsPerDay;
    const double h = std::trunc(secondOfDay / kSecondsPerHour);
    const double rest = secondOfDay - h * kSecondsPerHour;
    const double m = std::trunc(rest / kSecondsPerMinute);
    *seconds = static_cast<float>(rest - m * kSecondsPerMinute + fraction);
    *minute = static_cast<int>(m);
    *hour = static_cast<int>(h);

    const double q400 = std::trunc(days / kDaysPer400Years);
    days -= kDaysPer400Years * q400;
    // The last day of a 400-year cycle belongs to its fourth century, not to a fifth.
    const double q100 = days == kDaysPer400Years - 1 ? 3 : std::trunc(days / kDaysPer100Years);
    days -= kDaysPer100Years * q100;
    const double q4 = std::trunc(days / kDaysPer4Years);
    days -= kDaysPer4Years * q4;
    double q1 = std::trunc(days / kDaysPerYear);
    if (q1 == 4) q1 = 3;  // the last day of a 4-year cycle belongs to its fourth year
    const int y = static_cast<int>(400 * q400 + 100 * q100 + 4 * q4 + q1 + 1);
    const int dayOfYear = static_cast<int>(days - kDaysPerYear * q1 + 1);

    int monthOfYear;
    int dayOfMonth;
    if (MonthDayFromDayOfYear(dayOfYear, &monthOfYear, &dayOfMonth, y) <= 0) return 0;
    *year = y;
    *month = monthOfYear;
    *day = dayOfMonth;
    return 1;
}
