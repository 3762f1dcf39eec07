#include "database/TQuery.h"

#include "common/Error.h"

namespace vr::db {

TQuery::TQuery(TConnection& connection, TTransaction& transaction, std::string sql)
    : connection_(connection), transaction_(transaction), sql_(std::move(sql)) {
    connection_.Register(*this);
}

TQuery::~TQuery() { connection_.Unregister(*this); }

void TQuery::Open() {
    if (active_) return;
    try {
        // The rows are copied out at once, so the read transaction is not held while they are used.
        connection_.Run([&] { rows_ = FetchRows(connection_.attachment(), transaction_.Use(), sql_); });
        transaction_.StatementDone();
    } catch (...) {
        transaction_.StatementFailed();
        throw;
    }
    active_ = true;
    position_ = 0;
}

void TQuery::Close() {
    active_ = false;
    rows_ = RowSet{};
    position_ = 0;
}

const RawValue* TQuery::Current(std::string_view column, const FieldInfo*& field) const {
    if (!active_) throw Error("A consulta não está aberta");
    const auto index = rows_.Find(column);
    if (!index) throw Error("Campo não encontrado na consulta: " + std::string(column));
    field = &rows_.columns[*index];
    return Eof() ? nullptr : &rows_.rows[position_][*index];
}

std::string TQuery::Text(std::string_view column) const {
    const FieldInfo* field = nullptr;
    const RawValue* value = Current(column, field);
    return value ? ReadText(*field, *value) : std::string();
}

LocalDateTime TQuery::DateTime(std::string_view column) const {
    const FieldInfo* field = nullptr;
    const RawValue* value = Current(column, field);
    return value ? ReadDateTime(*field, *value) : LocalDateTime{};
}

bool TQuery::IsNull(std::string_view column) const {
    const FieldInfo* field = nullptr;
    const RawValue* value = Current(column, field);
    return value == nullptr || IsNullValue(*field, *value);
}

}  // namespace vr::db
