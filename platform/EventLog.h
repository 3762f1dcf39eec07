#pragma once

// The system event log: where failures of the service host itself are recorded, since the
// activity log may be the very thing that failed.

#include <memory>
#include <string_view>

namespace vr {

class EventLog {
public:
    virtual ~EventLog() = default;
    // Writes one error entry under the given source name. Never throws: when the system log
    // cannot be reached the entry goes to the process's standard error instead.
    virtual void ReportError(std::string_view source, std::string_view message) noexcept = 0;
};

// The operating system's event log.
std::unique_ptr<EventLog> OpenSystemEventLog();

}  // namespace vr
