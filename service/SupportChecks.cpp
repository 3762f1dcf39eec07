// The checks a support technician runs first (/CHECK). They read only: a read-only transaction
// on the database, a request for the root of the classification service's address (which is not
// a feed request and whose status does not matter, only that a verified TLS exchange took
// place), and a probe file of their own beside the executable.

#include "service/SupportChecks.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/Date.h"
#include "database/Client.h"
#include "database/ProcedureParameters.h"
#include "database/TQuery.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileAccess.h"
#include "service/UVevoveRazara.h"
#include "tax/DiradorParameters.h"
#include "webservice/HttpClient.h"

namespace vr {

std::string TextoVerificacoes(const std::vector<TVerificacao>& verificacoes) {
    std::string text;
    for (const TVerificacao& v : verificacoes) {
        if (!text.empty()) text += "\n";
        // A server's message may run over several lines; each check keeps to one.
        std::string detalhe;
        for (const char c : v.detalhe) {
            if (c == '\r') continue;
            detalhe += c == '\n' ? ' ' : c;
        }
        text += (v.ok ? "OK    " : "FALHA ") + v.nome + ": " + detalhe;
    }
    return text;
}

namespace {

// The report: one line per check, in the order the checks run.
class Relatorio {
public:
    void Linha(std::string nome, bool ok, std::string detalhe) {
        linhas_.push_back({std::move(nome), ok, std::move(detalhe)});
    }
    // Runs a check that reports its own line; one that raises fails with the error's text.
    template <class Check>
    void Verifica(const char* nome, Check&& check) {
        try {
            check();
        } catch (const std::exception& e) {
            Linha(nome, false, e.what());
        }
    }
    std::vector<TVerificacao> Linhas() && { return std::move(linhas_); }

private:
    std::vector<TVerificacao> linhas_;
};

std::string Parametro(const std::vector<std::string>& params, std::string_view nome) {
    for (const std::string& p : params) {
        if (p.size() > nome.size() && p.compare(0, nome.size(), nome) == 0 && p[nome.size()] == '=') {
            return p.substr(nome.size() + 1);
        }
    }
    return "";
}

std::string Caminho(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The INI file and the values used, its own or the defaults.
void VerificaIni(Relatorio& r, TSrvVevoveRazara& m) {
    const std::filesystem::path ini = m.setup().directory / "Rivelto.ini";
    std::error_code error;
    const bool found = std::filesystem::is_regular_file(ini, error);
    std::string valores;
    try {
        m.CarregarParametrosConexao();
        const std::vector<std::string>& params = m.Connvelmora.Params();
        valores = "Servidor=" + Parametro(params, "Server") + ", Caminho=" + Parametro(params, "Database");
    } catch (const std::exception& e) {
        valores = std::string("ilegível: ") + e.what();
    }
    r.Linha("Arquivo INI", found,
            (found ? Caminho(ini) + " encontrado; " : Caminho(ini) + " não encontrado; valores padrão: ") + valores);
}

// The client library, loaded once for the process, as a connection would.
bool VerificaCliente(Relatorio& r) {
    try {
        const db::Client& client = db::Client::Load(FirebirdClientLibraryNames());
        r.Linha("Biblioteca cliente do Firebird", true, "carregada: " + client.file());
        return true;
    } catch (const std::exception& e) {
        r.Linha("Biblioteca cliente do Firebird", false, e.what());
        return false;
    }
}

bool VerificaConexao(Relatorio& r, TSrvVevoveRazara& m, bool clienteCarregado) {
    const std::vector<std::string>& params = m.Connvelmora.Params();
    const std::string conexao =
        Parametro(params, "Server") + "/" + Parametro(params, "Port") + ":" + Parametro(params, "Database");
    if (!clienteCarregado) {
        r.Linha("Conexão com o banco de dados", false, conexao + ": sem a biblioteca cliente");
        return false;
    }
    try {
        m.Connvelmora.Open();
    } catch (const std::exception& e) {
        r.Linha("Conexão com o banco de dados", false, conexao + ": " + e.what());
        return false;
    }
    db::TQuery versao(m.Connvelmora, m.TransReadOnly,
                      "SELECT RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') AS VERSAO FROM RDB$DATABASE");
    try {
        versao.Open();
        r.Linha("Conexão com o banco de dados", true, conexao + ": conectado, Firebird " + versao.Text("VERSAO"));
    } catch (const std::exception& e) {
        r.Linha("Conexão com o banco de dados", true, conexao + ": conectado (versão ilegível: " + e.what() + ")");
    }
    return true;
}

void VerificaPadrao(Relatorio& r, TSrvVevoveRazara& m) {
    db::TTableQuery& padrao = m.TBPadrao;
    padrao.Open();
    if (padrao.IsEmpty()) return r.Linha("Tabela PADRAO", false, "nenhuma linha");
    // Every column the service reads, read once as the cycle would.
    for (const char* coluna : {"CGC", "ESTADO"}) padrao.Text(coluna);
    std::string faltam;
    for (const char* coluna : {"BRISEN_ID", "BRISEN_TOKEN", "DIRADOR_DATAULTIMAATUALIZACAO"}) {
        if (padrao.Text(coluna).empty()) faltam += std::string(faltam.empty() ? "" : ", ") + coluna;
    }
    if (!faltam.empty()) {
        return r.Linha("Tabela PADRAO", false, "vazio: " + faltam + "; nenhuma atualização será pedida");
    }
    const LocalDateTime ultima = padrao.DateTime("DIRADOR_DATAULTIMAATUALIZACAO");
    const LocalDateTime hoje = StartOfDay(DateOf(m.setup().clock->Now()));
    r.Linha("Tabela PADRAO", true,
            "BRISEN_ID e BRISEN_TOKEN presentes; última atualização " + DayMonthYearText(DateOf(ultima), "/") + "; " +
                (IsEarlier(ultima, hoje) ? "atualização devida no próximo ciclo" : "nenhuma atualização devida hoje"));
}

bool Aceita(const db::DeclaredType& tipo, TTipoParametro esperado) {
    switch (esperado) {
        case TTipoParametro::tpTexto: return tipo.TakesText();
        case TTipoParametro::tpDecimal: return tipo.TakesDecimal();
        case TTipoParametro::tpInteiro: return tipo.TakesInteger();
    }
    return false;
}

const char* Esperado(TTipoParametro tipo) {
    switch (tipo) {
        case TTipoParametro::tpTexto: return "CHAR ou VARCHAR";
        case TTipoParametro::tpDecimal: return "NUMERIC, DECIMAL ou DOUBLE";
        case TTipoParametro::tpInteiro: break;
    }
    return "um tipo numérico";
}

// Every parameter the service sets, declared with a type that takes its values without loss.
void VerificaProcedimento(Relatorio& r, TSrvVevoveRazara& m) {
    if (!db::ProcedureExists(m.Connvelmora, m.TransReadOnly, "PROC_DIRADOR")) {
        return r.Linha("Procedimento PROC_DIRADOR", false, "não existe");
    }
    const std::vector<db::DeclaredParameter> declarados =
        db::InputParameters(m.Connvelmora, m.TransReadOnly, "PROC_DIRADOR");
    std::string problemas;
    const auto problema = [&problemas](const std::string& texto) {
        problemas += (problemas.empty() ? "" : "; ") + texto;
    };
    for (const TParametroDirador& esperado : ParametrosDirador()) {
        const auto declarado = std::find_if(declarados.begin(), declarados.end(),
                                            [&](const db::DeclaredParameter& p) { return p.name == esperado.nome; });
        if (declarado == declarados.end()) {
            problema(std::string("falta o parâmetro ") + esperado.nome);
        } else if (!Aceita(declarado->type, esperado.tipo)) {
            problema(std::string(esperado.nome) + " é " + declarado->type.Name() + ", esperado " +
                     Esperado(esperado.tipo));
        }
    }
    if (!problemas.empty()) return r.Linha("Procedimento PROC_DIRADOR", false, problemas);
    r.Linha("Procedimento PROC_DIRADOR", true,
            "os " + std::to_string(ParametrosDirador().size()) + " parâmetros usados presentes e compatíveis");
}

void VerificaExcecoes(Relatorio& r, TSrvVevoveRazara& m) {
    m.TBExceptions.Open();
    int n = 0;
    for (m.TBExceptions.First(); !m.TBExceptions.Eof(); m.TBExceptions.Next()) ++n;
    r.Linha("Catálogo de exceções", true, std::to_string(n) + " exceções em RDB$EXCEPTIONS");
}

// The database: attachment, PADRAO, PROC_DIRADOR, the exception catalogue. Everything is read
// in the read-only transaction; closing it commits nothing that was written.
void VerificaBanco(Relatorio& r, TSrvVevoveRazara& m, bool clienteCarregado) {
    if (!VerificaConexao(r, m, clienteCarregado)) {
        for (const char* nome : {"Tabela PADRAO", "Procedimento PROC_DIRADOR", "Catálogo de exceções"}) {
            r.Linha(nome, false, "não verificado: sem conexão com o banco de dados");
        }
        return;
    }
    r.Verifica("Tabela PADRAO", [&] { VerificaPadrao(r, m); });
    r.Verifica("Procedimento PROC_DIRADOR", [&] { VerificaProcedimento(r, m); });
    r.Verifica("Catálogo de exceções", [&] { VerificaExcecoes(r, m); });
    try {
        m.Connvelmora.Close();
    } catch (const std::exception&) {
        // Only reads happened; the checks above have said what there is to say.
    }
}

// The classification service: its host resolved, a connection made and its certificate
// verified by the same client the cycle uses. Any answer proves that; only a failed exchange
// fails the check.
void VerificaServico(Relatorio& r, HttpClient& http, const TModuleSetup& setup) {
    const auto verificado = [&](int status) {
        r.Linha("Serviço de classificação", true,
                setup.baseAddress + ": endereço resolvido e certificado verificado (HTTP " + std::to_string(status) + ")");
    };
    THttpRequest request;
    request.url = setup.baseAddress + "/";
    request.timeoutMs = setup.timeoutConsultaEANMs;
    try {
        verificado(http.Get(request).statusCode);
    } catch (const RestError& e) {
        if (e.answer() != nullptr) {
            verificado(e.answer()->statusCode);
        } else {
            r.Linha("Serviço de classificação", false, setup.baseAddress + ": " + e.what());
        }
    } catch (const std::exception& e) {
        // An answer arrived but its body could not be decoded: the exchange itself worked.
        r.Linha("Serviço de classificação", true, setup.baseAddress + ": conexão verificada (" + e.what() + ")");
    }
}

// The log and the dump: a probe file of the checks' own shows that the directory takes new
// files (the log and the dump are replaced through one), and each file present must be a file.
// The real files are not touched.
void VerificaArquivos(Relatorio& r, const std::filesystem::path& directory) {
    const std::filesystem::path probe = directory / "VevoveRazara.check.tmp";
    std::string falhaDiretorio;
    try {
        ReplaceWholeFile(probe, "");
        std::error_code error;
        std::filesystem::remove(probe, error);
    } catch (const std::exception& e) {
        falhaDiretorio = e.what();
    }
    for (const char* nome : {"VevoveRazara.log", "BRISEN_RESPOSTA.LOG"}) {
        const std::filesystem::path file = directory / nome;
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::status(file, error);
        const std::string titulo = std::string("Arquivo ") + nome;
        if (!falhaDiretorio.empty()) {
            r.Linha(titulo, false, "o diretório " + Caminho(directory) + " não aceita gravação: " + falhaDiretorio);
        } else if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
            r.Linha(titulo, false, Caminho(file) + " existe e não é um arquivo comum");
        } else {
            r.Linha(titulo, true, Caminho(file) + " gravável");
        }
    }
}

}  // namespace

std::vector<TVerificacao> TSrvVevoveRazara::VerificaInstalacao() {
    Relatorio r;
    VerificaIni(r, *this);
    const bool clienteCarregado = VerificaCliente(r);
    VerificaBanco(r, *this, clienteCarregado);
    VerificaServico(r, *http_, setup_);
    VerificaArquivos(r, setup_.directory);
    return std::move(r).Linhas();
}

}  // namespace vr
