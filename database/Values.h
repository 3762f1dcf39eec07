#pragma once

// Conversions between the program's values and the forms the database stores: scaled integers
// for NUMERIC/DECIMAL, day numbers and tenths of milliseconds for dates and times.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/Clock.h"

namespace vr::db {

// A fixed-point number: unscaled * 10^scale (scale <= 0 for decimals).
struct ScaledNumber {
    std::int64_t unscaled = 0;
    int scale = 0;
};

// "12.3456" for {123456, -4}; trailing zeros of the fraction and a bare point are dropped.
std::string FormatScaled(ScaledNumber value);

// Reads an optional sign, digits and an optional fraction after "." or ",". Nothing else.
std::optional<ScaledNumber> ParseScaled(std::string_view text);

// The value at another scale, rounded half away from zero. Throws vr::Error on overflow.
std::int64_t Rescale(ScaledNumber value, int toScale);

// Firebird's day numbers count from 1858-11-17; times count 1/10000 seconds since midnight.
std::int32_t ToIscDate(const LocalDateTime& moment);
std::uint32_t ToIscTime(const LocalDateTime& moment);
LocalDateTime FromIscDateTime(std::int32_t date, std::uint32_t time);

// "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss" and "hh:mm:ss".
std::string FormatDate(const LocalDateTime& moment);
std::string FormatTimestamp(const LocalDateTime& moment);
std::string FormatTime(const LocalDateTime& moment);
// Reads the forms above (date, or date and time); nothing else.
std::optional<LocalDateTime> ParseDateTime(std::string_view text);

}  // namespace vr::db
