#pragma once

#include <cstdint>

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

}  // namespace vr
