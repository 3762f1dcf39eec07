#pragma once

// A stored-procedure call component: its input parameters are taken from the server's
// description of the procedure when it is prepared, their values are set by name, and every
// call sends every parameter (an unset one as NULL).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "database/MessageBuffer.h"
#include "database/Statement.h"
#include "database/TConnection.h"
#include "database/TTransaction.h"

namespace vr::db {

// How the declared type of a parameter is treated before a call.
enum class ParamGroup {
    VarText,  // VARCHAR
    Integer,  // SMALLINT, INTEGER, BIGINT
    Other,    // CHAR, NUMERIC/DECIMAL, dates, the rest
};

struct Decimal4 {
    std::int64_t timesTenThousand = 0;  // four decimal places
    friend bool operator==(const Decimal4&, const Decimal4&) = default;
};

using ParamValue = std::variant<std::monostate, std::string, Decimal4, std::int64_t>;

struct TParam {
    std::string name;
    ParamGroup group = ParamGroup::Other;
    unsigned length = 0;  // declared length in characters, for text
    ParamValue value;

    bool IsNull() const { return std::holds_alternative<std::monostate>(value); }
    // The value as text: a decimal as "12.5", an integer as "5405", NULL as "".
    std::string AsText() const;
};

class TStoredProc final : public TConnectionUser {
public:
    TStoredProc(TConnection& connection, TTransaction& transaction, std::string name);
    ~TStoredProc();
    TStoredProc(const TStoredProc&) = delete;
    TStoredProc& operator=(const TStoredProc&) = delete;

    // Reads the parameter list from the server and prepares the call; every value starts NULL.
    // Needs the transaction active unless it starts by itself.
    void Prepare();
    void Unprepare() noexcept;
    bool Prepared() const { return prepared_; }

    std::vector<TParam>& Params() { return params_; }
    const std::vector<TParam>& Params() const { return params_; }
    // Throws vr::Error naming the parameter when the procedure does not declare it.
    TParam& ParamByName(std::string_view name);
    void SetText(std::string_view name, std::string_view value) { ParamByName(name).value = std::string(value); }
    void SetDecimal(std::string_view name, std::int64_t timesTenThousand) {
        ParamByName(name).value = Decimal4{timesTenThousand};
    }
    void SetInteger(std::string_view name, std::int32_t value) { ParamByName(name).value = std::int64_t{value}; }
    void ClearValues();

    // Runs the procedure with the current values in its transaction (preparing it first if needed).
    void ExecProc();

    TTransaction& Transaction() { return transaction_; }
    const std::string& name() const { return name_; }

    void ConnectionLost(const DatabaseError& cause) noexcept override;
    void Disconnecting() override { Unprepare(); }

private:
    void PrepareOn(db::Transaction& transaction);
    void Bind();

    TConnection& connection_;
    TTransaction& transaction_;
    std::string name_;
    bool prepared_ = false;
    std::vector<TParam> params_;
    std::optional<Statement> statement_;
    std::optional<MessageBuffer> input_;
};

}  // namespace vr::db
