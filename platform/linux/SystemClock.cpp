#include "platform/SystemClock.h"

#include <ctime>

namespace vr {

LocalDateTime SystemClock::Now() const {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    LocalDateTime result;
    result.year = local.tm_year + 1900;
    result.month = local.tm_mon + 1;
    result.day = local.tm_mday;
    result.hour = local.tm_hour;
    result.minute = local.tm_min;
    // A leap second (60) still has to read as a valid time of day.
    result.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    return result;
}

}  // namespace vr
