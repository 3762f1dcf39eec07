#include "platform/FileAccess.h"

#include <windows.h>

#include <cstdio>
#include <random>
#include <system_error>

#include "common/Error.h"
#include "platform/windows/WindowsText.h"

namespace vr {
namespace {

// Every handle lets others read, write, rename and delete the file meanwhile: an operator
// reading the log, or a tool renaming it, never blocks the service, nor the service them.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Windows file times count 100 ns from 1601-01-01; identities count from 1970-01-01.
constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000;

std::string Display(const std::filesystem::path& path) { return win::Narrow(path.native()); }

[[noreturn]] void Throw(const char* verb, const std::filesystem::path& path, const std::string& reason) {
    throw Error(std::string("Não foi possível ") + verb + " o arquivo \"" + Display(path) + "\": " + reason);
}

[[noreturn]] void ThrowRead(const std::filesystem::path& path, DWORD code) {
    Throw("ler", path, win::SystemReason(code));
}

[[noreturn]] void ThrowWrite(const std::filesystem::path& path, DWORD code) {
    Throw("gravar", path, win::SystemReason(code));
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(Handle&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.handle_;
            other.handle_ = INVALID_HANDLE_VALUE;
        }
        return *this;
    }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Returns the system error code of closing, or 0.
    DWORD Close() {
        DWORD error = 0;
        if (valid() && !CloseHandle(handle_)) error = GetLastError();
        handle_ = INVALID_HANDLE_VALUE;
        return error;
    }

private:
    HANDLE handle_;
};

Handle Open(const std::filesystem::path& path, DWORD access, DWORD disposition, DWORD flags) {
    return Handle(CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition, flags, nullptr));
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    FileIdentity id;
    id.device = info.dwVolumeSerialNumber;
    id.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    id.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    const FILETIME& t = info.ftLastWriteTime;
    auto ticks = static_cast<std::int64_t>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime);
    ticks -= kUnixEpochTicks;
    std::int64_t seconds = ticks / kTicksPerSecond;
    std::int64_t rest = ticks % kTicksPerSecond;
    if (rest < 0) {  // before 1970: the nanoseconds stay positive, as on POSIX
        rest += kTicksPerSecond;
        --seconds;
    }
    id.modifiedSeconds = seconds;
    id.modifiedNanoseconds = rest * 100;
    return id;
}

// Returns the system error code, or 0.
DWORD Inspect(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return GetFileInformationByHandle(handle, &info) ? 0 : GetLastError();
}

// Writes every byte; returns the system error code, or 0.
DWORD WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr)) return GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes.remove_prefix(written);
    }
    return 0;
}

// Sets the last write time to now, explicitly. The file system may otherwise stamp a written file
// only when its handle closes, and the identity taken before closing would not be the file's.
DWORD StampWriteTime(HANDLE handle) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return SetFileTime(handle, nullptr, nullptr, &now) ? 0 : GetLastError();
}

std::wstring TemporaryName(const std::filesystem::path& path) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    wchar_t suffix[24];
    std::swprintf(suffix, 24, L".%016llx.tmp", static_cast<unsigned long long>(random()));
    return path.native() + suffix;
}

bool IsMissing(DWORD code) {
    // ERROR_DIRECTORY: a component of the path is a file, not a directory.
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_DIRECTORY;
}

}  // namespace

std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path) {
    // Backup semantics open directories too: they have an identity as well.
    Handle handle = Open(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    DWORD error = handle.valid() ? 0 : GetLastError();
    BY_HANDLE_FILE_INFORMATION info{};
    if (error == 0) error = Inspect(handle.get(), info);
    if (error == 0) return IdentityOf(info);
    if (IsMissing(error)) return std::nullopt;
    Throw("examinar", path, win::SystemReason(error));
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    Handle handle = Open(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (!handle.valid()) ThrowRead(path, GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    bool regular = GetFileType(handle.get()) == FILE_TYPE_DISK && Inspect(handle.get(), info) == 0 &&
                   (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (!regular) Throw("ler", path, "não é um arquivo comum");

    std::string content;
    content.resize(IdentityOf(info).size);
    std::size_t used = 0;
    for (;;) {
        if (used == content.size()) content.resize(content.size() + 65536);  // it grew meanwhile
        std::size_t room = content.size() - used;
        DWORD chunk = room > (1u << 30) ? (1u << 30) : static_cast<DWORD>(room);
        DWORD read = 0;
        if (!ReadFile(handle.get(), content.data() + used, chunk, &read, nullptr)) {
            ThrowRead(path, GetLastError());
        }
        if (read == 0) break;
        used += read;
    }
    content.resize(used);
    return content;
}

FileIdentity ReplaceWholeFile(const std::filesystem::path& link, std::string_view bytes) {
    // Through a symbolic link the file it names is replaced, not the link.
    std::error_code linkError;
    std::filesystem::path path = link;
    if (std::filesystem::is_symlink(link, linkError)) {
        std::filesystem::path target = std::filesystem::weakly_canonical(link, linkError);
        if (!linkError) path = target;
    }
    const DWORD access = GENERIC_WRITE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    std::wstring temporary;
    Handle handle(INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < 100 && !handle.valid(); ++attempt) {
        temporary = TemporaryName(path);
        handle = Open(temporary, access, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (!handle.valid() && GetLastError() != ERROR_FILE_EXISTS) ThrowWrite(link, GetLastError());
    }
    if (!handle.valid()) ThrowWrite(link, ERROR_FILE_EXISTS);

    auto fail = [&](DWORD error) {
        handle.Close();
        DeleteFileW(temporary.c_str());
        ThrowWrite(link, error);
    };
    if (DWORD error = WriteAll(handle.get(), bytes)) fail(error);
    if (DWORD error = StampWriteTime(handle.get())) fail(error);
    // On disk before the rename, or a crash could leave the new name over an empty file.
    if (!FlushFileBuffers(handle.get())) fail(GetLastError());
    BY_HANDLE_FILE_INFORMATION written{};
    if (DWORD error = Inspect(handle.get(), written)) fail(error);
    if (DWORD error = handle.Close()) {
        DeleteFileW(temporary.c_str());
        ThrowWrite(link, error);
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        ThrowWrite(link, error);
    }
    return IdentityOf(written);
}

std::optional<FileIdentity> AppendToFile(const std::filesystem::path& path, std::string_view bytes,
                                         const std::optional<FileIdentity>& expected) {
    const DWORD access = GENERIC_WRITE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    Handle handle = Open(path, access, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (!handle.valid()) ThrowWrite(path, GetLastError());
    BY_HANDLE_FILE_INFORMATION before{};
    if (DWORD error = Inspect(handle.get(), before)) ThrowWrite(path, error);
    const FileIdentity old = IdentityOf(before);
    if (expected && old != *expected) return std::nullopt;
    if (bytes.empty()) return old;

    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(old.size);
    if (!SetFilePointerEx(handle.get(), LARGE_INTEGER{}, nullptr, FILE_END)) ThrowWrite(path, GetLastError());
    if (DWORD error = WriteAll(handle.get(), bytes)) {
        // A partial entry would stay behind every later one: take it back.
        if (!SetFilePointerEx(handle.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(handle.get())) {
            Throw("gravar", path, win::SystemReason(error) + "; o final do arquivo ficou incompleto");
        }
        ThrowWrite(path, error);
    }
    if (DWORD error = StampWriteTime(handle.get())) ThrowWrite(path, error);
    BY_HANDLE_FILE_INFORMATION after{};
    if (DWORD error = Inspect(handle.get(), after)) ThrowWrite(path, error);
    if (DWORD error = handle.Close()) ThrowWrite(path, error);
    return IdentityOf(after);
}

}  // namespace vr
