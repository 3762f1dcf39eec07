#include "common/Date.h"

#include <cstdio>
#include <tuple>

namespace vr {

// Howard Hinnant's civil-date algorithms: exact for every date, no time zone involved.
std::int64_t DaysFromCivil(const CivilDate& date) {
    const std::int64_t y = static_cast<std::int64_t>(date.year) - (date.month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t month = date.month;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + date.day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CivilDate CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

CivilDate AddDays(const CivilDate& date, std::int64_t days) {
    return CivilFromDays(DaysFromCivil(date) + days);
}

bool IsEarlier(const LocalDateTime& a, const LocalDateTime& b) {
    return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second) <
           std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second);
}

namespace {

std::string Padded(int value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

std::string Joined(int first, int second, int third, int firstWidth, int thirdWidth, std::string_view separator) {
    std::string text = Padded(first, firstWidth);
    text += separator;
    text += Padded(second, 2);
    text += separator;
    text += Padded(third, thirdWidth);
    return text;
}

}  // namespace

std::string IsoDateText(const CivilDate& date) { return Joined(date.year, date.month, date.day, 4, 2, "-"); }

std::string IsoDateTimeText(const LocalDateTime& moment) {
    return IsoDateText(DateOf(moment)) + " " + TimeText(moment, ":");
}

std::string DayMonthYearText(const CivilDate& date, std::string_view separator) {
    return Joined(date.day, date.month, date.year, 2, 4, separator);
}

std::string TimeText(const LocalDateTime& moment, std::string_view separator) {
    return Joined(moment.hour, moment.minute, moment.second, 2, 2, separator);
}

}  // namespace vr
