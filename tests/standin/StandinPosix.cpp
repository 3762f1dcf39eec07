#include "tests/standin/StandinPlatform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace vr::standin {

struct StandinProcess::State {
    pid_t pid = -1;
};

StandinProcess::StandinProcess(const std::filesystem::path& python, const std::filesystem::path& program,
                               const std::vector<std::string>& args, const std::filesystem::path& log)
    : state_(std::make_unique<State>()) {
    std::vector<std::string> command = {python.string(), program.string()};
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : command) argv.push_back(arg.data());
    argv.push_back(nullptr);
    // The program must not hold the test's output open: a runner waits for it to close.
    const std::string logPath = log.string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned = posix_spawnp(&state_->pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        state_->pid = -1;
        throw std::runtime_error("stand-in: could not start " + python.string());
    }
}

StandinProcess::~StandinProcess() {
    if (state_->pid <= 0) return;
    kill(state_->pid, SIGTERM);
    Wait();
}

bool StandinProcess::HasEnded() {
    if (state_->pid <= 0) return true;
    int status = 0;
    if (waitpid(state_->pid, &status, WNOHANG) != state_->pid) return false;
    state_->pid = -1;
    return true;
}

void StandinProcess::Wait() {
    if (state_->pid <= 0) return;
    int status = 0;
    while (waitpid(state_->pid, &status, 0) < 0 && errno == EINTR) {
    }
    state_->pid = -1;
}

std::string HostPath(const std::filesystem::path& path) { return path.string(); }

void SetVariable(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

void UnsetVariable(const std::string& name) { ::unsetenv(name.c_str()); }

// The service executable reads its extra bundle from SSL_CERT_FILE; clients in this process
// are given it instead (test::StandinTrust).
void TrustTestCa(const std::filesystem::path& caFile) { SetVariable("SSL_CERT_FILE", caFile.string()); }

void DistrustTestCa(const std::filesystem::path&) { UnsetVariable("SSL_CERT_FILE"); }

// The stand-in's environment keeps loopback off any proxy; this takes that back for the while.
void UseProxy(int port) {
    SetVariable("https_proxy", "http://127.0.0.1:" + std::to_string(port));
    UnsetVariable("no_proxy");
    UnsetVariable("NO_PROXY");
}

void UseNoProxy() {
    UnsetVariable("https_proxy");
    SetVariable("no_proxy", "127.0.0.1,localhost");
    SetVariable("NO_PROXY", "127.0.0.1,localhost");
}

}  // namespace vr::standin
