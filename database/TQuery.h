#pragma once

// A read-only query component: runs its SELECT in the connection's read transaction, keeps the
// rows it returned and reads them by column name.

#include <string>
#include <string_view>

#include "common/Clock.h"
#include "database/RowSet.h"
#include "database/TConnection.h"
#include "database/TTransaction.h"

namespace vr::db {

class TQuery final : public TConnectionUser {
public:
    TQuery(TConnection& connection, TTransaction& transaction, std::string sql);
    ~TQuery();
    TQuery(const TQuery&) = delete;
    TQuery& operator=(const TQuery&) = delete;

    // Runs the query (nothing when already open) and stands on the first row.
    void Open();
    void Close();
    bool Active() const { return active_; }

    bool IsEmpty() const { return rows_.rows.empty(); }
    void First() { position_ = 0; }
    void Next() {
        if (position_ < rows_.rows.size()) ++position_;
    }
    bool Eof() const { return position_ >= rows_.rows.size(); }

    // The current row's column: NULL and empty text read as empty text.
    std::string Text(std::string_view column) const;
    LocalDateTime DateTime(std::string_view column) const;
    bool IsNull(std::string_view column) const;

    void ConnectionLost(const DatabaseError&) noexcept override {}
    void Disconnecting() override { Close(); }

private:
    const RawValue* Current(std::string_view column, const FieldInfo*& field) const;

    TConnection& connection_;
    TTransaction& transaction_;
    std::string sql_;
    bool active_ = false;
    RowSet rows_;
    std::size_t position_ = 0;
};

}  // namespace vr::db
