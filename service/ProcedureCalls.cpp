// The procedure call protocol: one call of a stored procedure in a transaction of its own,
// committed, or rolled back with the database's refusal logged; and the translation of the
// database's own exceptions into their catalogued messages.

#include <exception>
#include <optional>
#include <string>

#include "common/Text.h"
#include "database/DatabaseError.h"
#include "service/UVevoveRazara.h"

namespace vr {
namespace {

const std::string kPrefixoFalha = "Falha na operação!!! Anote a mensagem abaixo e envie para o suporte: \r\n";

// Refused by the database (an exception of its own, a constraint, a lock conflict, a value it
// cannot convert): the server answered, rolled the statement back, and nothing was written. The
// outcome is unknown instead when the error is one of a lost connection (the ISC codes of a
// dead attachment or network, and a call abandoned at its bound, which reports
// isc_net_read_err): a commit cut off that way may have committed or not. A connection left
// closed means the reconnection after such a loss failed.
bool DesfechoIncerto(const std::exception& error, const db::TConnection& connection) {
    const auto* databaseError = dynamic_cast<const db::DatabaseError*>(&error);
    return (databaseError != nullptr && databaseError->ConnectionLost()) || !connection.IsOpen();
}

void DesfazSemFalhar(db::TStoredProc& Proc) {
    if (!Proc.Transaction().Active()) return;
    try {
        Proc.Transaction().Rollback();
    } catch (const std::exception&) {
        // Rollback leaves the transaction ended whatever the server says; the call's own error
        // is the one worth logging.
    }
}

}  // namespace

void TSrvVevoveRazara::IniciarTransacao(db::TStoredProc& Proc) {
    Proc.ClearValues();
    db::TTransaction& transaction = Proc.Transaction();
    transaction.options() = {.autoStart = false, .autoStop = false, .autoCommit = false};
    if (!transaction.Active()) transaction.StartTransaction();
    if (!Proc.Prepared()) Proc.Prepare();
}

bool TSrvVevoveRazara::FinalizarTransacao(db::TStoredProc& Proc, bool comitar, bool executar) {
    return FinalizaEscrita(Proc, comitar, executar) == TDesfechoEscrita::deGravada;
}

TSrvVevoveRazara::TDesfechoEscrita TSrvVevoveRazara::FinalizaEscrita(db::TStoredProc& Proc, bool comitar,
                                                                    bool executar) {
    std::vector<db::TParam>& params = Proc.Params();
    const std::size_t count = params.size();
    for (std::size_t i = 0; i < count; ++i) {
        db::TParam& param = params[i];
        if (param.group == db::ParamGroup::VarText && !param.IsNull()) {
            const std::string value = param.AsText();
            if (text::Utf16Length(value) > param.length) param.value = text::Utf16Left(value, param.length);
        }
        if (param.group == db::ParamGroup::Integer && param.IsNull()) param.value = std::int64_t{0};
    }

    const auto executa = [&] {
        if (executar) Proc.ExecProc();
        if (comitar) Proc.Transaction().Commit();
    };
    const auto incerta = [&](const std::exception& error) {
        DesfazSemFalhar(Proc);
        DoSaveLog(kPrefixoFalha + error.what());
        return TDesfechoEscrita::deIncerta;
    };

    const std::uint64_t recuperacoes = Connvelmora.Recoveries();
    std::optional<db::DatabaseError> perda;
    try {
        executa();
        return TDesfechoEscrita::deGravada;
    } catch (const std::exception& error) {
        // The execution's own reconnection has already run it once more (and whatever stopped
        // that second attempt leaves the outcome unknown, as below), or reconnecting failed.
        if (Connvelmora.Recoveries() != recuperacoes || !Connvelmora.IsOpen()) return incerta(error);
        if (!DesfechoIncerto(error, Connvelmora)) {
            RegistraRecusa(Proc, error);
            return TDesfechoEscrita::deRecusada;
        }
        perda.emplace(dynamic_cast<const db::DatabaseError&>(error));
    }

    // Lost while committing: the whole write once more, in a new transaction on a new attachment.
    // Writing the same tax data twice is what the next cycle would do anyway. Nothing is logged
    // when it succeeds: the write is in the database, as after the silent reconnection of a
    // statement.
    try {
        Connvelmora.Reconnect(*perda);
        Proc.Transaction().StartTransaction();
        executa();
        return TDesfechoEscrita::deGravada;
    } catch (const std::exception& error) {
        // Whatever stops the second attempt leaves the outcome unknown: a lost connection again,
        // and a refusal too, which may well be the first attempt itself, its commit never sent
        // and its rows still held on a server that has not noticed the connection is gone (a
        // key violation or a conflict on the very row being written). The next cycle finds out.
        return incerta(error);
    }
}

void TSrvVevoveRazara::RegistraRecusa(db::TStoredProc& Proc, const std::exception& error) {
    DesfazSemFalhar(Proc);
    const std::string message = error.what();
    // A marker without a catalogued name is no exception of the store's: its text is kept.
    const std::string traducao =
        message.find("EXC_") != std::string::npos ? TrataExceptionFirebird(message) : std::string();
    DoSaveLog(!traducao.empty() ? traducao : kPrefixoFalha + message);
}

std::string TSrvVevoveRazara::TrataExceptionFirebird(std::string_view MensagemErro) {
    if (!TBExceptions.Active()) TBExceptions.Open();
    std::string result;
    TBExceptions.First();
    while (!TBExceptions.Eof()) {
        const std::string nome = TBExceptions.Text("NOME");
        if (!nome.empty() && MensagemErro.find(nome) != std::string_view::npos) {
            result = TBExceptions.Text("MENSAGEM");
            break;
        }
        TBExceptions.Next();
    }
    return result;
}

}  // namespace vr
