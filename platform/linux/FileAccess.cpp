#include "platform/FileAccess.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#include "common/Error.h"

namespace vr {
namespace {

// The operators read these in the activity log: the usual causes in their language, the C
// library's wording for the rest.
std::string Reason(int error) {
    switch (error) {
        case ENOENT: return "arquivo ou diretório inexistente";
        case ENOTDIR: return "um componente do caminho não é um diretório";
        case EISDIR: return "é um diretório";
        case EACCES:
        case EPERM: return "acesso negado";
        case EROFS: return "sistema de arquivos somente para leitura";
        case ENOSPC: return "disco cheio";
        case EFBIG: return "arquivo grande demais";
        case EDQUOT: return "cota de disco excedida";
        case EIO: return "erro de entrada e saída";
        case ENXIO: return "nenhum leitor do outro lado";
        case EMFILE:
        case ENFILE: return "arquivos abertos demais";
        default: return std::generic_category().message(error);
    }
}

[[noreturn]] void ThrowRead(const std::filesystem::path& path, const std::string& reason) {
    throw Error("Não foi possível ler o arquivo \"" + path.string() + "\": " + reason);
}

[[noreturn]] void ThrowWrite(const std::filesystem::path& path, const std::string& reason) {
    throw Error("Não foi possível gravar o arquivo \"" + path.string() + "\": " + reason);
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = other.Release();
        }
        return *this;
    }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closing reports errors a delayed write may still produce; returns errno or 0.
    int Close() {
        int result = ::close(fd_) == 0 ? 0 : errno;
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

FileIdentity IdentityOf(const struct stat& st) {
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.modifiedSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    id.modifiedNanoseconds = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return id;
}

// Writes every byte, going on after short writes and interrupted calls; returns errno or 0.
int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

std::string RandomTemporaryName(const std::filesystem::path& path) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx.tmp",
                  static_cast<unsigned long long>(random()));
    return path.string() + suffix;
}

// The file a path names at last: through every symbolic link on the way, a relative link read
// from the link's own directory. A link naming no file yet gives the file it would name, so
// that the replacement creates it and the link stays.
std::filesystem::path FinalTarget(const std::filesystem::path& path) {
    std::filesystem::path current = path;
    for (int hop = 0; hop < 40; ++hop) {  // the kernel's own limit on links in a row
        std::error_code error;
        if (!std::filesystem::is_symlink(current, error)) return current;
        std::filesystem::path next = std::filesystem::read_symlink(current, error);
        if (error) return current;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return current;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

// An open temporary file under its fixed name, locked for as long as it is written: a lock held
// on it means another process is writing it now, a file found without one was left by a process
// that died while writing, and is removed. Locks end with the process that holds them, so a
// kill never leaves one behind.
struct FileReplacement::State {
    std::filesystem::path link;    // as given, for messages
    std::filesystem::path target;  // the file replaced
    std::string temporary;
    Fd fd{-1};
    bool committed = false;
    Durability durability = Durability::kFlushed;

    [[noreturn]] void Fail(int error) { ThrowWrite(link, Reason(error)); }

    // Takes the fixed name; false when another process holds it now.
    bool TakeFixedName() {
        for (int attempt = 0; attempt < 10; ++attempt) {
            Fd created(::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
            if (!created.valid() && errno != EEXIST) Fail(errno);
            if (created.valid()) {
                // Between the creation and the lock another writer may have judged the new file
                // stale and removed it: the lock counts only while the name still holds it.
                if (::flock(created.get(), LOCK_EX | LOCK_NB) != 0) return false;
                if (!HoldsName(created.get())) continue;
                fd = Fd(created.Release());
                return true;
            }
            Fd found(::open(temporary.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
            if (!found.valid()) {
                if (errno == ENOENT) continue;  // its writer has just finished
                return false;                   // not ours to take over (a link, a FIFO, no access)
            }
            if (::flock(found.get(), LOCK_EX | LOCK_NB) != 0) return false;  // being written now
            if (!HoldsName(found.get())) continue;
            // Left by a writer that died: nobody else can hold it while it is locked here.
            if (::unlink(temporary.c_str()) != 0) return false;
        }
        return false;
    }

    bool HoldsName(int descriptor) const {
        struct stat opened {};
        struct stat named {};
        return ::fstat(descriptor, &opened) == 0 && ::lstat(temporary.c_str(), &named) == 0 &&
               SameFile(opened, named);
    }
};

FileReplacement::FileReplacement(const std::filesystem::path& path, Durability durability)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.link = path;
    s.durability = durability;
    s.target = FinalTarget(path);
    s.temporary = s.target.string() + ".tmp";
    if (s.TakeFixedName()) return;
    // Another process is replacing the same file right now: a name of this writer's own.
    for (int attempt = 0; attempt < 100 && !s.fd.valid(); ++attempt) {
        s.temporary = RandomTemporaryName(s.target);
        s.fd = Fd(::open(s.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!s.fd.valid() && errno != EEXIST) s.Fail(errno);
    }
    if (!s.fd.valid()) s.Fail(EEXIST);
}

FileReplacement::~FileReplacement() {
    if (state_->committed) return;
    // Removed while still locked, so no other writer can be using it.
    ::unlink(state_->temporary.c_str());
}

void FileReplacement::Write(std::string_view bytes) {
    if (int error = WriteAll(state_->fd.get(), bytes)) state_->Fail(error);
}

FileIdentity FileReplacement::Commit() {
    State& s = *state_;
    // What the administrator set on the file stays: owner and group first, since a change of
    // owner clears the set-user-ID bits that the mode then sets again. Only root may give a file
    // to another owner; a service running as another user keeps at least the group and mode.
    struct stat old {};
    if (::stat(s.target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (::fchown(s.fd.get(), old.st_uid, old.st_gid) != 0 &&
            ::fchown(s.fd.get(), static_cast<uid_t>(-1), old.st_gid) != 0 && errno != EPERM) {
            s.Fail(errno);
        }
        if (::fchmod(s.fd.get(), old.st_mode & 07777) != 0) s.Fail(errno);
    }
    // On disk before the rename, or a crash could leave the new name over an empty file.
    const bool flushed = s.durability == Durability::kFlushed;
    if (flushed && ::fsync(s.fd.get()) != 0) s.Fail(errno);
    struct stat written {};
    if (::fstat(s.fd.get(), &written) != 0) s.Fail(errno);
    if (::rename(s.temporary.c_str(), s.target.c_str()) != 0) s.Fail(errno);
    s.committed = true;
    // The lock goes with the descriptor; the name no longer leads to this file.
    if (int error = s.fd.Close()) ThrowWrite(s.link, Reason(error));
    // Makes the rename itself durable; the file is already whole either way.
    if (!flushed) return IdentityOf(written);
    std::filesystem::path directory = s.target.parent_path().empty() ? "." : s.target.parent_path();
    Fd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
    return IdentityOf(written);
}

struct FileReader::State {
    std::filesystem::path path;
    Fd fd{-1};
};

FileReader::FileReader(const std::filesystem::path& path) : state_(std::make_unique<State>()) {
    state_->path = path;
    // Non-blocking, so that a pipe put in the file's place cannot hang the reader.
    state_->fd = Fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!state_->fd.valid()) ThrowRead(path, Reason(errno));
    struct stat st {};
    if (::fstat(state_->fd.get(), &st) != 0) ThrowRead(path, Reason(errno));
    if (!S_ISREG(st.st_mode)) ThrowRead(path, "não é um arquivo comum");
}

FileReader::~FileReader() = default;

std::size_t FileReader::Read(char* data, std::size_t size) {
    for (;;) {
        ssize_t n = ::read(state_->fd.get(), data, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) ThrowRead(state_->path, Reason(errno));
    }
}

FileIdentity FileReader::Identity() const {
    struct stat st {};
    if (::fstat(state_->fd.get(), &st) != 0) ThrowRead(state_->path, Reason(errno));
    return IdentityOf(st);
}

std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw Error("Não foi possível examinar o arquivo \"" + path.string() + "\": " +
                    Reason(errno));
    }
    return IdentityOf(st);
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    // Non-blocking, so that a pipe put in the file's place cannot hang the reader.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) ThrowRead(path, Reason(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) ThrowRead(path, Reason(errno));
    if (!S_ISREG(st.st_mode)) ThrowRead(path, "não é um arquivo comum");

    std::string content;
    content.resize(static_cast<std::size_t>(st.st_size));
    std::size_t used = 0;
    for (;;) {
        if (used == content.size()) content.resize(content.size() + 65536);  // it grew meanwhile
        ssize_t n = ::read(fd.get(), content.data() + used, content.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowRead(path, Reason(errno));
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    content.resize(used);
    return content;
}

FileIdentity ReplaceWholeFile(const std::filesystem::path& path, std::string_view bytes) {
    FileReplacement replacement(path);
    replacement.Write(bytes);
    return replacement.Commit();
}

std::optional<FileIdentity> AppendToFile(const std::filesystem::path& path, std::string_view bytes,
                                         const std::optional<FileIdentity>& expected) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) ThrowWrite(path, Reason(errno));
    struct stat before {};
    if (::fstat(fd.get(), &before) != 0) ThrowWrite(path, Reason(errno));
    if (expected && IdentityOf(before) != *expected) return std::nullopt;

    if (int error = WriteAll(fd.get(), bytes)) {
        // A partial entry would stay behind every later one: take it back.
        if (S_ISREG(before.st_mode) && ::ftruncate(fd.get(), before.st_size) != 0) {
            ThrowWrite(path, Reason(error) + "; o final do arquivo ficou incompleto");
        }
        ThrowWrite(path, Reason(error));
    }
    struct stat after {};
    if (::fstat(fd.get(), &after) != 0) ThrowWrite(path, Reason(errno));
    if (int error = fd.Close()) ThrowWrite(path, Reason(error));
    return IdentityOf(after);
}

}  // namespace vr
