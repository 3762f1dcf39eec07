#pragma once

// A prepared statement and the cursor over the rows it returns.

#include <cstdint>
#include <string_view>

#include "database/CallWatch.h"
#include "database/MessageBuffer.h"

namespace Firebird {
class IStatement;
class IResultSet;
}  // namespace Firebird

namespace vr::db {

class Attachment;
class Client;
class Transaction;

class Cursor {
public:
    Cursor(Cursor&& other) noexcept;
    Cursor& operator=(Cursor&&) = delete;
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;
    ~Cursor();  // closes; a failed close still gives up the handle

    // Fills out with the next row; false after the last one.
    bool Fetch(MessageBuffer& out);
    void Close();
    // Gives up the handle once the attachment is detached (see DeferredReleases).
    void Abandon() noexcept;

private:
    friend class Statement;
    Cursor(const Client& client, CallContext context, Firebird::IResultSet* handle)
        : client_(&client), context_(context), handle_(handle) {}
    void Reset() noexcept;

    const Client* client_;
    CallContext context_;
    Firebird::IResultSet* handle_;
};

class Statement {
public:
    // The SQL is UTF-8 and travels as ISO-8859-1.
    static Statement Prepare(Attachment& attachment, Transaction& transaction, std::string_view sqlUtf8);

    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();  // frees; a failed free still gives up the handle

    // Buffers laid out by the statement's own description of its parameters and its row.
    MessageBuffer NewInput() const;
    MessageBuffer NewOutput() const;

    // Runs a statement that returns at most one row (out may be null when no row is wanted).
    void Execute(Transaction& transaction, MessageBuffer* in, MessageBuffer* out);
    std::uint64_t AffectedRecords();
    Cursor Open(Transaction& transaction, MessageBuffer* in, MessageBuffer& out);

    // Frees the statement on the server; the handle is gone afterwards in any case.
    void Free();
    // Gives up the handle once the attachment is detached (see DeferredReleases).
    void Abandon() noexcept;

private:
    Statement(const Client& client, CallContext context, Firebird::IStatement* handle)
        : client_(&client), context_(context), handle_(handle) {}
    void Reset() noexcept;

    const Client* client_;
    CallContext context_;
    Firebird::IStatement* handle_;
};

}  // namespace vr::db
