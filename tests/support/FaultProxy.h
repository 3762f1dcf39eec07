#pragma once

// A TCP proxy between the service and the database server that misbehaves on request: it
// forwards, freezes (stops reading both sides, so the bytes wait in the kernel and TCP stays up,
// as with a frozen host or a firewall that starts dropping packets), resets, or accepts and
// never answers. It listens on another loopback address with the server's port, since the
// service's port is fixed; every test that uses it holds the same CTest resource lock.
// POSIX only: the database tests run natively.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vr::test {

inline constexpr const char* kProxyHost = "127.0.0.2";

class FaultProxy {
public:
    enum class Direction { ToServer, ToClient };

    // Listens on listenHost:3050 and forwards to targetHost:targetPort. Throws when the address
    // cannot be bound.
    explicit FaultProxy(std::string listenHost = kProxyHost, std::string targetHost = "127.0.0.1",
                        int targetPort = 3050);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    // Every connection forwards again, frozen ones included (what they hold goes on its way).
    void PassThrough();
    // Every connection, and every one accepted from now on, freezes at once.
    void FreezeAll();
    // Connections accepted from now on are read and never answered (no server behind them).
    void AcceptAndNeverAnswer();
    // Resets every open connection (RST to the client, the server side closed).
    void ResetAll();
    // The connection that carries it freezes when the n-th message in that direction, counted
    // from now, begins (a message: the bytes in one direction between two of the other); that
    // message is held. Once only; other connections go on forwarding.
    void FreezeAtMessage(Direction direction, int n);
    // The same after n more bytes in that direction.
    void FreezeAfterBytes(Direction direction, long long n);

    int accepted() const { return accepted_.load(); }
    // Whether the armed freeze has taken hold.
    bool Triggered();

private:
    struct Connection;
    void Accept();
    void Serve(const std::shared_ptr<Connection>& connection);
    // Whether the bytes may go on; false: the connection has just frozen on them.
    bool Admit(Connection& connection, Direction direction, std::size_t size);

    int listener_ = -1;
    std::string targetHost_;
    int targetPort_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread acceptor_;

    std::mutex mutex_;
    std::condition_variable changed_;
    enum class Mode { Forward, Frozen, Blackhole } mode_ = Mode::Forward;
    std::vector<std::shared_ptr<Connection>> connections_;
    std::vector<std::thread> threads_;
    // The armed trigger.
    bool armed_ = false;
    bool triggered_ = false;
    bool byMessage_ = true;
    Direction direction_ = Direction::ToServer;
    long long remaining_ = 0;
};

}  // namespace vr::test
