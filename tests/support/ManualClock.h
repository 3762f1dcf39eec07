#pragma once

// A clock and regional settings of the test's choosing, and text written out by hand.

#include <string>
#include <string_view>

#include "common/Clock.h"
#include "common/RegionalSettings.h"

namespace vr::test {

// A clock the test sets by hand.
class ManualClock final : public Clock {
public:
    ManualClock() = default;
    explicit ManualClock(LocalDateTime start) : now(start) {}

    LocalDateTime now{2024, 3, 5, 7, 8, 9};
    LocalDateTime Now() const override { return now; }
};

inline RegionalSettings SettingsFor(const std::string& codePage) {
    RegionalSettings settings;
    settings.ansiCodePage = codePage;
    return settings;
}

// UTF-16 bytes of a text, written out by hand so that the expectations do not come from the
// converter under test.
inline std::string Utf16(std::u16string_view text, bool bigEndian) {
    std::string out;
    for (char16_t unit : text) {
        char high = static_cast<char>(unit >> 8);
        char low = static_cast<char>(unit & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

}  // namespace vr::test
