#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Error.h"

namespace vr::db {

// An error reported by the Firebird client or server. The message is the client's text of the
// error report, its lines joined by CR LF; codes are the report's error codes in order.
class DatabaseError : public Error {
public:
    DatabaseError(const std::string& message, std::vector<std::intptr_t> codes)
        : Error(message), codes_(std::move(codes)) {}

    const std::vector<std::intptr_t>& codes() const { return codes_; }
    bool Has(std::intptr_t code) const;

    // The attachment is gone (server down, network cut, attachment killed): reconnecting helps.
    bool ConnectionLost() const;
    // The client gave up an attach with isc_connect_reject alone: the server refused the
    // connection, or never answered within the client's connect timeout (the same report).
    bool ConnectRejected() const;
    // Another transaction holds the row: the transaction can be rolled back and retried.
    bool Conflict() const;

private:
    std::vector<std::intptr_t> codes_;
};

}  // namespace vr::db
