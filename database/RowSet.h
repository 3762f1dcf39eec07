#pragma once

// Rows copied out of a query's buffers, read by column name with the connection's rules.

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/MessageBuffer.h"

namespace vr::db {

class Attachment;
class Transaction;

struct RowSet {
    std::vector<FieldInfo> columns;
    std::vector<std::vector<RawValue>> rows;

    // The column read by name (letter case ignored), if any.
    std::optional<std::size_t> Find(std::string_view name) const;
};

// Runs a SELECT whose "?" parameters are given as texts and copies out at most maxRows rows.
RowSet FetchRows(Attachment& attachment, Transaction& transaction, std::string_view sql,
                 const std::vector<std::string>& parameters = {},
                 std::size_t maxRows = std::numeric_limits<std::size_t>::max());

// The name as a quoted SQL identifier ("A""B" for A"B), for names read from the catalogue.
std::string QuoteIdentifier(std::string_view name);

}  // namespace vr::db
