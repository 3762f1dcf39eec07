#include "tests/support/FaultProxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace vr::test {
namespace {

sockaddr_in Address(const std::string& host, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) throw std::runtime_error("bad address " + host);
    return address;
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

struct FaultProxy::Connection {
    int client = -1;
    int server = -1;  // -1: never answered
    bool frozen = false;
    bool reset = false;
    std::optional<Direction> lastDirection;
    std::string held[2];  // bytes taken in while frozen on them, per direction
};

FaultProxy::FaultProxy(std::string listenHost, std::string targetHost, int targetPort)
    : targetHost_(std::move(targetHost)), targetPort_(targetPort) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in address = Address(listenHost, 3050);
    // The previous test's proxy may still be letting go of the address for a moment.
    bool bound = false;
    for (int attempt = 0; attempt < 50 && !bound; ++attempt) {
        bound = bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        if (!bound) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!bound || listen(listener_, 16) != 0) {
        const std::string reason = std::strerror(errno);
        close(listener_);
        throw std::runtime_error("the fault proxy cannot listen on " + listenHost + ":3050: " + reason);
    }
    acceptor_ = std::thread([this] { Accept(); });
}

FaultProxy::~FaultProxy() {
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    close(listener_);
    {
        const std::lock_guard lock(mutex_);
        for (const auto& c : connections_) {
            shutdown(c->client, SHUT_RDWR);
            if (c->server >= 0) shutdown(c->server, SHUT_RDWR);
        }
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void FaultProxy::PassThrough() {
    {
        const std::lock_guard lock(mutex_);
        mode_ = Mode::Forward;
        armed_ = false;
        for (const auto& c : connections_) c->frozen = false;
    }
    changed_.notify_all();
}

void FaultProxy::FreezeAll() {
    const std::lock_guard lock(mutex_);
    mode_ = Mode::Frozen;
    for (const auto& c : connections_) c->frozen = true;
}

void FaultProxy::AcceptAndNeverAnswer() {
    const std::lock_guard lock(mutex_);
    mode_ = Mode::Blackhole;
}

void FaultProxy::ResetAll() {
    const std::lock_guard lock(mutex_);
    for (const auto& c : connections_) {
        if (c->reset) continue;
        c->reset = true;
        // A zero linger turns the serving thread's close into a reset.
        const linger hard{1, 0};
        setsockopt(c->client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    changed_.notify_all();
}

bool FaultProxy::Triggered() {
    const std::lock_guard lock(mutex_);
    return triggered_;
}

void FaultProxy::FreezeAtMessage(Direction direction, int n) {
    const std::lock_guard lock(mutex_);
    triggered_ = false;
    for (const auto& c : connections_) c->lastDirection.reset();
    armed_ = true;
    byMessage_ = true;
    direction_ = direction;
    remaining_ = n;
}

void FaultProxy::FreezeAfterBytes(Direction direction, long long n) {
    const std::lock_guard lock(mutex_);
    triggered_ = false;
    armed_ = true;
    byMessage_ = false;
    direction_ = direction;
    remaining_ = n;
}

void FaultProxy::Accept() {
    while (!stop_) {
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (stop_) return;
            continue;
        }
        ++accepted_;
        auto connection = std::make_shared<Connection>();
        connection->client = client;
        const std::lock_guard lock(mutex_);
        if (mode_ != Mode::Blackhole) {
            connection->server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in target = Address(targetHost_, targetPort_);
            if (connect(connection->server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
                close(connection->server);
                close(client);
                continue;
            }
        }
        connection->frozen = mode_ == Mode::Frozen;
        connections_.push_back(connection);
        threads_.emplace_back([this, connection] { Serve(connection); });
    }
}

bool FaultProxy::Admit(Connection& c, Direction direction, std::size_t size) {
    // Called with the lock held.
    if (!armed_ || direction != direction_) {
        c.lastDirection = direction;
        return true;
    }
    if (byMessage_) {
        if (c.lastDirection != direction) --remaining_;
        c.lastDirection = direction;
        if (remaining_ > 0) return true;
    } else {
        if (static_cast<long long>(size) <= remaining_) {
            remaining_ -= static_cast<long long>(size);
            return true;
        }
    }
    armed_ = false;
    triggered_ = true;
    c.frozen = true;
    return false;
}

void FaultProxy::Serve(const std::shared_ptr<Connection>& connection) {
    Connection& c = *connection;
    char buffer[65536];
    const auto finish = [&] {
        close(c.client);
        if (c.server >= 0) close(c.server);
    };
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            // Frozen: nothing is read, so the peers' bytes wait in the kernel and TCP stays up.
            changed_.wait(lock, [&] { return !c.frozen || stop_ || c.reset; });
            if (stop_ || c.reset) break;
            // What was held when the connection froze goes first once it thaws.
            for (int d = 0; d < 2; ++d) {
                if (c.held[d].empty()) continue;
                const int to = d == static_cast<int>(Direction::ToServer) ? c.server : c.client;
                const std::string held = std::move(c.held[d]);
                c.held[d].clear();
                lock.unlock();
                SendAll(to, held.data(), held.size());
                lock.lock();
            }
        }
        pollfd fds[2] = {{c.client, POLLIN, 0}, {c.server, POLLIN, 0}};
        const int count = c.server >= 0 ? 2 : 1;
        // A short wait, so that a freeze or a reset ordered meanwhile takes effect quickly.
        if (poll(fds, static_cast<nfds_t>(count), 20) < 0 && errno != EINTR) break;
        bool ended = false;
        for (int i = 0; i < count && !ended; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            const ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ended = true;
                break;
            }
            if (c.server < 0) continue;  // never answered: read and dropped
            const Direction direction = i == 0 ? Direction::ToServer : Direction::ToClient;
            bool admitted = false;
            {
                const std::lock_guard lock(mutex_);
                if (c.frozen) {
                    c.held[static_cast<int>(direction)].append(buffer, static_cast<std::size_t>(n));
                    continue;
                }
                admitted = Admit(c, direction, static_cast<std::size_t>(n));
                if (!admitted) c.held[static_cast<int>(direction)].append(buffer, static_cast<std::size_t>(n));
            }
            if (admitted && !SendAll(i == 0 ? c.server : c.client, buffer, static_cast<std::size_t>(n))) ended = true;
        }
        if (ended) break;
    }
    finish();
}

}  // namespace vr::test
