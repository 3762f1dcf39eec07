#pragma once

#include <mutex>
#include <ostream>

#include "platform/EventLog.h"

namespace vr {

// The systemd journal as the system event log: error priority, the source as the entry's
// identifier. Entries that the journal refuses (no journal running) go to `fallback`.
class JournalEventLog final : public EventLog {
public:
    explicit JournalEventLog(std::ostream& fallback);
    void ReportError(std::string_view source, std::string_view message) noexcept override;

private:
    std::mutex fallbackMutex_;  // the host writes entries from several threads
    std::ostream& fallback_;
};

}  // namespace vr
