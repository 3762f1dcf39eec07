// The service's executable at rest: started as a service under a stand-in service manager (a
// NOTIFY_SOCKET datagram socket made here), with no cycle due, it is watched for five seconds
// after it reports READY=1: CPU time used and resident set. Then SIGTERM, and the time it takes
// to end. Prints figures; never fails on them.

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <thread>

#include "bench/cycle/ChildProcess.h"
#include "bench/cycle/CycleBench.h"
#include "common/Error.h"

namespace {

namespace bench = vr::bench;
using Clock = std::chrono::steady_clock;

// The service manager's end of the notify protocol: a datagram socket bound to a path.
class NotifySocket {
public:
    explicit NotifySocket(const std::filesystem::path& path) : path_(path), fd_(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd_ < 0 || path.string().size() >= sizeof address.sun_path) throw vr::Error("cannot make the notify socket");
        std::strcpy(address.sun_path, path.c_str());
        if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw vr::Error("cannot bind " + path.string());
        }
    }
    ~NotifySocket() {
        if (fd_ >= 0) close(fd_);
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    // The next datagram within the limit; empty when none came.
    std::string Receive(int limitMs) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, limitMs) <= 0) return {};
        char buffer[4096];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

private:
    std::filesystem::path path_;
    int fd_;
};

}  // namespace

int main(int argc, char** argv) {
    const double watchSeconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    try {
        bench::Store store;
        store.MakeCurrent();
        const bench::ServiceDir dir(store);
        const std::filesystem::path executable = dir.CopyExecutable(VR_SERVICE_BINARY);
        NotifySocket notify(dir.path() / "notify.sock");
        setenv("NOTIFY_SOCKET", (dir.path() / "notify.sock").c_str(), 1);

        const Clock::time_point started = Clock::now();
        bench::ChildProcess child(executable, {"VevoveRazara"});
        unsetenv("NOTIFY_SOCKET");
        bool ready = false;
        while (!ready && Clock::now() - started < std::chrono::seconds(15)) {
            const std::string message = notify.Receive(500);
            ready = message.find("READY=1") != std::string::npos;
        }
        if (!ready) {
            std::printf("the service did not report READY=1 within 15 s\n");
            return 1;
        }
        const double readyAfter = std::chrono::duration<double>(Clock::now() - started).count();
        const double cpuAtReady = bench::CpuSecondsOf(child.pid());
        std::this_thread::sleep_for(std::chrono::duration<double>(watchSeconds));
        const double cpuAfter = bench::CpuSecondsOf(child.pid());
        const long long residentKb = bench::StatusKbOf(child.pid(), "VmRSS");
        const long long anonymousKb = bench::StatusKbOf(child.pid(), "RssAnon");
        const long long fileKb = bench::StatusKbOf(child.pid(), "RssFile");

        const Clock::time_point stopAsked = Clock::now();
        kill(child.pid(), SIGTERM);
        bench::ChildEnd end;
        const bool ended = child.WaitFor(30, end);
        const double stopSeconds = std::chrono::duration<double>(Clock::now() - stopAsked).count();

        std::printf("VevoveRazara as a service, idle (no cycle due), watched %.1f s after READY=1\n", watchSeconds);
        std::printf("  READY=1 after:          %8.3f s\n", readyAfter);
        std::printf("  CPU while idle:         %8.3f s (goal: none)\n", cpuAfter - cpuAtReady);
        std::printf("  CPU since start:        %8.3f s\n", cpuAfter);
        std::printf("  resident set (VmRSS):   %8.1f MB (goal: under 10 MB)\n", static_cast<double>(residentKb) / 1024.0);
        std::printf("    of which private:     %8.1f MB (RssAnon)\n", static_cast<double>(anonymousKb) / 1024.0);
        std::printf("    of which file pages:  %8.1f MB (RssFile: shared libraries, shared with other processes)\n",
                    static_cast<double>(fileKb) / 1024.0);
        std::printf("  peak resident (maxrss): %8.1f MB\n", static_cast<double>(end.peakResidentKb) / 1024.0);
        if (ended) {
            std::printf("  ended %.3f s after SIGTERM, exit status %d%s\n", stopSeconds, end.exitStatus,
                        end.signal != 0 ? (" (signal " + std::to_string(end.signal) + ")").c_str() : "");
        } else {
            std::printf("  still running 30 s after SIGTERM\n");
        }
        return ended ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_cycle_idle: %s\n", e.what());
    }
    return 1;
}
