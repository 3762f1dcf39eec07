#pragma once

#include <filesystem>
#include <mutex>
#include <ostream>

#include "platform/EventLog.h"

namespace vr {

// The systemd journal as the system event log: error priority for failures, the source as the entry's
// identifier. Entries that cannot reach a journal go to `fallback`.
class JournalEventLog final : public EventLog {
public:
    // `journalSocket` is where a running journal listens; libsystemd drops entries silently when
    // it is missing, so its absence is what sends entries to the fallback.
    explicit JournalEventLog(std::ostream& fallback,
                             std::filesystem::path journalSocket = "/run/systemd/journal/socket");
    void ReportError(std::string_view source, std::string_view message) noexcept override;
    // Information or warning priority, the fields as the entry's own journal fields.
    void ReportActivity(Severity severity, std::string_view source, std::string_view message,
                        const std::vector<Field>& fields) noexcept override;

private:
    std::mutex fallbackMutex_;  // the host writes entries from several threads
    std::ostream& fallback_;
    std::filesystem::path journalSocket_;
};

}  // namespace vr
