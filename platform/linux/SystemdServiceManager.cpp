#include "platform/linux/SystemdServiceManager.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "platform/linux/ServiceUnitTemplate.h"

extern char** environ;

namespace vr {
namespace {

std::string SystemMessage(int error) { return std::generic_category().message(error); }

// systemd reads the command line, and a list of paths, with its own quoting: a backslash
// escapes, "%" starts a specifier, and words are split at blanks unless quoted.
std::string Word(const std::string& path) {
    std::string escaped;
    bool needsQuotes = false;
    for (char c : path) {
        switch (c) {
            case '\n':
            case '\r': throw Error("o caminho do executável contém uma quebra de linha");
            case '%': escaped += "%%"; break;
            case '\\': escaped += "\\\\"; break;
            case '"':
                escaped += "\\\"";
                needsQuotes = true;
                break;
            case ' ':
            case '\t':
            case '\'':
                escaped += c;
                needsQuotes = true;
                break;
            default: escaped += c;
        }
    }
    return needsQuotes ? '"' + escaped + '"' : escaped;
}

// "%" starts a specifier in every value.
std::string Specifiers(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        escaped += c;
        if (c == '%') escaped += '%';
    }
    return escaped;
}

// A path as a condition reads it: the whole rest of the line, with specifiers.
std::string PlainPath(const std::string& path) {
    if (path.find_first_of("\r\n") != std::string::npos) {
        throw Error("o caminho do executável contém uma quebra de linha");
    }
    return Specifiers(path);
}

// Replaces every placeholder of the unit template; a placeholder the template does not hold is
// a build mistake, caught by the tests, not something to report at run time.
void Fill(std::string& text, std::string_view placeholder, const std::string& value) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
}

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0) throw Error("pipe: " + SystemMessage(errno));
    }
    ~Pipe() {
        CloseWrite();
        ::close(fds_[0]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int read() const { return fds_[0]; }
    int write() const { return fds_[1]; }
    void CloseWrite() {
        if (fds_[1] >= 0) ::close(fds_[1]);
        fds_[1] = -1;
    }

private:
    int fds_[2] = {-1, -1};
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

struct Outcome {
    int status = 0;
    std::string output;  // standard output and error together
};

Outcome Run(const std::vector<std::string>& command) {
    Pipe output;
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), output.write(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), output.write(), STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (const int error = posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ);
        error != 0) {
        throw Error("não foi possível executar " + command[0] + ": " + SystemMessage(error));
    }
    output.CloseWrite();
    Outcome outcome;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(output.read(), buffer, sizeof buffer);
        if (got > 0) {
            outcome.output.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

}  // namespace

SystemdServiceManager::SystemdServiceManager(SystemdLayout layout) : layout_(std::move(layout)) {
    std::error_code error;
    if (!std::filesystem::is_directory(layout_.runtimeDirectory, error)) {
        throw ServiceManagerUnavailable("o systemd não está em execução (" +
                                        layout_.runtimeDirectory.string() + " não existe)");
    }
    if (!std::filesystem::is_directory(layout_.unitDirectory, error)) {
        throw ServiceManagerUnavailable("o diretório de unidades do systemd " +
                                        layout_.unitDirectory.string() + " não existe");
    }
}

std::string SystemdServiceManager::UnitText(const ServiceRegistration& service) {
    const std::string executable = service.executable.string();
    const std::string directory = service.executable.parent_path().string();
    std::string text = kServiceUnitTemplate;
    Fill(text, "@DESCRIPTION@", Specifiers(service.displayName));
    Fill(text, "@EXEC_START@", Word(executable));
    Fill(text, "@EXECUTABLE@", Word(executable));
    Fill(text, "@DIRECTORY_PATH@", PlainPath(directory));
    Fill(text, "@DIRECTORY@", Word(directory));
    return text;
}

std::filesystem::path SystemdServiceManager::UnitPath(std::string_view name) const {
    return layout_.unitDirectory / (std::string(name) + ".service");
}

void SystemdServiceManager::Systemctl(std::initializer_list<std::string> arguments) const {
    std::vector<std::string> command{layout_.systemctl};
    command.insert(command.end(), arguments);
    const Outcome outcome = Run(command);
    if (outcome.status == 0) return;
    std::string text = "systemctl";
    for (const std::string& word : arguments) text += " " + word;
    text += " terminou com o código " + std::to_string(outcome.status);
    if (const std::string output = Trimmed(outcome.output); !output.empty()) text += ": " + output;
    throw Error(text);
}

void SystemdServiceManager::CreateService(const ServiceRegistration& service) {
    const std::string text = UnitText(service);
    const std::filesystem::path path = UnitPath(service.name);
    // O_EXCL makes "already registered" and "now registered" one step, as a service manager's
    // own registration would be.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST) throw ServiceAlreadyExists("o serviço já existe (" + path.string() + ")");
        throw Error("não foi possível criar " + path.string() + ": " + SystemMessage(errno));
    }
    std::size_t written = 0;
    int writeError = 0;
    while (written < text.size()) {
        const ssize_t got = ::write(fd, text.data() + written, text.size() - written);
        if (got < 0) {
            if (errno == EINTR) continue;
            writeError = errno;
            break;
        }
        written += static_cast<std::size_t>(got);
    }
    if (::close(fd) != 0 && writeError == 0) writeError = errno;
    try {
        if (writeError != 0) {
            throw Error("não foi possível gravar " + path.string() + ": " + SystemMessage(writeError));
        }
        Systemctl({"daemon-reload"});
        Systemctl({"enable", path.filename().string()});
    } catch (...) {
        // A half-registered service would make the next attempt fail as "already exists".
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        try {
            Systemctl({"daemon-reload"});
        } catch (const Error&) {
            // The original failure is the one to report.
        }
        throw;
    }
}

void SystemdServiceManager::DeleteService(std::string_view name) {
    const std::filesystem::path path = UnitPath(name);
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
        throw ServiceDoesNotExist("o serviço especificado não existe (" + path.string() + ")");
    }
    // Disabling leaves a running service running; only its registration goes.
    Systemctl({"disable", path.filename().string()});
    if (!std::filesystem::remove(path, error) && error) {
        throw Error("não foi possível remover " + path.string() + ": " + error.message());
    }
    Systemctl({"daemon-reload"});
}

std::unique_ptr<ServiceManager> OpenServiceManager() {
    return std::make_unique<SystemdServiceManager>(SystemdLayout{});
}

}  // namespace vr
