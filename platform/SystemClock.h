#pragma once

#include "common/Clock.h"

namespace vr {

// The machine's local time, in the time zone the system is set to.
class SystemClock final : public Clock {
public:
    LocalDateTime Now() const override;
};

}  // namespace vr
