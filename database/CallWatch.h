#pragma once

// Bounds on the calls one connection makes to the server, and the handles its lost attachments
// leave behind. Both belong to one connection: nothing here is shared between connections.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace Firebird {
class IAttachment;
class IReferenceCounted;
}  // namespace Firebird

namespace vr::db {

class Client;

// Handles of a lost attachment: released only after the attachment is detached, since a release
// before it sends the server a request that a half-gone server may never answer.
class DeferredReleases {
public:
    DeferredReleases() = default;
    ~DeferredReleases() { ReleaseAll(); }
    DeferredReleases(const DeferredReleases&) = delete;
    DeferredReleases& operator=(const DeferredReleases&) = delete;

    void Add(Firebird::IReferenceCounted* handle) noexcept;
    void ReleaseAll() noexcept;

private:
    std::vector<Firebird::IReferenceCounted*> handles_;
};

// Abandons a call that has not returned within the bound: a watcher thread aborts the
// attachment (cancelOperation with fb_cancel_abort closes the client's socket), which frees the
// blocked call at once with isc_net_read_err, so the caller sees a lost connection. A silent
// server or a frozen network is noticed by nothing else: TCP stays up, the client never times
// out a call on its own, and fb_cancel_raise leaves the call blocked.
//
// The watcher calls nothing but cancelOperation, and only while a call is in progress (under
// the same lock the call ends with): a second thread waiting on the attachment, or a call on an
// attachment already detached, can crash the client. While no call is in progress it sleeps on
// its condition without a timeout; during calls it wakes once per bound at most.
class CallWatch {
public:
    explicit CallWatch(std::chrono::milliseconds bound) : bound_(bound) {}
    ~CallWatch();
    CallWatch(const CallWatch&) = delete;
    CallWatch& operator=(const CallWatch&) = delete;

    std::chrono::milliseconds bound() const { return bound_; }

    // One call on an attachment, from its start until End (or the scope's end).
    class Scope {
    public:
        Scope() = default;
        Scope(CallWatch* watch, std::uint64_t call) : watch_(watch), call_(call) {}
        Scope(Scope&& other) noexcept : watch_(other.watch_), call_(other.call_) { other.watch_ = nullptr; }
        Scope& operator=(Scope&&) = delete;
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        ~Scope() { End(); }
        // The call has returned. Gives the bound when the call was abandoned at it, else zero.
        std::chrono::milliseconds End() noexcept;

    private:
        CallWatch* watch_ = nullptr;
        std::uint64_t call_ = 0;
    };

    Scope Enter(const Client& client, Firebird::IAttachment* attachment);

private:
    using Clock = std::chrono::steady_clock;
    bool Leave(std::uint64_t call) noexcept;
    void Run();

    const std::chrono::milliseconds bound_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    bool stop_ = false;
    bool watcherIdle_ = false;
    bool inCall_ = false;
    bool aborted_ = false;
    std::uint64_t call_ = 0;
    Clock::time_point deadline_{};
    const Client* client_ = nullptr;
    Firebird::IAttachment* attachment_ = nullptr;
};

// What an attachment's transactions, statements and cursors share with it: the watch their
// calls go through (none: unbounded) and where their handles wait once the attachment is lost
// (none: released at once).
struct CallContext {
    CallWatch* watch = nullptr;
    DeferredReleases* deferred = nullptr;
    Firebird::IAttachment* attachment = nullptr;

    CallWatch::Scope Enter(const Client& client) const {
        return watch != nullptr && attachment != nullptr ? watch->Enter(client, attachment) : CallWatch::Scope();
    }
    void Defer(Firebird::IReferenceCounted* handle) const noexcept;
};

}  // namespace vr::db
