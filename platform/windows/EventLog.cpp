#include "platform/EventLog.h"

#include <windows.h>

#include <iostream>
#include <mutex>
#include <string>

#include "platform/windows/WindowsText.h"

namespace vr {
namespace {

// The application log, one error entry per report with the message as its only string. Event
// Viewer shows the string as it is only for a source registered with a message file (the
// executable's own message table); the installation registers both sources
// (ServiceManager's ApplyAdditions), else every entry comes with a "description cannot be
// found" preamble.
class WindowsEventLog final : public EventLog {
public:
    void ReportError(std::string_view source, std::string_view message) noexcept override {
        try {
            if (Report(source, message)) return;
        } catch (...) {
            // Not reported: standard error below.
        }
        try {
            const std::lock_guard lock(fallbackMutex_);
            std::cerr << source << ": " << message << std::endl;
        } catch (...) {
            // Nowhere left to report to; the host must go on.
        }
    }

private:
    static bool Report(std::string_view source, std::string_view message) {
        const HANDLE log = RegisterEventSourceW(nullptr, win::Widen(source).c_str());
        if (log == nullptr) return false;
        const std::wstring text = win::Widen(message);
        LPCWSTR strings[] = {text.c_str()};
        const BOOL reported =
            ReportEventW(log, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
        DeregisterEventSource(log);
        return reported != FALSE;
    }

    std::mutex fallbackMutex_;  // the host writes entries from several threads
};

}  // namespace

std::unique_ptr<EventLog> OpenSystemEventLog() { return std::make_unique<WindowsEventLog>(); }

}  // namespace vr
