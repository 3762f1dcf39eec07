#pragma once

// The system event log: where failures of the service host itself are recorded, since the
// activity log may be the very thing that failed.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vr {

class EventLog {
public:
    virtual ~EventLog() = default;
    // Writes one error entry under the given source name. Never throws: when the system log
    // cannot be reached the entry goes to the process's standard error instead.
    virtual void ReportError(std::string_view source, std::string_view message) noexcept = 0;

    // One entry about the service's regular work, with fields that tools can select on
    // (names in upper case). Where the system log has no such entries this does nothing.
    struct Field {
        std::string name;
        std::string value;
    };
    enum class Severity { Information, Warning };
    virtual void ReportActivity(Severity /*severity*/, std::string_view /*source*/,
                                std::string_view /*message*/,
                                const std::vector<Field>& /*fields*/) noexcept {}

    // One update cycle's entry: what ReportActivity takes, plus what the cycle came to, for a
    // log that gives each outcome an identifier of its own, and whether the entry is notable.
    enum class Outcome { UpdateApplied, NothingDue, NotConfigured, CycleFailed };
    struct CycleEntry {
        Severity severity = Severity::Information;
        Outcome outcome = Outcome::CycleFailed;
        // False when the cycle only repeats the state the log's last notable entry told; a log
        // that keeps few entries leaves it out (service/NotableCycles.cpp decides).
        bool notable = true;
        std::string message;
        std::vector<Field> fields;
    };
    // A log that keeps every entry, as the journal does, has no use for the outcome or for
    // notable: by default the entry goes to ReportActivity.
    virtual void ReportCycle(std::string_view source, const CycleEntry& entry) noexcept {
        ReportActivity(entry.severity, source, entry.message, entry.fields);
    }
};

// The operating system's event log.
std::unique_ptr<EventLog> OpenSystemEventLog();

}  // namespace vr
