#include "database/RowSet.h"

#include "common/Text.h"
#include "database/DatabaseError.h"
#include "database/Statement.h"

namespace vr::db {

std::optional<std::size_t> RowSet::Find(std::string_view name) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (text::EqualsIgnoreAsciiCase(columns[i].Label(), name)) return i;
    }
    return std::nullopt;
}

RowSet FetchRows(Attachment& attachment, Transaction& transaction, std::string_view sql,
                 const std::vector<std::string>& parameters, std::size_t maxRows) {
    Statement statement = Statement::Prepare(attachment, transaction, sql);
    try {
        MessageBuffer in = statement.NewInput();
        for (std::size_t i = 0; i < in.count() && i < parameters.size(); ++i) in.SetText(i, parameters[i]);
        MessageBuffer out = statement.NewOutput();
        RowSet rows;
        for (std::size_t i = 0; i < out.count(); ++i) rows.columns.push_back(out.field(i));
        Cursor cursor = statement.Open(transaction, in.count() > 0 ? &in : nullptr, out);
        try {
            while (rows.rows.size() < maxRows && cursor.Fetch(out)) {
                std::vector<RawValue> row;
                row.reserve(out.count());
                for (std::size_t i = 0; i < out.count(); ++i) row.push_back(out.Raw(i));
                rows.rows.push_back(std::move(row));
            }
            cursor.Close();
        } catch (const DatabaseError& error) {
            if (error.ConnectionLost()) cursor.Abandon();
            throw;
        }
        statement.Free();
        return rows;
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost()) statement.Abandon();
        throw;
    }
}

std::string QuoteIdentifier(std::string_view name) {
    std::string quoted = "\"";
    for (const char c : name) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

}  // namespace vr::db
