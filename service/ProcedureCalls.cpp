// The procedure call protocol: one call of a stored procedure in a transaction of its own,
// committed, or rolled back with the database's refusal logged; and the translation of the
// database's own exceptions into their catalogued messages.

#include <exception>
#include <string>

#include "common/Text.h"
#include "service/UVevoveRazara.h"

namespace vr {

void TSrvVevoveRazara::IniciarTransacao(db::TStoredProc& Proc) {
    Proc.ClearValues();
    db::TTransaction& transaction = Proc.Transaction();
    transaction.options() = {.autoStart = false, .autoStop = false, .autoCommit = false};
    if (!transaction.Active()) transaction.StartTransaction();
    if (!Proc.Prepared()) Proc.Prepare();
}

bool TSrvVevoveRazara::FinalizarTransacao(db::TStoredProc& Proc, bool comitar, bool executar) {
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

    bool result = true;
    try {
        if (executar) Proc.ExecProc();
        if (comitar) Proc.Transaction().Commit();
    } catch (const std::exception& error) {
        if (Proc.Transaction().Active()) {
            try {
                Proc.Transaction().Rollback();
            } catch (const std::exception&) {
                // Rollback leaves the transaction ended whatever the server says; the call's own
                // error is the one worth logging.
            }
        }
        const std::string message = error.what();
        if (message.find("EXC_") != std::string::npos) {
            DoSaveLog(TrataExceptionFirebird(message));
        } else {
            DoSaveLog("Falha na operação!!! Anote a mensagem abaixo e envie para o suporte: \r\n" + message);
        }
        result = false;
    }
    return result;
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
