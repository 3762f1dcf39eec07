#pragma once

// One transaction on an attachment: read committed with record versions, never waiting on a
// lock, read-only or read-write.

#include "database/CallWatch.h"

namespace Firebird {
class ITransaction;
}

namespace vr::db {

class Attachment;
class Client;

class Transaction {
public:
    static Transaction Start(Attachment& attachment, bool readOnly);

    Transaction(Transaction&& other) noexcept;
    Transaction& operator=(Transaction&& other) noexcept;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();  // rolls back a transaction still active

    // Ends the transaction. When the commit fails the transaction is still active: roll it back
    // or drop it.
    void Commit();
    // Ends the transaction; the handle is gone afterwards even when the server reports an error.
    void Rollback();
    // Rolls back and never fails: on a lost attachment the handle is just given up.
    void Drop() noexcept;
    // Gives up the handle once the attachment is detached (see DeferredReleases).
    void Abandon() noexcept;

    bool Active() const { return handle_ != nullptr; }
    Firebird::ITransaction* get() const { return handle_; }

private:
    Transaction(const Client& client, CallContext context, Firebird::ITransaction* handle)
        : client_(&client), context_(context), handle_(handle) {}

    const Client* client_;
    CallContext context_;
    Firebird::ITransaction* handle_;
};

}  // namespace vr::db
