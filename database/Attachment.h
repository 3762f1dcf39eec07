#pragma once

// One attachment to a database on a server.

#include <chrono>
#include <string>
#include <string_view>

#include "database/CallWatch.h"

namespace Firebird {
class IAttachment;
}

namespace vr::db {

class Client;
class Transaction;

struct AttachParams {
    std::string connectString;  // host/port:path; a string without a host would open the file in-process
    std::string user;
    std::string password;
    std::string charSet = "ISO8859_1";
    int dialect = 3;
    bool forcedWrites = true;  // only when creating: the new database's write mode
    // The client's wait for the server's first answer (isc_dpb_connect_timeout); zero: the
    // client's own default. It bounds neither the TCP connect nor anything after that answer.
    std::chrono::seconds firstAnswerTimeout{0};
};

class Attachment {
public:
    // Attaches to an existing database. Throws DatabaseError with the server's reason. Calls
    // on the attachment and on what is made from it go through watch (none: unbounded); the
    // handles of a lost attachment wait in deferred (none: released at once).
    static Attachment Attach(const Client& client, const AttachParams& params, CallWatch* watch = nullptr,
                             DeferredReleases* deferred = nullptr);
    // Creates a new database whose text columns default to params.charSet.
    static Attachment Create(const Client& client, const AttachParams& params);

    Attachment(Attachment&& other) noexcept;
    Attachment& operator=(Attachment&& other) noexcept;
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;
    ~Attachment();  // detaches; a failed detach still gives up the handle

    // Ends the attachment; its transactions must have ended. The handle is gone afterwards
    // even when the server reports an error.
    void Detach();
    // Deletes the database file; no other attachment may be open.
    void Drop();
    // Runs one statement without parameters or result (DDL, scripts).
    void ExecuteImmediate(Transaction& transaction, std::string_view sqlUtf8);

    const Client& client() const { return *client_; }
    Firebird::IAttachment* get() const { return handle_; }
    int dialect() const { return dialect_; }
    // Where its calls and those of what is made on it go from now on; before anything is made on it.
    void SetContext(CallWatch* watch, DeferredReleases* deferred) {
        watch_ = watch;
        deferred_ = deferred;
    }
    // For the transactions, statements and cursors made on it.
    CallContext context() const { return {watch_, deferred_, handle_}; }

private:
    Attachment(const Client& client, Firebird::IAttachment* handle, int dialect, CallWatch* watch,
               DeferredReleases* deferred)
        : client_(&client), handle_(handle), dialect_(dialect), watch_(watch), deferred_(deferred) {}
    void Reset() noexcept;

    const Client* client_;
    Firebird::IAttachment* handle_;
    int dialect_;
    CallWatch* watch_;
    DeferredReleases* deferred_;
};

}  // namespace vr::db
