#include "platform/ServiceManager.h"

#include <windows.h>

// winsvc.h maps CreateService to CreateServiceW, which would rename the interface's member here.
#undef CreateService

#include <string>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "platform/windows/WindowsText.h"

namespace vr {
namespace {

class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ScHandle() {
        if (handle_ != nullptr) CloseServiceHandle(handle_);
    }
    ScHandle(ScHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    ScHandle& operator=(ScHandle&&) = delete;
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_;
};

// Absent, or already marked for deletion: either way the service is on its way out.
[[noreturn]] void FailRemoval() {
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_SERVICE_MARKED_FOR_DELETE) {
        throw ServiceDoesNotExist(win::SystemMessage(error));
    }
    throw Error(win::SystemMessage(error));
}

// The service manager splits the command line at blanks unless the program's path is quoted.
std::wstring BinaryPath(const std::filesystem::path& executable) {
    std::wstring path = executable.wstring();
    if (path.find(L' ') != std::wstring::npos) path = L'"' + path + L'"';
    return path;
}

// Where the event log looks up a source's message file.
std::wstring EventSourceKey(std::string_view source) {
    return L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + win::Widen(source);
}

void RegisterEventSource(std::string_view source, const std::filesystem::path& executable) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, EventSourceKey(source).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    const std::wstring file = executable.wstring();
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                   static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
    RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                   sizeof(types));
    RegCloseKey(key);
}

// Each setting on its own: a manager that refuses one (Wine stores only the description) keeps
// the others.
void ApplyServiceSettings(SC_HANDLE service, const ServiceAdditions& additions) {
    std::wstring description = win::Widen(additions.description);
    SERVICE_DESCRIPTIONW describe{description.data()};
    ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &describe);

    std::vector<SC_ACTION> actions;
    for (const std::chrono::seconds delay : additions.restartDelays) {
        actions.push_back({SC_ACTION_RESTART, static_cast<DWORD>(delay.count() * 1000)});
    }
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = static_cast<DWORD>(additions.failureCountReset.count());
    failure.cActions = static_cast<DWORD>(actions.size());
    failure.lpsaActions = actions.data();
    ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
    SERVICE_FAILURE_ACTIONS_FLAG nonCrash{additions.restartOnNonCrashFailures ? TRUE : FALSE};
    ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &nonCrash);

    SERVICE_DELAYED_AUTO_START_INFO delayed{additions.delayedStart ? TRUE : FALSE};
    ChangeServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed);
}

class ScmServiceManager final : public ServiceManager {
public:
    explicit ScmServiceManager(ScHandle manager) : manager_(std::move(manager)) {}

    void CreateService(const ServiceRegistration& service) override {
        const ScHandle created(CreateServiceW(
            manager_.get(), win::Widen(service.name).c_str(), win::Widen(service.displayName).c_str(),
            SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
            BinaryPath(service.executable).c_str(), nullptr, nullptr, nullptr,
            nullptr /* LocalSystem */, L""));
        if (!created) {
            const DWORD error = GetLastError();
            if (error == ERROR_SERVICE_EXISTS) {
                throw ServiceAlreadyExists(win::SystemMessage(error));
            }
            throw Error(win::SystemMessage(error));
        }
    }

    // Marks the service for deletion; a running one goes once it stops.
    void DeleteService(std::string_view name) override {
        const ScHandle service(OpenServiceW(manager_.get(), win::Widen(name).c_str(), SERVICE_ALL_ACCESS));
        if (!service) FailRemoval();
        if (!::DeleteService(service.get())) FailRemoval();
    }

    void ApplyAdditions(std::string_view name, const std::filesystem::path& executable,
                        const ServiceAdditions& additions) noexcept override {
        try {
            // Restart actions need the right to start the service as well.
            const ScHandle service(OpenServiceW(manager_.get(), win::Widen(name).c_str(),
                                                SERVICE_CHANGE_CONFIG | SERVICE_START));
            if (service) {
                // An installer's own registration may leave the path unquoted (Wine's msiexec
                // does), which would let the manager start C:\Program.exe instead.
                ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                     SERVICE_NO_CHANGE, BinaryPath(executable).c_str(), nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
                ApplyServiceSettings(service.get(), additions);
            }
            for (const std::string& source : additions.eventSources) {
                RegisterEventSource(source, executable);
            }
        } catch (...) {
            // Out of memory while widening a text: the service runs without the rest.
        }
    }

    void RemoveAdditions(const ServiceAdditions& additions) noexcept override {
        try {
            for (const std::string& source : additions.eventSources) {
                RegDeleteKeyW(HKEY_LOCAL_MACHINE, EventSourceKey(source).c_str());
            }
        } catch (...) {
            // As above.
        }
    }

private:
    ScHandle manager_;
};

}  // namespace

std::unique_ptr<ServiceManager> OpenServiceManager() {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        const DWORD error = GetLastError();
        throw ServiceManagerUnavailable("System Error.  Code: " + std::to_string(error) + ".\r\n" +
                                        win::SystemMessage(error));
    }
    return std::make_unique<ScmServiceManager>(std::move(manager));
}

}  // namespace vr
