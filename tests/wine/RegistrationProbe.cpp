// Reads back what an installation told Windows, for the Wine tests, one "name=value" line each:
//   RegistrationProbe service <name>
//     the service manager's configuration, the description, and whether the failure actions and
//     the delayed start read back ("error <n>" where the manager keeps none)
//   RegistrationProbe source <name> <text>
//     the event source's registry values, and event 0 of its message file formatted with <text>
//     as its one string, as Event Viewer would show it
//   RegistrationProbe version <file>
//     the file's version resource: the fixed file and product versions and the strings
// Exits 1 (with "error <n>") when the service or the source is not there.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Line(const wchar_t* name, const std::wstring& value) {
    std::wprintf(L"%ls=%ls\n", name, value.c_str());
}

std::wstring Number(DWORD value) { return std::to_wstring(value); }

std::wstring Error(DWORD code) { return L"error " + std::to_wstring(code); }

// QueryServiceConfig2W's buffer for one kind of information; empty with the error kept.
std::vector<BYTE> Config2(SC_HANDLE service, DWORD level, DWORD& error) {
    DWORD needed = 0;
    QueryServiceConfig2W(service, level, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed > 0 ? needed : 1);
    error = QueryServiceConfig2W(service, level, buffer.data(), needed, &needed) ? 0 : GetLastError();
    if (error != 0) buffer.clear();
    return buffer;
}

int Service(const wchar_t* name) {
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service = manager == nullptr ? nullptr : OpenServiceW(manager, name, SERVICE_QUERY_CONFIG);
    if (service == nullptr) {
        std::wprintf(L"%ls\n", Error(GetLastError()).c_str());
        return 1;
    }
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service, config, needed, &needed)) {
        std::wprintf(L"%ls\n", Error(GetLastError()).c_str());
        return 1;
    }
    Line(L"type", Number(config->dwServiceType));
    Line(L"start", Number(config->dwStartType));
    Line(L"errorcontrol", Number(config->dwErrorControl));
    Line(L"path", config->lpBinaryPathName);
    Line(L"group", config->lpLoadOrderGroup != nullptr ? config->lpLoadOrderGroup : L"");
    Line(L"dependencies", config->lpDependencies != nullptr ? config->lpDependencies : L"");
    Line(L"account", config->lpServiceStartName != nullptr ? config->lpServiceStartName : L"");
    Line(L"displayname", config->lpDisplayName);

    DWORD error = 0;
    std::vector<BYTE> data = Config2(service, SERVICE_CONFIG_DESCRIPTION, error);
    const auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(data.data());
    Line(L"description", error != 0 ? Error(error)
                         : description->lpDescription != nullptr ? description->lpDescription : L"");
    data = Config2(service, SERVICE_CONFIG_FAILURE_ACTIONS, error);
    std::wstring actions;
    if (error == 0) {
        const auto* failure = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(data.data());
        actions = L"reset " + Number(failure->dwResetPeriod);
        for (DWORD i = 0; i < failure->cActions; ++i) {
            actions += L" " + Number(failure->lpsaActions[i].Type) + L":" + Number(failure->lpsaActions[i].Delay);
        }
    }
    Line(L"failureactions", error != 0 ? Error(error) : actions);
    data = Config2(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, error);
    Line(L"delayedstart", error != 0 ? Error(error)
                          : Number(reinterpret_cast<SERVICE_DELAYED_AUTO_START_INFO*>(data.data())->fDelayedAutostart));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return 0;
}

int Source(const std::wstring& name, const wchar_t* text) {
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + name;
    wchar_t file[MAX_PATH * 2] = {};
    DWORD size = sizeof(file);
    DWORD type = 0;
    LSTATUS status = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"EventMessageFile",
                                  RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &type, file, &size);
    if (status != ERROR_SUCCESS) {
        std::wprintf(L"%ls\n", Error(static_cast<DWORD>(status)).c_str());
        return 1;
    }
    Line(L"messagefile", file);
    Line(L"messagefiletype", type == REG_EXPAND_SZ ? L"REG_EXPAND_SZ" : Number(type));
    DWORD types = 0;
    size = sizeof(types);
    status = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"TypesSupported", RRF_RT_REG_DWORD, nullptr,
                          &types, &size);
    Line(L"typessupported", status == ERROR_SUCCESS ? Number(types) : Error(static_cast<DWORD>(status)));

    wchar_t expanded[MAX_PATH * 2] = {};
    ExpandEnvironmentStringsW(file, expanded, MAX_PATH * 2);
    const HMODULE module = LoadLibraryExW(expanded, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        Line(L"event0", Error(GetLastError()));
        return 0;
    }
    const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(text)};
    wchar_t* formatted = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, 0,
        0, reinterpret_cast<LPWSTR>(&formatted), 0, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments)));
    Line(L"event0", length == 0 ? Error(GetLastError()) : L"[" + std::wstring(formatted, length) + L"]");
    LocalFree(formatted);
    FreeLibrary(module);
    return 0;
}

std::wstring VersionString(void* data, const wchar_t* name) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041604B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data, path.c_str(), &value, &length) || length == 0) return L"";
    return static_cast<const wchar_t*>(value);
}

std::wstring Quad(DWORD high, DWORD low) {
    return Number(HIWORD(high)) + L"." + Number(LOWORD(high)) + L"." + Number(HIWORD(low)) + L"." +
           Number(LOWORD(low));
}

int Version(const wchar_t* file) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(file, &handle);
    std::vector<BYTE> data(size > 0 ? size : 1);
    if (size == 0 || !GetFileVersionInfoW(file, 0, size, data.data())) {
        std::wprintf(L"%ls\n", Error(GetLastError()).c_str());
        return 1;
    }
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        Line(L"fixedfile", Quad(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
        Line(L"fixedproduct", Quad(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
    }
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"ProductName", L"FileDescription",
                                L"CompanyName"}) {
        Line(name, VersionString(data.data(), name));
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"service") return Service(argv[2]);
    if (argc == 4 && std::wstring(argv[1]) == L"source") return Source(argv[2], argv[3]);
    if (argc == 3 && std::wstring(argv[1]) == L"version") return Version(argv[2]);
    std::fprintf(stderr, "usage: RegistrationProbe service <name> | source <name> <text> | version <file>\n");
    return 2;
}
