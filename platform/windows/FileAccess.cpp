#include "platform/FileAccess.h"

#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

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

std::wstring RandomTemporaryName(const std::filesystem::path& path) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    wchar_t suffix[24];
    std::swprintf(suffix, 24, L".%016llx.tmp", static_cast<unsigned long long>(random()));
    return path.native() + suffix;
}

// What the administrator set on a file being replaced stays on the new one: its access rules,
// protected or inherited as they were, and its owner and group where the process may set them
// (a service allowed to restore files; otherwise the new file stays the service's own). The
// rename then carries them into the old one's place. A file without them (a new one) keeps
// what its directory gives.
void CopySecurity(const std::filesystem::path& from, const std::wstring& to) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PSID owner = nullptr;
    PSID group = nullptr;
    PACL dacl = nullptr;
    const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT, wanted, &owner, &group, &dacl, nullptr, &descriptor) !=
        ERROR_SUCCESS) {
        return;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    const SECURITY_INFORMATION daclInfo =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    std::wstring name = to;
    SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, daclInfo, nullptr, nullptr, dacl, nullptr);
    SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, owner,
                          group, nullptr, nullptr);
    LocalFree(descriptor);
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

struct FileReader::State {
    std::filesystem::path path;
    Handle handle{INVALID_HANDLE_VALUE};
};

FileReader::FileReader(const std::filesystem::path& path) : state_(std::make_unique<State>()) {
    state_->path = path;
    state_->handle = Open(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN);
    if (!state_->handle.valid()) ThrowRead(path, GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    bool regular = GetFileType(state_->handle.get()) == FILE_TYPE_DISK && Inspect(state_->handle.get(), info) == 0 &&
                   (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (!regular) Throw("ler", path, "não é um arquivo comum");
}

FileReader::~FileReader() = default;

std::size_t FileReader::Read(char* data, std::size_t size) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD read = 0;
    if (!ReadFile(state_->handle.get(), data, chunk, &read, nullptr)) ThrowRead(state_->path, GetLastError());
    return read;
}

FileIdentity FileReader::Identity() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (DWORD error = Inspect(state_->handle.get(), info)) ThrowRead(state_->path, error);
    return IdentityOf(info);
}

// The temporary file is held without sharing while it is written: a second writer of the same
// file finds it held and takes a name of its own, while one left by a killed process is held by
// nobody and is taken over, its content dropped.
struct FileReplacement::State {
    std::filesystem::path link;    // as given, for messages
    std::filesystem::path target;  // the file replaced
    std::wstring temporary;
    Handle handle{INVALID_HANDLE_VALUE};
    bool committed = false;
    Durability durability = Durability::kFlushed;
};

FileReplacement::FileReplacement(const std::filesystem::path& link, Durability durability)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.link = link;
    s.durability = durability;
    // Through a symbolic link the file it names is replaced, not the link.
    std::error_code linkError;
    s.target = link;
    if (std::filesystem::is_symlink(link, linkError)) {
        std::filesystem::path target = std::filesystem::weakly_canonical(link, linkError);
        if (!linkError) s.target = target;
    }
    const DWORD access = GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    s.temporary = s.target.native() + L".tmp";
    s.handle = Handle(CreateFileW(s.temporary.c_str(), access, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (s.handle.valid()) return;
    DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) ThrowWrite(link, error);
    for (int attempt = 0; attempt < 100 && !s.handle.valid(); ++attempt) {
        s.temporary = RandomTemporaryName(s.target);
        s.handle = Handle(CreateFileW(s.temporary.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!s.handle.valid() && GetLastError() != ERROR_FILE_EXISTS) ThrowWrite(link, GetLastError());
    }
    if (!s.handle.valid()) ThrowWrite(link, ERROR_FILE_EXISTS);
}

FileReplacement::~FileReplacement() {
    State& s = *state_;
    if (s.committed) return;
    if (s.handle.valid()) {
        // Deleted as the handle closes, so that no other writer can take it in between.
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        const bool marked =
            SetFileInformationByHandle(s.handle.get(), FileDispositionInfo, &disposition, sizeof disposition);
        s.handle.Close();
        if (marked) return;
    }
    DeleteFileW(s.temporary.c_str());
}

void FileReplacement::Write(std::string_view bytes) {
    if (DWORD error = WriteAll(state_->handle.get(), bytes)) ThrowWrite(state_->link, error);
}

FileIdentity FileReplacement::Commit() {
    State& s = *state_;
    if (DWORD error = StampWriteTime(s.handle.get())) ThrowWrite(s.link, error);
    // On disk before the rename, or a crash could leave the new name over an empty file.
    const bool flushed = s.durability == Durability::kFlushed;
    if (flushed && !FlushFileBuffers(s.handle.get())) ThrowWrite(s.link, GetLastError());
    BY_HANDLE_FILE_INFORMATION written{};
    if (DWORD error = Inspect(s.handle.get(), written)) ThrowWrite(s.link, error);
    CopySecurity(s.target, s.temporary);
    if (DWORD error = s.handle.Close()) ThrowWrite(s.link, error);
    const DWORD moveFlags = MOVEFILE_REPLACE_EXISTING | (flushed ? MOVEFILE_WRITE_THROUGH : 0);
    if (!MoveFileExW(s.temporary.c_str(), s.target.c_str(), moveFlags)) {
        DWORD error = GetLastError();
        DeleteFileW(s.temporary.c_str());
        s.committed = true;  // nothing left to remove
        ThrowWrite(s.link, error);
    }
    s.committed = true;
    return IdentityOf(written);
}

FileIdentity ReplaceWholeFile(const std::filesystem::path& path, std::string_view bytes) {
    FileReplacement replacement(path);
    replacement.Write(bytes);
    return replacement.Commit();
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
