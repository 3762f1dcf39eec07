#include "database/TTableQuery.h"

#include <algorithm>

#include "common/Error.h"
#include "common/Text.h"
#include "database/Statement.h"

namespace vr::db {
namespace {

constexpr std::string_view kPrimaryKeyColumns =
    "SELECT TRIM(S.RDB$FIELD_NAME) FROM RDB$RELATION_CONSTRAINTS RC "
    "JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = RC.RDB$INDEX_NAME "
    "WHERE RC.RDB$RELATION_NAME = ? AND RC.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY' "
    "ORDER BY S.RDB$FIELD_POSITION";

constexpr std::string_view kDbKey = "RDB$DB_KEY";

}  // namespace

TTableQuery::TTableQuery(TConnection& connection, TTransaction& readTransaction, TTransaction& updateTransaction,
                         std::string table, std::vector<std::string> columns)
    : connection_(connection),
      read_(readTransaction),
      update_(updateTransaction),
      table_(std::move(table)),
      columns_(std::move(columns)) {
    connection_.Register(*this);
}

TTableQuery::~TTableQuery() { connection_.Unregister(*this); }

void TTableQuery::Open() {
    if (active_) return;
    try {
        connection_.Run([&] { ReadRow(); });
        read_.StatementDone();
    } catch (...) {
        read_.StatementFailed();
        throw;
    }
    active_ = true;
}

void TTableQuery::ReadRow() {
    Attachment& attachment = connection_.attachment();
    Transaction& transaction = read_.Use();
    const RowSet keys = FetchRows(attachment, transaction, kPrimaryKeyColumns, {table_});

    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < columns_.size(); ++i) sql += (i ? ", " : "") + columns_[i];
    std::vector<std::string> keyColumns;
    std::vector<std::size_t> keyIndexes;
    std::size_t selected = columns_.size();
    for (const auto& keyRow : keys.rows) {
        const std::string name = ReadText(keys.columns[0], keyRow[0]);
        keyColumns.push_back(name);
        // A key column the query already names is read from there.
        const auto named = std::find_if(columns_.begin(), columns_.end(),
                                        [&](const std::string& c) { return text::EqualsIgnoreAsciiCase(c, name); });
        if (named != columns_.end()) {
            keyIndexes.push_back(static_cast<std::size_t>(named - columns_.begin()));
        } else {
            sql += ", " + QuoteIdentifier(name);
            keyIndexes.push_back(selected++);
        }
    }
    if (keyColumns.empty()) {
        // No primary key: the row's physical address names exactly the row that was read.
        keyColumns.emplace_back();
        sql += ", " + std::string(kDbKey);
        keyIndexes.push_back(selected++);
    }
    sql += " FROM " + table_;

    RowSet rows = FetchRows(attachment, transaction, sql, {}, 1);
    fields_ = std::move(rows.columns);
    row_.reset();
    if (!rows.rows.empty()) row_ = std::move(rows.rows.front());
    keyColumns_ = std::move(keyColumns);
    keyIndexes_ = std::move(keyIndexes);
}

void TTableQuery::Close() {
    active_ = false;
    editing_ = false;
    changes_.clear();
    fields_.clear();
    row_.reset();
    keyColumns_.clear();
    keyIndexes_.clear();
}

std::size_t TTableQuery::Column(std::string_view column) const {
    if (!active_) throw Error("A consulta de " + table_ + " não está aberta");
    // Only the named columns are readable; the key columns appended after them are not.
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (text::EqualsIgnoreAsciiCase(columns_[i], column)) return i;
    }
    throw Error("Campo não encontrado na consulta de " + table_ + ": " + std::string(column));
}

std::string TTableQuery::Text(std::string_view column) const {
    const std::size_t i = Column(column);
    return row_ ? ReadText(fields_[i], (*row_)[i]) : std::string();
}

LocalDateTime TTableQuery::DateTime(std::string_view column) const {
    const std::size_t i = Column(column);
    return row_ ? ReadDateTime(fields_[i], (*row_)[i]) : LocalDateTime{};
}

bool TTableQuery::IsNull(std::string_view column) const {
    const std::size_t i = Column(column);
    return !row_ || IsNullValue(fields_[i], (*row_)[i]);
}

void TTableQuery::Edit() {
    if (!active_) throw Error("A consulta de " + table_ + " não está aberta");
    if (!row_) throw Error("Não há registro em " + table_ + " para alterar");
    editing_ = true;
    changes_.clear();
}

void TTableQuery::SetDateTime(std::string_view column, const LocalDateTime& value) {
    const std::size_t i = Column(column);
    if (!editing_) throw Error("O registro de " + table_ + " não está em edição");
    std::erase_if(changes_, [&](const auto& change) { return change.first == i; });
    changes_.emplace_back(i, value);
}

void TTableQuery::Cancel() {
    editing_ = false;
    changes_.clear();
}

void TTableQuery::Post() {
    if (!editing_) throw Error("O registro de " + table_ + " não está em edição");
    if (changes_.empty()) {
        Cancel();
        return;
    }
    std::string sql = "UPDATE " + table_ + " SET ";
    for (std::size_t c = 0; c < changes_.size(); ++c) sql += (c ? ", " : "") + columns_[changes_[c].first] + " = ?";
    sql += " WHERE ";
    for (std::size_t k = 0; k < keyColumns_.size(); ++k) {
        sql += (k ? " AND " : "") + (keyColumns_[k].empty() ? std::string(kDbKey) : QuoteIdentifier(keyColumns_[k]));
        sql += " = ?";
    }

    std::vector<RawValue> written;
    try {
        connection_.Run([&] {
            Statement statement = Statement::Prepare(connection_.attachment(), update_.Use(), sql);
            MessageBuffer in = statement.NewInput();
            for (std::size_t c = 0; c < changes_.size(); ++c) {
                in.SetName(c, columns_[changes_[c].first]);
                in.SetDateTime(c, changes_[c].second);
            }
            for (std::size_t k = 0; k < keyIndexes_.size(); ++k) {
                in.SetRaw(changes_.size() + k, (*row_)[keyIndexes_[k]]);
            }
            try {
                statement.Execute(update_.Use(), &in, nullptr);
            } catch (const DatabaseError& error) {
                if (error.ConnectionLost()) statement.Abandon();
                throw;
            }
            const std::uint64_t changed = statement.AffectedRecords();
            if (changed != 1) {
                throw Error("A atualização de " + table_ + " alterou " + std::to_string(changed) +
                            " registros em vez de um");
            }
            update_.MarkWork();
            written.clear();
            for (std::size_t c = 0; c < changes_.size(); ++c) written.push_back(in.Raw(c));
        });
        update_.StatementDone();
    } catch (...) {
        update_.StatementFailed();
        throw;
    }
    // The row now holds what was written, in the column's own form.
    for (std::size_t c = 0; c < changes_.size(); ++c) (*row_)[changes_[c].first] = written[c];
    Cancel();
}

}  // namespace vr::db
