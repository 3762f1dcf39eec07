#pragma once

// A child process that does not outlive the test, whatever fails before it is waited for
// (POSIX only).

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>

namespace vr::test {

struct ChildReaper {
    explicit ChildReaper(pid_t child) : pid(child) {}
    ChildReaper(const ChildReaper&) = delete;  // a copy's end would kill the child
    ChildReaper& operator=(const ChildReaper&) = delete;

    pid_t pid;
    bool reaped = false;  // set once the test has waited for it itself
    ~ChildReaper() {
        if (!reaped) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

}  // namespace vr::test
