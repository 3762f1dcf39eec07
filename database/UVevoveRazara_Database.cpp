// The service module's database methods: connection settings and the procedure call protocol.

#include <exception>
#include <filesystem>
#include <string>

#include "common/Text.h"
#include "database/IniFile.h"
#include "service/UVevoveRazara.h"

namespace vr {

void TSrvVevoveRazara::CarregarParametrosConexao() {
    const std::filesystem::path& directory = setup_.directory;
    std::string Servidor;
    std::string Caminho;
    {
        const IniFile ini = IniFile::Load(directory / "Rivelto.ini");
        Servidor = ini.ReadString("Rivelto", "Servidor", "localhost");
        Caminho = ini.ReadString("Rivelto", "Caminho", (directory / "RIVELTO.FDB").string());
    }
    Connvelmora.SetLoginPrompt(false);
    std::vector<std::string>& params = Connvelmora.Params();
    params.clear();
    params.push_back("DriverID=FB");
    params.push_back("Pooled=false");
    params.push_back("Database=" + Caminho);
    params.push_back("User_Name=USUARIO");
    params.push_back("Password=wenduk");
    params.push_back("Protocol=TCPIP");
    params.push_back("Server=" + Servidor);
    params.push_back("Port=3050");
    params.push_back("SQLDialect=3");
    params.push_back("CharacterSet=ISO8859_1");
    params.push_back("ExtendedMetaData=False");
    params.push_back("OpenMode=Open");
}

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
