#pragma once

// The service's connection to the store's database: its parameter list, the fixed options that
// every query, update and procedure call on it follows, and recovery from a lost connection.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database/Attachment.h"
#include "database/CallWatch.h"
#include "database/DatabaseError.h"

namespace vr::db {

class Client;

// A component that works on the connection: told when the connection is lost (the attachment
// is already detached: give up every handle without a call to the server) and when it closes
// (close, unprepare, commit).
class TConnectionUser {
public:
    virtual void ConnectionLost(const DatabaseError& cause) noexcept = 0;
    virtual void Disconnecting() = 0;

protected:
    ~TConnectionUser() = default;
};

class TConnection {
public:
    using Pause = std::function<void(std::chrono::milliseconds)>;
    static constexpr int kReconnectAttempts = 3;
    static constexpr std::chrono::milliseconds kReconnectPause{3000};

    TConnection();
    ~TConnection();  // closes without raising
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    // "Name=Value" entries, read when connecting: Server, Port, Database, User_Name, Password,
    // CharacterSet, SQLDialect (the others are fixed by this client and only kept).
    std::vector<std::string>& Params() { return params_; }
    const std::vector<std::string>& Params() const { return params_; }
    // Credentials always come from the parameter list; nobody is ever asked for them.
    void SetLoginPrompt(bool prompt) { loginPrompt_ = prompt; }
    bool LoginPrompt() const { return loginPrompt_; }

    // Attaches to the existing database the parameters name. Throws vr::Error (DatabaseError
    // from the server) on failure, the client library missing included.
    void Open();
    // Closes the queries, unprepares the procedures, commits the active transactions and ends
    // the attachment. It ends closed even when a step fails; the first failure is then raised.
    void Close();
    bool IsOpen() const { return attachment_.has_value(); }

    // Where to look for the client library, and how to wait between reconnection attempts.
    void SetClientLibraryNames(std::vector<std::string> names) { libraryNames_ = std::move(names); }
    void SetReconnectPause(Pause pause) { pause_ = std::move(pause); }
    // Asked before every reconnection, from the thread that uses the connection; true: the
    // service is stopping, so a lost attachment is not re-established and whatever needed it
    // fails as lost (its outcome unknown) at once instead of waiting out the attempts.
    void SetStopPending(std::function<bool()> stopPending) { stopPending_ = std::move(stopPending); }
    // How long one attach (connect), and one call to the server on the attachment (statement,
    // fetch, commit, rollback, detach), may take; zero: no bound of the connection's own. Set
    // while closed. A connect past its bound fails; a call past it is abandoned and fails as a
    // lost connection.
    void SetBounds(std::chrono::milliseconds connect, std::chrono::milliseconds call);
    std::chrono::milliseconds ConnectBound() const { return connectBound_; }
    // Attaches given up at their bound, in the whole process, whose threads are still inside the
    // client library. The process must not tear the library down under them at its end.
    static std::size_t AttachesStillRunning();

    // How many times the connection has been re-established after a loss, for a caller that
    // must know whether a unit it ran was already run again.
    std::uint64_t Recoveries() const { return recoveries_; }
    // Gives up the attachment, which cause shows lost, and re-establishes it as Run does; when
    // that fails the connection ends closed and the error of the last attempt is raised.
    void Reconnect(const DatabaseError& cause) { Recover(cause); }

    // --- For the components on this connection ---
    Attachment& attachment();
    const Client& client() const;
    void Register(TConnectionUser& user) { users_.push_back(&user); }
    void RegisterTransaction(TConnectionUser& transaction) { transactions_.push_back(&transaction); }
    void Unregister(TConnectionUser& user) noexcept;

    // Runs op, a unit that can be run again from its start. When it fails because the
    // connection was lost, the connection is re-established (at most kReconnectAttempts
    // attempts, pausing before the second and the third) and op runs once more; when that
    // fails, the connection ends closed and the error of the last attempt is raised.
    template <typename Op>
    void Run(Op&& op) {
        try {
            op();
            return;
        } catch (const DatabaseError& error) {
            if (!error.ConnectionLost() || !IsOpen()) throw;
            Recover(error);
        }
        op();
    }

private:
    struct PendingAttach;
    AttachParams ParamsForAttach() const;
    Attachment AttachWithinBound(const AttachParams& params);
    void Recover(const DatabaseError& cause);
    void DropEverything(const DatabaseError& cause) noexcept;

    std::vector<std::string> params_;
    bool loginPrompt_ = true;
    std::vector<std::string> libraryNames_;
    Pause pause_;
    std::function<bool()> stopPending_;
    const Client* client_ = nullptr;
    std::chrono::milliseconds connectBound_{0};
    std::uint64_t recoveries_ = 0;
    // Attaches given up at their bound whose threads have not returned yet.
    static constexpr std::size_t kAbandonedAttachesMax = 4;
    std::vector<std::shared_ptr<PendingAttach>> abandonedAttaches_;
    // Declared before the attachment, which uses them until it is gone.
    std::unique_ptr<CallWatch> watch_;
    DeferredReleases deferred_;
    std::optional<Attachment> attachment_;
    std::vector<TConnectionUser*> users_;
    std::vector<TConnectionUser*> transactions_;
};

// Closes the connection when it goes, for an owner whose components must still be alive then.
class TConnectionCloser {
public:
    explicit TConnectionCloser(TConnection& connection) : connection_(connection) {}
    ~TConnectionCloser() {
        try {
            connection_.Close();
        } catch (...) {
            // Nothing to report to from a destructor; the handles are given up all the same.
        }
    }
    TConnectionCloser(const TConnectionCloser&) = delete;
    TConnectionCloser& operator=(const TConnectionCloser&) = delete;

private:
    TConnection& connection_;
};

}  // namespace vr::db
