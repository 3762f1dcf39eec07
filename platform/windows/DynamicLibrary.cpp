#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/DynamicLibrary.h"
#include "platform/ExecutablePath.h"
#include "platform/LibraryLoader.h"
#include "platform/windows/WindowsText.h"

namespace vr {

namespace {

HMODULE AsModule(void* handle) { return static_cast<HMODULE>(handle); }

// A library whose own dependencies are missing would otherwise show a dialog that nobody sees
// in a service and that blocks the load until dismissed.
class NoErrorDialogs {
public:
    NoErrorDialogs() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_); }
    ~NoErrorDialogs() { SetThreadErrorMode(old_, nullptr); }
    NoErrorDialogs(const NoErrorDialogs&) = delete;
    NoErrorDialogs& operator=(const NoErrorDialogs&) = delete;

private:
    DWORD old_ = 0;
};

// The folder a Firebird installation names as its default instance, in one registry view.
std::optional<std::filesystem::path> FirebirdFolder(REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Firebird Project\\Firebird Server\\Instances", 0,
                      KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t folder[MAX_PATH + 1] = {};
    DWORD size = sizeof folder - sizeof(wchar_t);
    DWORD type = 0;
    const LSTATUS read = RegQueryValueExW(key, L"DefaultInstance", nullptr, &type,
                                          reinterpret_cast<BYTE*>(folder), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || folder[0] == L'\0') {
        return std::nullopt;
    }
    return std::filesystem::path(folder);
}

// The Machine field of a PE file's header, or nullopt when the file is none.
std::optional<WORD> MachineOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    IMAGE_DOS_HEADER dos{};
    if (!in.read(reinterpret_cast<char*>(&dos), sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) {
        return std::nullopt;
    }
    DWORD signature = 0;
    IMAGE_FILE_HEADER header{};
    if (!in.seekg(dos.e_lfanew) || !in.read(reinterpret_cast<char*>(&signature), sizeof signature) ||
        signature != IMAGE_NT_SIGNATURE || !in.read(reinterpret_cast<char*>(&header), sizeof header)) {
        return std::nullopt;
    }
    return header.Machine;
}

// The machine this process runs as, from its own image's header.
WORD OwnMachine() {
    const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew)->FileHeader.Machine;
}

std::string Bits(WORD machine) {
    switch (machine) {
        case IMAGE_FILE_MACHINE_I386: return "32 bits";
        case IMAGE_FILE_MACHINE_AMD64: return "64 bits";
        default: return "outra arquitetura";
    }
}

// Windows' text for a file of another machine names it "%1"; the insert is the file.
std::string Filled(std::string reason, const std::string& file) {
    for (std::size_t at; (at = reason.find("%1")) != std::string::npos;) reason.replace(at, 2, file);
    return reason;
}

}  // namespace

namespace loader {

// Beside the executable, then in the folder of the Firebird installation the registry names (a
// 64-bit installation writes the 64-bit view, a 32-bit one the 32-bit view; the latter's client
// is of the wrong size for this service, but trying it names that as the reason), then the
// system's DLL folders. The current directory is never searched: a service's is System32,
// and a prompt's is wherever the technician stands, where nobody vouches for an fbclient.dll.
std::vector<Candidate> Candidates(const std::string& name) {
    std::vector<Candidate> found;
    const auto add = [&](const std::filesystem::path& folder) {
        const std::string file = win::Narrow((folder / win::Widen(name)).lexically_normal().wstring());
        for (const Candidate& c : found) {
            if (CompareStringOrdinal(win::Widen(c.file).c_str(), -1, win::Widen(file).c_str(), -1, TRUE) ==
                CSTR_EQUAL) {
                return;
            }
        }
        found.push_back({file, file});
    };
    add(ExecutableDirectory());
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        if (const auto folder = FirebirdFolder(view)) add(*folder);
    }
    found.push_back({name, name + " (pastas de DLLs do sistema)"});
    return found;
}

void* Load(const Candidate& candidate, std::string& reason) {
    const NoErrorDialogs quiet;
    const std::wstring file = win::Widen(candidate.file);
    const bool fullPath = std::filesystem::path(file).is_absolute();
    if (fullPath) {
        const auto machine = MachineOf(file);
        if (machine && *machine != OwnMachine()) {
            reason = "é uma biblioteca de " + Bits(*machine) + "; o serviço é de " + Bits(OwnMachine()) +
                     " e precisa do cliente do Firebird de " + Bits(OwnMachine());
            return nullptr;
        }
    }
    // A full path's own dependencies (the runtime and ICU libraries beside the client) load
    // from its folder, then the application's folder and System32. The bare name is searched
    // in the application's folder, System32 and the folders added for DLLs, never in the
    // current directory nor in PATH: SetDllDirectoryW(L"") would keep PATH but Wine still
    // searches the current directory with it, and a Firebird installation's folder, where a
    // PATH entry would lead, is found through the registry already.
    const DWORD flags = fullPath ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                                 : LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
    HMODULE module = LoadLibraryExW(file.c_str(), nullptr, flags);
    if (module == nullptr) {
        const DWORD error = GetLastError();
        reason = Filled(win::SystemReason(error), candidate.file);
        // Found on the search path, the file is not known here: Windows' reason is all there is.
        if (error == ERROR_BAD_EXE_FORMAT) {
            reason += "; o serviço precisa do cliente do Firebird de " + Bits(OwnMachine());
        }
    }
    return module;
}

void* Find(void* handle, const std::string& symbol) {
    return reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(GetProcAddress(AsModule(handle), symbol.c_str())));
}

std::string PathOf(void* handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(AsModule(handle), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return win::Narrow(std::wstring_view(path.data(), n));
        path.resize(path.size() * 2);
    }
}

void Unload(void* handle) { FreeLibrary(AsModule(handle)); }

}  // namespace loader

std::vector<std::string> FirebirdClientLibraryNames() { return {"fbclient.dll", "fbembed.dll"}; }

}  // namespace vr
