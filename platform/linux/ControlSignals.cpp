#include "platform/ControlSignals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

#include "common/Error.h"

namespace vr {
namespace {

// SIGTERM is also what systemd sends at shutdown; SIGHUP stands for the end of a user's session,
// which must not end the service, so it is taken and dropped.
std::optional<std::uint32_t> CodeOf(std::uint32_t signal) {
    switch (signal) {
        case SIGTERM:
        case SIGINT: return ControlCode::Stop;
        case SIGTSTP: return ControlCode::Pause;
        case SIGCONT: return ControlCode::Continue;
        default: return std::nullopt;
    }
}

sigset_t ControlSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGTERM, SIGINT, SIGTSTP, SIGCONT, SIGHUP}) sigaddset(&set, signal);
    return set;
}

[[noreturn]] void Fail(const char* what, int error) {
    throw Error(std::string("Falha ao preparar os sinais de controle (") + what +
                "): " + std::generic_category().message(error));
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

private:
    int fd_;
};

// Blocks the control signals in the calling thread (and so in every thread it starts later)
// for its lifetime.
class BlockedSignals {
public:
    BlockedSignals() : set_(ControlSet()) {
        if (const int error = pthread_sigmask(SIG_BLOCK, &set_, &previous_); error != 0) {
            Fail("pthread_sigmask", error);
        }
    }
    ~BlockedSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    BlockedSignals(const BlockedSignals&) = delete;
    BlockedSignals& operator=(const BlockedSignals&) = delete;
    const sigset_t& set() const { return set_; }

private:
    sigset_t set_;
    sigset_t previous_{};
};

int OpenSignalFd(const sigset_t& set) {
    const int fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd < 0) Fail("signalfd", errno);
    return fd;
}

int OpenEventFd() {
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) Fail("eventfd", errno);
    return fd;
}

}  // namespace

// Members are destroyed in reverse order: the descriptors close before the mask is restored.
struct ControlSignals::Impl {
    BlockedSignals blocked;
    Fd signals{OpenSignalFd(blocked.set())};
    Fd stop{OpenEventFd()};

    ~Impl() {
        // Requests that arrived after the last Wait would otherwise reach the defaults (and end
        // the process) once unblocked.
        signalfd_siginfo info{};
        while (::read(signals.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
    }
    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

ControlSignals::ControlSignals() : impl_(std::make_unique<Impl>()) {}

ControlSignals::~ControlSignals() = default;

std::optional<std::uint32_t> ControlSignals::Wait() {
    for (;;) {
        pollfd fds[2] = {{impl_->stop.get(), POLLIN, 0}, {impl_->signals.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            Fail("poll", errno);
        }
        if (fds[0].revents != 0) return std::nullopt;
        signalfd_siginfo info{};
        const ssize_t got = ::read(impl_->signals.get(), &info, sizeof info);
        if (got != static_cast<ssize_t>(sizeof info)) continue;  // taken meanwhile: wait again
        if (const auto code = CodeOf(info.ssi_signo)) return code;
    }
}

void ControlSignals::Stop() {
    const std::uint64_t one = 1;
    // The counter only grows; a failed write could only mean it is already far from zero.
    [[maybe_unused]] const ssize_t written = ::write(impl_->stop.get(), &one, sizeof one);
}

}  // namespace vr
