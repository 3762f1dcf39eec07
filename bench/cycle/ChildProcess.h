#pragma once

// Starting the service's executable from a benchmark and collecting what the kernel measured of
// it: exit status, peak resident set and CPU time.

#include <sys/resource.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vr::bench {

struct ChildEnd {
    int exitStatus = -1;       // -1 when it ended by a signal
    int signal = 0;
    long long peakResidentKb = 0;
    double cpuSeconds = 0;
};

class ChildProcess {
public:
    // Starts program with the arguments (argv[0] is the program's file name), in this process's
    // environment. Throws vr::Error when it cannot start.
    ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments);
    // Ends a child still running (SIGKILL) and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Waits for the end; with a limit, false when the child has not ended within it.
    ChildEnd Wait();
    bool WaitFor(double seconds, ChildEnd& end);

private:
    ChildEnd Reaped(int status, const ::rusage& usage);
    pid_t pid_ = -1;
};

// From /proc/<pid>: CPU time used so far (user + system), and a kB field of its status such as
// "VmRSS", "RssAnon" (private memory) or "RssFile" (pages of mapped files, shared with others).
double CpuSecondsOf(pid_t pid);
long long StatusKbOf(pid_t pid, const std::string& field);

}  // namespace vr::bench
