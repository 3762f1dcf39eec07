#include "platform/ServiceManager.h"

#include <windows.h>

// winsvc.h maps CreateService to CreateServiceW, which would rename the interface's member here.
#undef CreateService

#include <string>
#include <utility>

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
