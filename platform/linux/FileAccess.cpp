#include "platform/FileAccess.h"

#include <fcntl.h>
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

std::string TemporaryName(const std::filesystem::path& path) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx.tmp",
                  static_cast<unsigned long long>(random()));
    return path.string() + suffix;
}

}  // namespace

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

FileIdentity ReplaceWholeFile(const std::filesystem::path& link, std::string_view bytes) {
    // Through a symbolic link the file it names is replaced, not the link.
    std::error_code linkError;
    std::filesystem::path path = link;
    if (std::filesystem::is_symlink(link, linkError)) {
        std::filesystem::path target = std::filesystem::weakly_canonical(link, linkError);
        if (!linkError) path = target;
    }
    std::string temporary;
    int fdNumber = -1;
    for (int attempt = 0; attempt < 100 && fdNumber < 0; ++attempt) {
        temporary = TemporaryName(path);
        fdNumber = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fdNumber < 0 && errno != EEXIST) ThrowWrite(link, Reason(errno));
    }
    if (fdNumber < 0) ThrowWrite(link, Reason(EEXIST));
    Fd fd(fdNumber);

    auto fail = [&](int error) {
        fd.Close();
        ::unlink(temporary.c_str());
        ThrowWrite(link, Reason(error));
    };
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
        ::fchmod(fd.get(), old.st_mode & 07777) != 0) {
        fail(errno);
    }
    if (int error = WriteAll(fd.get(), bytes)) fail(error);
    // On disk before the rename, or a crash could leave the new name over an empty file.
    if (::fsync(fd.get()) != 0) fail(errno);
    struct stat written {};
    if (::fstat(fd.get(), &written) != 0) fail(errno);
    if (int error = fd.Close()) {
        ::unlink(temporary.c_str());
        ThrowWrite(link, Reason(error));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        ThrowWrite(link, Reason(error));
    }
    // Makes the rename itself durable; the file is already whole either way.
    std::filesystem::path directory = path.parent_path().empty() ? "." : path.parent_path();
    Fd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
    return IdentityOf(written);
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
