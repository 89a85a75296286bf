#include "timecalc/calendar.h"

#include <gtest/gtest.h>
#include <time.h>

#include <cmath>
#include <cstdint>

namespace {

struct DateCase {
    const char* label;
    int year, month, day, hour, minute;
    float seconds;
    double expected;  // POSIX time of the instant
};

TEST(SecondsFromDate, GivesPosixTimeOfDates) {
    const DateCase cases[] = {
        {"epoch", 1970, 1, 1, 0, 0, 0, 0},
        {"leap day of a 400-year leap year", 2000, 2, 29, 0, 0, 0, 951782400},
        {"last day of a 400-year cycle", 2000, 12, 31, 0, 0, 0, 978220800},
        {"last day of a 4-year cycle", 2004, 12, 31, 0, 0, 0, 1104451200},
        {"March of a century that is not leap", 2100, 3, 1, 0, 0, 0, 4107542400},
        {"day before the epoch", 1969, 12, 31, 0, 0, 0, -86400},
        {"time of day with a quarter second", 2003, 2, 1, 7, 15, 0.25f, 1044083700.25},
        {"month 0 behaves as January", 2003, 0, 1, 0, 0, 0, 1041379200},
        {"day 32 of January runs into February", 2003, 1, 32, 0, 0, 0, 1044057600},
        {"hours beyond a day run into the next days", 1970, 1, 1, 49, 0, 0, 176400},
        {"before 1969, leap days still exact", 1900, 3, 1, 0, 0, 0, -2203891200},
        {"leap day of 1600", 1600, 2, 29, 0, 0, 0, -11670998400},
        {"first day of year 1", 1, 1, 1, 0, 0, 0, -62135596800},
        {"last day of year 9999", 9999, 12, 31, 0, 0, 0, 253402214400},
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(SecondsFromDate(c.year, c.month, c.day, c.hour, c.minute, c.seconds), c.expected);
    }
}

TEST(SecondsFromDate, MonthOutsideTheTableGivesNaN) {
    for (int month : {-1, 13, 32767, -32768}) {
        SCOPED_TRACE(month);
        EXPECT_TRUE(std::isnan(SecondsFromDate(2003, month, 1, 0, 0, 0)));
    }
}

TEST(IsLeapYear, FollowsTheGregorianRule) {
    const struct {
        int year;
        int leap;
    } cases[] = {{1900, 0}, {2000, 1}, {2003, 0}, {2004, 1}, {2100, 0}, {2400, 1}, {1, 0}, {4, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.year);
        EXPECT_EQ(IsLeapYear(c.year), c.leap);
    }
}

TEST(MonthDayFromDayOfYear, SplitsDaysAndRefusesDaysOutsideTheYear) {
    const struct {
        int dayOfYear, year, result, month, day;
    } cases[] = {
        {1, 2003, 1, 1, 1},   {31, 2003, 1, 1, 31},   {32, 2003, 1, 2, 1},    {60, 2000, 1, 2, 29},
        {60, 2003, 1, 3, 1},  {365, 2003, 1, 12, 31}, {366, 2000, 1, 12, 31}, {366, 2003, 0, 0, 0},
        {367, 2000, 0, 0, 0}, {0, 2000, 0, 0, 0},     {-5, 2000, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "day " << c.dayOfYear << " of " << c.year);
        int month = -1, day = -1;
        EXPECT_EQ(MonthDayFromDayOfYear(c.dayOfYear, &month, &day, c.year), c.result);
        EXPECT_EQ(month, c.month);
        EXPECT_EQ(day, c.day);
    }
}

struct SplitCase {
    const char* label;
    double time;
    int year, month, day, hour, minute;
    float seconds;
};

TEST(DateFromSeconds, SplitsTimesAtCycleBoundaries) {
    const SplitCase cases[] = {
        {"epoch", 0, 1970, 1, 1, 0, 0, 0},
        {"one second before the epoch", -1, 1969, 12, 31, 23, 59, 59},
        {"quarter second", 0.25, 1970, 1, 1, 0, 0, 0.25f},
        {"day 146096 of a 400-year cycle", 978220800, 2000, 12, 31, 0, 0, 0},
        {"last day of a 4-year cycle", 1104451200, 2004, 12, 31, 0, 0, 0},
        {"2100 is not a leap year", 4107542400, 2100, 3, 1, 0, 0, 0},
        {"leap day", 951782400 + 86399, 2000, 2, 29, 23, 59, 59},
        {"first instant of year 1", -62135596800, 1, 1, 1, 0, 0, 0},
        {"last day of year 9999", 253402214400 + 3723, 9999, 12, 31, 1, 2, 3},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.label);
        int year = 0, month = 0, day = 0, hour = -1, minute = -1;
        float seconds = -1;
        EXPECT_EQ(DateFromSeconds(c.time, &year, &month, &day, &hour, &minute, &seconds), 1);
        EXPECT_EQ(year, c.year);
        EXPECT_EQ(month, c.month);
        EXPECT_EQ(day, c.day);
        EXPECT_EQ(hour, c.hour);
        EXPECT_EQ(minute, c.minute);
        EXPECT_EQ(seconds, c.seconds);
    }
}

TEST(DateFromSeconds, TimesOutsideItsDomainGiveZeroAndLeaveTheDate) {
    const double cases[] = {-62135596801.0, -1e300, NAN, INFINITY, -INFINITY, 1e300};
    for (double time : cases) {
        SCOPED_TRACE(time);
        int year = 7, month = 7, day = 7, hour = 7, minute = 7;
        float seconds = 7;
        EXPECT_EQ(DateFromSeconds(time, &year, &month, &day, &hour, &minute, &seconds), 0);
        EXPECT_EQ(year, 7);
        EXPECT_EQ(month, 7);
        EXPECT_EQ(day, 7);
        EXPECT_EQ(hour, 0);
        EXPECT_EQ(minute, 0);
        EXPECT_EQ(seconds, 0);
    }
}

// Every date is compared with the C library's own proleptic Gregorian arithmetic and taken
// back through DateFromSeconds.
void ExpectAgreesWithLibrary(int year, int month, int day, int secondOfDay) {
    const int hour = secondOfDay / 3600, minute = secondOfDay / 60 % 60, second = secondOfDay % 60;
    struct tm tm = {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    const double posix = static_cast<double>(timegm(&tm));
    const double ours = SecondsFromDate(year, month, day, hour, minute, static_cast<float>(second));
    ASSERT_EQ(ours, posix) << year << "-" << month << "-" << day << " +" << secondOfDay;

    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    float s = 0;
    ASSERT_EQ(DateFromSeconds(ours, &y, &mo, &d, &h, &mi, &s), 1) << ours;
    EXPECT_EQ(y, year);
    EXPECT_EQ(mo, month);
    EXPECT_EQ(d, day);
    EXPECT_EQ(h, hour);
    EXPECT_EQ(mi, minute);
    EXPECT_EQ(s, static_cast<float>(second));
}

TEST(Calendar, EveryDayFrom1969To2100AgreesWithTheLibraryAndRoundTrips) {
    struct tm first = {};
    first.tm_year = 69;
    first.tm_mday = 1;
    const time_t start = timegm(&first);
    for (time_t t = start;; t += 86400) {
        struct tm date;
        ASSERT_NE(gmtime_r(&t, &date), nullptr);
        if (date.tm_year + 1900 > 2100) break;
        for (int secondOfDay : {0, 1, 45296, 86399}) {
            ExpectAgreesWithLibrary(date.tm_year + 1900, date.tm_mon + 1, date.tm_mday,
                                    secondOfDay);
            if (HasFatalFailure() || HasNonfatalFailure()) return;
        }
    }
}

TEST(Calendar, YearBoundariesFromYear1To9999AgreeWithTheLibrary) {
    for (int year = 1; year <= 9999; ++year) {
        const int days[][2] = {{1, 1}, {2, 28}, {3, 1}, {12, 31}};
        for (const auto& md : days) ExpectAgreesWithLibrary(year, md[0], md[1], 86399);
        if (IsLeapYear(year) == 1) ExpectAgreesWithLibrary(year, 2, 29, 0);
        if (HasFatalFailure() || HasNonfatalFailure()) return;
    }
}

TEST(DateFromSeconds, KeepsTheFractionOfTheSecond) {
    // 2003-02-01 07:15:00.5: the fraction is resolved to 2^-17 s near present-day times.
    int year, month, day, hour, minute;
    float seconds;
    ASSERT_EQ(DateFromSeconds(1044083700.5, &year, &month, &day, &hour, &minute, &seconds), 1);
    EXPECT_EQ(hour, 7);
    EXPECT_EQ(minute, 15);
    EXPECT_EQ(seconds, 0.5f);
}

}  // namespace
