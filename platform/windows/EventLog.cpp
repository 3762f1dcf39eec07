#include "platform/EventLog.h"

#include <windows.h>

#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/windows/EventMessages.h"
#include "platform/windows/WindowsText.h"

namespace vr {
namespace {

// The application log, one error entry per report with the message as its only string, under
// event 0, whose text in the executable's message table is that string alone. The viewer finds
// the table only through the source's EventMessageFile in the registry, written at installation;
// without it every entry begins with "The description for Event ID 0 ... cannot be found".
class WindowsEventLog final : public EventLog {
public:
    void ReportError(std::string_view source, std::string_view message) noexcept override {
        try {
            if (Report(source, EVENTLOG_ERROR_TYPE, VR_EVENT_TEXT, {win::Widen(message)})) return;
        } catch (...) {
            // Not reported: standard error below.
        }
        Fallback(source, message);
    }

    // Only the notable cycles: the Application log is shared with every program on the machine
    // and a technician reads it by scrolling. The message first, then the fields' values, which
    // the message table's texts name in order.
    void ReportCycle(std::string_view source, const CycleEntry& entry) noexcept override {
        if (!entry.notable) return;
        try {
            std::vector<std::wstring> strings{win::Widen(entry.message)};
            for (const Field& field : entry.fields) strings.push_back(win::Widen(field.value));
            const WORD type = entry.severity == Severity::Warning ? EVENTLOG_WARNING_TYPE
                                                                  : EVENTLOG_INFORMATION_TYPE;
            if (Report(source, type, EventId(entry.outcome), strings)) return;
        } catch (...) {
            // Not reported: standard error below.
        }
        Fallback(source, entry.message);
    }

private:
    static DWORD EventId(Outcome outcome) {
        switch (outcome) {
            case Outcome::UpdateApplied: return VR_EVENT_UPDATE_APPLIED;
            case Outcome::NothingDue: return VR_EVENT_NOTHING_DUE;
            case Outcome::NotConfigured: return VR_EVENT_NOT_CONFIGURED;
            case Outcome::CycleFailed: break;
        }
        return VR_EVENT_CYCLE_FAILED;
    }

    static bool Report(std::string_view source, WORD type, DWORD id,
                       const std::vector<std::wstring>& strings) {
        const HANDLE log = RegisterEventSourceW(nullptr, win::Widen(source).c_str());
        if (log == nullptr) return false;
        std::vector<LPCWSTR> pointers;
        for (const std::wstring& s : strings) pointers.push_back(s.c_str());
        const BOOL reported = ReportEventW(log, type, 0, id, nullptr, static_cast<WORD>(pointers.size()),
                                           0, pointers.data(), nullptr);
        DeregisterEventSource(log);
        return reported != FALSE;
    }

    void Fallback(std::string_view source, std::string_view message) noexcept {
        try {
            const std::lock_guard lock(fallbackMutex_);
            std::cerr << source << ": " << message << std::endl;
        } catch (...) {
            // Nowhere left to report to; the host must go on.
        }
    }

    std::mutex fallbackMutex_;  // the host writes entries from several threads
};

}  // namespace

std::unique_ptr<EventLog> OpenSystemEventLog() { return std::make_unique<WindowsEventLog>(); }

}  // namespace vr
