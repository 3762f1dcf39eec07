#pragma once

// One attachment to a database on a server.

#include <string>
#include <string_view>

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
};

class Attachment {
public:
    // Attaches to an existing database. Throws DatabaseError with the server's reason.
    static Attachment Attach(const Client& client, const AttachParams& params);
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

private:
    Attachment(const Client& client, Firebird::IAttachment* handle, int dialect)
        : client_(&client), handle_(handle), dialect_(dialect) {}
    void Reset() noexcept;

    const Client* client_;
    Firebird::IAttachment* handle_;
    int dialect_;
};

}  // namespace vr::db
