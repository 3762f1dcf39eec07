#pragma once

// A query over named columns of one table, standing on the first row it returns, whose row can
// be edited and posted back: one UPDATE of the changed columns for the row identified by its
// primary-key values as read (RDB$DB_KEY when the table has no primary key), in the update
// transaction, committed at once.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Clock.h"
#include "database/RowSet.h"
#include "database/TConnection.h"
#include "database/TTransaction.h"

namespace vr::db {

class TTableQuery final : public TConnectionUser {
public:
    TTableQuery(TConnection& connection, TTransaction& readTransaction, TTransaction& updateTransaction,
                std::string table, std::vector<std::string> columns);
    ~TTableQuery();
    TTableQuery(const TTableQuery&) = delete;
    TTableQuery& operator=(const TTableQuery&) = delete;

    // Reads the first row (nothing when already open).
    void Open();
    void Close();
    bool Active() const { return active_; }
    bool IsEmpty() const { return !row_.has_value(); }

    // The row's column: NULL and empty text read as empty text; an empty table reads empty.
    std::string Text(std::string_view column) const;
    LocalDateTime DateTime(std::string_view column) const;
    bool IsNull(std::string_view column) const;

    void Edit();
    bool Editing() const { return editing_; }
    void SetDateTime(std::string_view column, const LocalDateTime& value);
    // Writes the changed columns and commits. Fails, leaving the row as it was, when the
    // server refuses or when the UPDATE changes no row or more than one.
    void Post();
    void Cancel();

    // The columns that identify the row on posting (empty before Open).
    const std::vector<std::string>& KeyColumns() const { return keyColumns_; }

    void ConnectionLost(const DatabaseError&) noexcept override {}
    void Disconnecting() override { Close(); }

private:
    std::size_t Column(std::string_view column) const;
    void ReadRow();

    TConnection& connection_;
    TTransaction& read_;
    TTransaction& update_;
    std::string table_;
    std::vector<std::string> columns_;

    bool active_ = false;
    std::vector<FieldInfo> fields_;
    std::optional<std::vector<RawValue>> row_;
    std::vector<std::string> keyColumns_;  // empty name stands for RDB$DB_KEY
    std::vector<std::size_t> keyIndexes_;  // positions of the key values in the row
    bool editing_ = false;
    std::vector<std::pair<std::size_t, LocalDateTime>> changes_;
};

}  // namespace vr::db
