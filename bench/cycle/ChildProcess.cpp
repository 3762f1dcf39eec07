#include "bench/cycle/ChildProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "common/Error.h"

extern char** environ;

namespace vr::bench {

ChildProcess::ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int error = posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        pid_ = -1;
        throw Error("cannot start " + program.string());
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
}

ChildEnd ChildProcess::Reaped(int status, const ::rusage& usage) {
    pid_ = -1;
    ChildEnd end;
    if (WIFEXITED(status)) end.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
    end.peakResidentKb = usage.ru_maxrss;
    end.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return end;
}

ChildEnd ChildProcess::Wait() {
    int status = 0;
    ::rusage usage{};
    if (wait4(pid_, &status, 0, &usage) != pid_) throw Error("wait4 failed");
    return Reaped(status, usage);
}

bool ChildProcess::WaitFor(double seconds, ChildEnd& end) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (true) {
        int status = 0;
        ::rusage usage{};
        const pid_t got = wait4(pid_, &status, WNOHANG, &usage);
        if (got == pid_) {
            end = Reaped(status, usage);
            return true;
        }
        if (got < 0) throw Error("wait4 failed");
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

double CpuSecondsOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold spaces; the fields counted from after its closing parenthesis.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14) utime = std::stoull(field);
        if (n == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long long StatusKbOf(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with(field + ":")) return std::stoll(line.substr(field.size() + 1));
    }
    return -1;
}

}  // namespace vr::bench
