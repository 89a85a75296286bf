// CTime: local calendar time to and from seconds since 1970.

#include "platform/ctime.h"

#include <gtest/gtest.h>

#include "tests/catalogue/catalogue_test_util.h"

namespace {

struct LocalTimeCase {
    const char* zone;
    int year, month, day, hour, minute, second;
    int64_t seconds;
    int readHour;  // the local hour the seconds read back as
};

TEST(CTimeTest, ConvertsLocalCalendarTimeBothWays) {
    const LocalTimeCase cases[] = {
        {"UTC", 2003, 2, 1, 7, 15, 0, 1044083700, 7},
        {"Europe/Berlin", 2003, 2, 1, 7, 15, 0, 1044080100, 7},
        {"Europe/Berlin", 2003, 7, 1, 7, 15, 0, 1057036500, 7},  // summer time
        {"Asia/Irkutsk", 2003, 2, 1, 7, 15, 0, 1044054900, 7},
        {"UTC", 2038, 1, 19, 3, 14, 8, 2147483648, 3},  // past 32-bit seconds
        // 02:30 does not exist on that day; it is taken as 03:30 summer time.
        {"Europe/Berlin", 2024, 3, 31, 2, 30, 0, 1711848600, 3},
    };
    for (const LocalTimeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.zone << " " << c.year << "-" << c.month << "-" << c.day
                                        << " " << c.hour << ":" << c.minute);
        catalogue_test::ScopedTimeZone zone(c.zone);
        CTime time(c.year, c.month, c.day, c.hour, c.minute, c.second);
        EXPECT_EQ(time.GetTime(), c.seconds);
        struct tm local = CTime(c.seconds).GetLocalTm();
        EXPECT_EQ(local.tm_year + 1900, c.year);
        EXPECT_EQ(local.tm_mon + 1, c.month);
        EXPECT_EQ(local.tm_mday, c.day);
        EXPECT_EQ(local.tm_hour, c.readHour);
        EXPECT_EQ(local.tm_min, c.minute);
        EXPECT_EQ(local.tm_sec, c.second);
    }
}

}  // namespace
