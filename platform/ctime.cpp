#include "platform/ctime.h"

CTime::CTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;  // let the zone rules decide
    time_ = static_cast<int64_t>(mktime(&fields));
}

CTime CTime::GetCurrentTime() {
    return CTime(static_cast<int64_t>(time(nullptr)));
}

struct tm CTime::GetLocalTm() const {
    time_t t = static_cast<time_t>(time_);
    struct tm fields {};
    localtime_r(&t, &fields);
    return fields;
}
