#pragma once

// A writer killed with SIGKILL in the middle of its work, as a crash or an administrator's kill -9
// would end it (POSIX only).

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace vr::test {

// Runs `write` in a child process and kills the child as soon as it calls `ready`; `write` must
// go on writing after that until it is killed. Returns once the child is gone.
inline void KillMidWrite(const std::function<void(const std::function<void()>& ready)>& write) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipe[0]);
        write([&] {
            const char one = '1';
            if (::write(pipe[1], &one, 1) != 1) ::_exit(1);
        });
        ::_exit(2);  // never reached by a writer that keeps writing
    }
    ::close(pipe[1]);
    char one = 0;
    ASSERT_EQ(::read(pipe[0], &one, 1), 1);
    ::close(pipe[0]);
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
}

}  // namespace vr::test
