#include "database/Values.h"

#include <limits>

#include "common/Date.h"
#include "common/Error.h"

namespace vr::db {
namespace {

constexpr std::int64_t kIscDateOfUnixEpoch = 40587;  // 1970-01-01
constexpr std::uint32_t kTimeUnitsPerSecond = 10000;

bool MultiplyChecked(std::int64_t a, std::int64_t b, std::int64_t& out) { return !__builtin_mul_overflow(a, b, &out); }

std::int64_t Pow10(int n) {
    std::int64_t p = 1;
    for (int i = 0; i < n; ++i) p *= 10;
    return p;
}

bool ReadDigits(std::string_view text, std::size_t& pos, std::size_t count, int& out) {
    if (pos + count > text.size()) return false;
    out = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    pos += count;
    return true;
}

}  // namespace

std::string FormatScaled(ScaledNumber value) {
    const bool negative = value.unscaled < 0;
    // Work on the magnitude as unsigned so that the lowest int64 has a magnitude too.
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value.unscaled)
                                       : static_cast<std::uint64_t>(value.unscaled);
    std::string digits = std::to_string(magnitude);
    if (value.scale > 0) {
        digits.append(static_cast<std::size_t>(value.scale), '0');
    } else if (value.scale < 0) {
        const auto places = static_cast<std::size_t>(-value.scale);
        if (digits.size() <= places) digits.insert(0, places - digits.size() + 1, '0');
        std::string fraction = digits.substr(digits.size() - places);
        digits.resize(digits.size() - places);
        while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
        if (!fraction.empty()) digits += "." + fraction;
    }
    if (negative && digits != "0") digits.insert(0, 1, '-');
    return digits;
}

std::optional<ScaledNumber> ParseScaled(std::string_view text) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
    ScaledNumber result;
    bool anyDigit = false;
    bool inFraction = false;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if ((c == '.' || c == ',') && !inFraction) {
            inFraction = true;
            continue;
        }
        if (c < '0' || c > '9') return std::nullopt;
        anyDigit = true;
        std::int64_t next = 0;
        if (!MultiplyChecked(result.unscaled, 10, next) || __builtin_add_overflow(next, c - '0', &next)) {
            return std::nullopt;
        }
        result.unscaled = next;
        if (inFraction) --result.scale;
    }
    if (!anyDigit) return std::nullopt;
    if (negative) result.unscaled = -result.unscaled;
    return result;
}

std::int64_t Rescale(ScaledNumber value, int toScale) {
    if (toScale <= value.scale) {
        std::int64_t out = 0;
        if (value.scale - toScale > 18 || !MultiplyChecked(value.unscaled, Pow10(value.scale - toScale), out)) {
            if (value.unscaled != 0) throw Error("Valor numérico fora do intervalo do campo");
        }
        return out;
    }
    const int drop = toScale - value.scale;
    if (drop > 18) return 0;
    const std::int64_t divisor = Pow10(drop);
    std::int64_t quotient = value.unscaled / divisor;
    const std::int64_t remainder = value.unscaled % divisor;
    // Half away from zero, as the server rounds.
    if (remainder >= divisor - remainder && remainder > 0) ++quotient;
    if (remainder < 0 && -remainder >= divisor + remainder) --quotient;
    return quotient;
}

std::int32_t ToIscDate(const LocalDateTime& moment) {
    return static_cast<std::int32_t>(DaysFromCivil(DateOf(moment)) + kIscDateOfUnixEpoch);
}

std::uint32_t ToIscTime(const LocalDateTime& moment) {
    return static_cast<std::uint32_t>((moment.hour * 3600 + moment.minute * 60 + moment.second)) * kTimeUnitsPerSecond;
}

LocalDateTime FromIscDateTime(std::int32_t date, std::uint32_t time) {
    const CivilDate day = CivilFromDays(static_cast<std::int64_t>(date) - kIscDateOfUnixEpoch);
    const auto seconds = static_cast<int>(time / kTimeUnitsPerSecond);
    return {day.year, day.month, day.day, seconds / 3600, seconds / 60 % 60, seconds % 60};
}

std::string FormatDate(const LocalDateTime& m) { return IsoDateText(DateOf(m)); }

std::string FormatTime(const LocalDateTime& m) { return TimeText(m, ":"); }

std::string FormatTimestamp(const LocalDateTime& m) { return IsoDateTimeText(m); }

std::optional<LocalDateTime> ParseDateTime(std::string_view text) {
    LocalDateTime m;
    std::size_t pos = 0;
    const auto expect = [&](char c) { return pos < text.size() && text[pos++] == c; };
    if (!ReadDigits(text, pos, 4, m.year) || !expect('-') || !ReadDigits(text, pos, 2, m.month) || !expect('-') ||
        !ReadDigits(text, pos, 2, m.day)) {
        return std::nullopt;
    }
    if (pos < text.size()) {
        if (!expect(' ') || !ReadDigits(text, pos, 2, m.hour) || !expect(':') || !ReadDigits(text, pos, 2, m.minute) ||
            !expect(':') || !ReadDigits(text, pos, 2, m.second) || pos != text.size()) {
            return std::nullopt;
        }
    }
    if (m.month < 1 || m.month > 12 || m.day < 1 || m.hour > 23 || m.minute > 59 || m.second > 59) return std::nullopt;
    if (CivilFromDays(DaysFromCivil(DateOf(m))) != DateOf(m)) return std::nullopt;  // 2024-02-30 and the like
    return m;
}

}  // namespace vr::db
