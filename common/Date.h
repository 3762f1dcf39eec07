#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Clock.h"

namespace vr {

// A calendar day of the proleptic Gregorian calendar.
struct CivilDate {
    int year = 1970;
    int month = 1;
    int day = 1;

    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Days since 1970-01-01 (negative before it).
std::int64_t DaysFromCivil(const CivilDate& date);
CivilDate CivilFromDays(std::int64_t days);

CivilDate AddDays(const CivilDate& date, std::int64_t days);

inline CivilDate DateOf(const LocalDateTime& moment) {
    return {moment.year, moment.month, moment.day};
}

// Midnight at the start of the day.
inline LocalDateTime StartOfDay(const CivilDate& date) {
    return {date.year, date.month, date.day, 0, 0, 0};
}

// Chronological order of two moments.
bool IsEarlier(const LocalDateTime& a, const LocalDateTime& b);

// The texts of dates and times, zero-padded: day and month two digits, the year four, each
// time field two (a wider value keeps all its digits).
// "2024-03-07"
std::string IsoDateText(const CivilDate& date);
// "2024-03-07 09:05:00"
std::string IsoDateTimeText(const LocalDateTime& moment);
// "07<separator>03<separator>2024"
std::string DayMonthYearText(const CivilDate& date, std::string_view separator);
// "09<separator>05<separator>00"
std::string TimeText(const LocalDateTime& moment, std::string_view separator);

}  // namespace vr
