#include "platform/SystemClock.h"

#include <windows.h>

namespace vr {

LocalDateTime SystemClock::Now() const {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    LocalDateTime result;
    result.year = local.wYear;
    result.month = local.wMonth;
    result.day = local.wDay;
    result.hour = local.wHour;
    result.minute = local.wMinute;
    result.second = local.wSecond > 59 ? 59 : local.wSecond;  // a leap second still reads as valid
    return result;
}

}  // namespace vr
