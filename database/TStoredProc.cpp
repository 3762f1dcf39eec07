#include "database/TStoredProc.h"

#include <charconv>

#include "common/Error.h"
#include "common/Text.h"
#include "database/RowSet.h"

namespace vr::db {
namespace {

constexpr std::string_view kInputParameters =
    "SELECT TRIM(PP.RDB$PARAMETER_NAME), F.RDB$FIELD_TYPE, COALESCE(F.RDB$FIELD_SUB_TYPE, 0), "
    "COALESCE(F.RDB$FIELD_SCALE, 0), COALESCE(F.RDB$CHARACTER_LENGTH, F.RDB$FIELD_LENGTH) "
    "FROM RDB$PROCEDURE_PARAMETERS PP JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = PP.RDB$FIELD_SOURCE "
    "WHERE PP.RDB$PROCEDURE_NAME = ? AND PP.RDB$PACKAGE_NAME IS NULL AND PP.RDB$PARAMETER_TYPE = 0 "
    "ORDER BY PP.RDB$PARAMETER_NUMBER";

// Catalogue codes of the declared types (RDB$FIELD_TYPE).
constexpr int kSmallInt = 7;
constexpr int kInteger = 8;
constexpr int kBigInt = 16;
constexpr int kVarChar = 37;

long long ToNumber(const std::string& text) {
    long long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

std::string TParam::AsText() const {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* decimal = std::get_if<Decimal4>(&value)) return FormatScaled({decimal->timesTenThousand, -4});
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
    return {};
}

TStoredProc::TStoredProc(TConnection& connection, TTransaction& transaction, std::string name)
    : connection_(connection), transaction_(transaction), name_(std::move(name)) {
    connection_.Register(*this);
}

TStoredProc::~TStoredProc() { connection_.Unregister(*this); }

void TStoredProc::Prepare() {
    if (prepared_) return;
    try {
        connection_.Run([&] { PrepareOn(transaction_.Use()); });
        transaction_.StatementDone();
    } catch (...) {
        transaction_.StatementFailed();
        throw;
    }
    prepared_ = true;
}

void TStoredProc::PrepareOn(db::Transaction& transaction) {
    Attachment& attachment = connection_.attachment();
    const RowSet described = FetchRows(attachment, transaction, kInputParameters, {name_});
    std::vector<TParam> params;
    for (const auto& row : described.rows) {
        const auto& c = described.columns;
        TParam p;
        p.name = ReadText(c[0], row[0]);
        const long long type = ToNumber(ReadText(c[1], row[1]));
        const long long subType = ToNumber(ReadText(c[2], row[2]));
        const long long scale = ToNumber(ReadText(c[3], row[3]));
        p.length = static_cast<unsigned>(ToNumber(ReadText(c[4], row[4])));
        if (type == kVarChar) {
            p.group = ParamGroup::VarText;
        } else if ((type == kSmallInt || type == kInteger || type == kBigInt) && subType == 0 && scale == 0) {
            p.group = ParamGroup::Integer;
        }
        params.push_back(std::move(p));
    }

    // No named arguments in EXECUTE PROCEDURE: one "?" per input parameter, in declared order.
    std::string sql = "EXECUTE PROCEDURE " + name_;
    if (!params.empty()) {
        sql += "(";
        for (std::size_t i = 0; i < params.size(); ++i) sql += i ? ", ?" : "?";
        sql += ")";
    }
    Statement statement = Statement::Prepare(attachment, transaction, sql);
    std::optional<MessageBuffer> inputLayout;
    try {
        inputLayout.emplace(statement.NewInput());
    } catch (const DatabaseError& error) {
        if (error.ConnectionLost()) statement.Abandon();
        throw;
    }
    MessageBuffer input = std::move(*inputLayout);
    if (input.count() != params.size()) {
        throw Error("A descrição dos parâmetros de " + name_ + " não confere com o servidor");
    }
    for (std::size_t i = 0; i < params.size(); ++i) input.SetName(i, params[i].name);

    // Prepared again after a lost connection: the values set so far are kept.
    if (prepared_) {
        for (TParam& p : params) {
            for (const TParam& old : params_) {
                if (old.name == p.name) p.value = old.value;
            }
        }
    }
    params_ = std::move(params);
    statement_.emplace(std::move(statement));
    input_.emplace(std::move(input));
}

void TStoredProc::Unprepare() noexcept {
    input_.reset();
    statement_.reset();
    params_.clear();
    prepared_ = false;
}

TParam& TStoredProc::ParamByName(std::string_view name) {
    for (TParam& p : params_) {
        if (text::EqualsIgnoreAsciiCase(p.name, name)) return p;
    }
    throw Error("O procedimento " + name_ + " não tem o parâmetro " + std::string(name));
}

void TStoredProc::ClearValues() {
    for (TParam& p : params_) p.value = std::monostate{};
}

void TStoredProc::Bind() {
    MessageBuffer& in = *input_;
    for (std::size_t i = 0; i < params_.size(); ++i) {
        const ParamValue& value = params_[i].value;
        if (const auto* text = std::get_if<std::string>(&value)) {
            in.SetText(i, *text);
        } else if (const auto* decimal = std::get_if<Decimal4>(&value)) {
            in.SetNumber(i, {decimal->timesTenThousand, -4});
        } else if (const auto* integer = std::get_if<std::int64_t>(&value)) {
            in.SetNumber(i, {*integer, 0});
        } else {
            in.SetNull(i);
        }
    }
}

void TStoredProc::ExecProc() {
    try {
        connection_.Run([&] {
            db::Transaction& transaction = transaction_.Use();
            if (!statement_) PrepareOn(transaction);
            Bind();
            statement_->Execute(transaction, &*input_, nullptr);
        });
        transaction_.MarkWork();
        prepared_ = true;
        transaction_.StatementDone();
    } catch (...) {
        transaction_.StatementFailed();
        throw;
    }
}

void TStoredProc::ConnectionLost(const DatabaseError&) noexcept {
    // The statement died with the attachment; it is prepared again on the next call.
    input_.reset();
    if (statement_) statement_->Abandon();
    statement_.reset();
}

}  // namespace vr::db
