#pragma once

// The service manager's end of systemd's notify protocol, for the tests that run the host as a
// service on Linux.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "common/Error.h"
#include "tests/service/HostTestSupport.h"

namespace vr::test {

class NotifySocket {
public:
    explicit NotifySocket(const std::filesystem::path& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            const std::string reason = std::strerror(errno);
            if (fd_ >= 0) ::close(fd_);
            throw Error("notify socket: " + reason);
        }
    }
    ~NotifySocket() {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    std::optional<std::string> Next() {
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, MillisecondsLeft(Clock::now() + kPatience)) <= 0) return std::nullopt;
        char buffer[4096];
        const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
        if (got < 0) return std::nullopt;
        return std::string(buffer, static_cast<std::size_t>(got));
    }
    bool Quiet(std::chrono::milliseconds span) {
        pollfd entry{fd_, POLLIN, 0};
        return ::poll(&entry, 1, static_cast<int>(span.count())) == 0;
    }

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

}  // namespace vr::test
