#include "platform/linux/JournalEventLog.h"

#include <systemd/sd-journal.h>

#include <iostream>
#include <string>
#include <system_error>
#include <utility>

namespace vr {

JournalEventLog::JournalEventLog(std::ostream& fallback, std::filesystem::path journalSocket)
    : fallback_(fallback), journalSocket_(std::move(journalSocket)) {}

void JournalEventLog::ReportError(std::string_view source, std::string_view message) noexcept {
    try {
        const std::string text(message);
        const std::string identifier(source);
        std::error_code error;
        if (std::filesystem::exists(journalSocket_, error) &&
            sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=3", "SYSLOG_IDENTIFIER=%s",
                            identifier.c_str(), nullptr) >= 0) {
            return;
        }
        const std::lock_guard lock(fallbackMutex_);
        fallback_ << identifier << ": " << text << std::endl;
    } catch (...) {
        // Nowhere left to report to; the host must go on.
    }
}

std::unique_ptr<EventLog> OpenSystemEventLog() { return std::make_unique<JournalEventLog>(std::cerr); }

}  // namespace vr
