#pragma once

// What driving the stand-in needs from the OS, one implementation per OS (StandinPosix.cpp,
// StandinWindows.cpp): starting standin.py and ending it, naming a path as that program sees
// it, the test process's environment and its trust in the test CA.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vr::standin {

// "python standin.py <args>" running beside the tests, its output going to a log file.
// Destroying the object ends the program and waits for it.
class StandinProcess {
public:
    StandinProcess(const std::filesystem::path& python, const std::filesystem::path& program,
                   const std::vector<std::string>& args, const std::filesystem::path& log);
    ~StandinProcess();
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    // True once the program has ended; never waits.
    bool HasEnded();
    // Waits until the program ends by itself.
    void Wait();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The path as standin.py, a program of the host, names it.
std::string HostPath(const std::filesystem::path& path);

void SetVariable(const std::string& name, const std::string& value);
void UnsetVariable(const std::string& name);

// Makes the programs this process starts trust certificates issued by the CA in caFile (PEM),
// and on Windows the transport of this process too (libcurl's clients here are given the CA).
void TrustTestCa(const std::filesystem::path& caFile);
// Takes that trust back. On Windows the trust lives in the machine's store, which outlives the
// tests: a real machine must not be left trusting a test CA.
void DistrustTestCa(const std::filesystem::path& caFile);

// Makes the transport of this process go through the proxy at 127.0.0.1:port, where the
// service takes its proxy from (https_proxy on Linux, WinHTTP's default proxy on Windows), and
// takes that back. The Windows setting is the machine's, like the trust in the test CA.
void UseProxy(int port);
void UseNoProxy();

}  // namespace vr::standin
