#include "platform/linux/JournalEventLog.h"

// Without it every entry carries CODE_FILE, the absolute path of this file on the build machine.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <sys/uio.h>
#include <systemd/sd-journal.h>

#include <iostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

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

void JournalEventLog::ReportActivity(Severity severity, std::string_view source,
                                     std::string_view message,
                                     const std::vector<Field>& fields) noexcept {
    try {
        std::vector<std::string> lines;
        lines.reserve(fields.size() + 3);
        lines.push_back("MESSAGE=" + std::string(message));
        lines.push_back(severity == Severity::Warning ? "PRIORITY=4" : "PRIORITY=6");
        lines.push_back("SYSLOG_IDENTIFIER=" + std::string(source));
        for (const Field& field : fields) lines.push_back(field.name + "=" + field.value);
        std::vector<iovec> parts;
        parts.reserve(lines.size());
        for (std::string& line : lines) parts.push_back({line.data(), line.size()});
        std::error_code error;
        if (std::filesystem::exists(journalSocket_, error) &&
            sd_journal_sendv(parts.data(), static_cast<int>(parts.size())) >= 0) {
            return;
        }
        const std::lock_guard lock(fallbackMutex_);
        fallback_ << source << ": " << message << std::endl;
    } catch (...) {
        // Nowhere left to report to; the host must go on.
    }
}

std::unique_ptr<EventLog> OpenSystemEventLog() { return std::make_unique<JournalEventLog>(std::cerr); }

}  // namespace vr
