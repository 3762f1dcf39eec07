// The checks a support technician runs first (/CHECK). They read only: a read-only transaction
// on the database, a request for the root of the classification service's address (which is not
// a feed request and whose status does not matter, only that a verified TLS exchange took
// place), and a probe file of their own beside the executable.

#include "service/SupportChecks.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/Date.h"
#include "database/Client.h"
#include "database/TQuery.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileAccess.h"
#include "service/UVevoveRazara.h"
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

// How the service sets each parameter of PROC_DIRADOR (FeedApplication.cpp, BindTributo).
enum class Vinculo { Texto, Decimal, Inteiro };

struct ParametroVinculado {
    const char* nome;
    Vinculo vinculo;
};

constexpr ParametroVinculado kParametros[] = {
    {"CODIGOPRODUTO", Vinculo::Texto},
    {"DIRADOR_IDSEGMENTO", Vinculo::Inteiro},
    {"DIRADOR_NCM", Vinculo::Texto},
    {"DIRADOR_CEST", Vinculo::Texto},
    {"DIRADOR_LISTA", Vinculo::Texto},
    {"DIRADOR_TIPO", Vinculo::Texto},
    {"DIRADOR_CSTPISCOFINSENTRADA", Vinculo::Texto},
    {"DIRADOR_CSTPISCOFINSSAIDA", Vinculo::Texto},
    {"DIRADOR_NATUREZARECEITA", Vinculo::Texto},
    {"DIRADOR_CSTIPIENTRADA", Vinculo::Texto},
    {"DIRADOR_CSTIPISAIDA", Vinculo::Texto},
    {"DIRADOR_ALIQUOTAIPI", Vinculo::Decimal},
    {"DIRADOR_ENQUADRAMENTOIPI", Vinculo::Texto},
    {"DIRADOR_EXCECAOIPI", Vinculo::Texto},
    {"DIRADOR_ALIQUOTAPDV", Vinculo::Decimal},
    {"DIRADOR_TRIBUTACAOPDV", Vinculo::Texto},
    {"DIRADOR_CST_CSOSN", Vinculo::Texto},
    {"DIRADOR_ALIQUOTAICMS", Vinculo::Decimal},
    {"DIRADOR_ALIQUOTAREDUCAO", Vinculo::Decimal},
    {"DIRADOR_ALIQUOTAREDUCAOST", Vinculo::Decimal},
    {"DIRADOR_ALIQUOTAST", Vinculo::Decimal},
    {"DIRADOR_MVA", Vinculo::Decimal},
    {"DIRADOR_FCP", Vinculo::Decimal},
    {"DIRADOR_CBNEF", Vinculo::Texto},
    {"DIRADOR_PERCENTUALDIFERIMENTO", Vinculo::Decimal},
    {"DIRADOR_ANTECIPACAO", Vinculo::Texto},
    {"DIRADOR_CFOPCOMPRA", Vinculo::Inteiro},
    {"DIRADOR_CFOPVENDA", Vinculo::Inteiro},
    {"DIRADOR_DESONERACAO", Vinculo::Decimal},
    {"ATUALIZARSEGMENTO", Vinculo::Texto},
};

// RDB$FIELDS.RDB$FIELD_TYPE of the declared types.
std::string NomeDoTipo(int tipo, int escala) {
    switch (tipo) {
        case 7: return escala < 0 ? "NUMERIC (SMALLINT)" : "SMALLINT";
        case 8: return escala < 0 ? "NUMERIC (INTEGER)" : "INTEGER";
        case 16: return escala < 0 ? "NUMERIC (BIGINT)" : "BIGINT";
        case 10: return "FLOAT";
        case 27: return "DOUBLE PRECISION";
        case 14: return "CHAR";
        case 37: return "VARCHAR";
        case 12: return "DATE";
        case 13: return "TIME";
        case 35: return "TIMESTAMP";
        case 23: return "BOOLEAN";
        case 261: return "BLOB";
        default: return "tipo " + std::to_string(tipo);
    }
}

// A type that takes what the service sends without loss: texts into CHAR or VARCHAR (a number
// would refuse the texts), rates with four decimal places into a scaled or floating number (an
// integer would drop them), integers into any number.
bool Compativel(Vinculo vinculo, int tipo, int escala) {
    const bool inteiro = tipo == 7 || tipo == 8 || tipo == 16;
    const bool flutuante = tipo == 10 || tipo == 27;
    switch (vinculo) {
        case Vinculo::Texto: return tipo == 14 || tipo == 37;
        case Vinculo::Decimal: return flutuante || (inteiro && escala < 0);
        case Vinculo::Inteiro: return flutuante || inteiro;
    }
    return false;
}

int Numero(const std::string& text) {
    try {
        return std::stoi(text);
    } catch (const std::exception&) {
        return 0;
    }
}

std::string Parametro(const std::vector<std::string>& params, std::string_view nome) {
    for (const std::string& p : params) {
        if (p.size() > nome.size() && p.compare(0, nome.size(), nome) == 0 && p[nome.size()] == '=') {
            return p.substr(nome.size() + 1);
        }
    }
    return "";
}

std::string Data(const LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", t.day, t.month, t.year);
    return text;
}

std::string Caminho(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

std::vector<TVerificacao> TSrvVevoveRazara::VerificaInstalacao() {
    std::vector<TVerificacao> out;
    const auto add = [&out](std::string nome, bool ok, std::string detalhe) {
        out.push_back({std::move(nome), ok, std::move(detalhe)});
    };
    const std::filesystem::path& directory = setup_.directory;

    // The INI file and the values used, its own or the defaults.
    {
        const std::filesystem::path ini = directory / "Rivelto.ini";
        std::error_code error;
        const bool found = std::filesystem::is_regular_file(ini, error);
        std::string valores;
        try {
            CarregarParametrosConexao();
            const std::vector<std::string>& params = Connvelmora.Params();
            valores = "Servidor=" + Parametro(params, "Server") + ", Caminho=" + Parametro(params, "Database");
        } catch (const std::exception& e) {
            valores = std::string("ilegível: ") + e.what();
        }
        add("Arquivo INI", found,
            (found ? Caminho(ini) + " encontrado; " : Caminho(ini) + " não encontrado; valores padrão: ") + valores);
    }

    // The client library, loaded once for the process, as a connection would.
    bool clienteCarregado = false;
    try {
        db::Client::Load(FirebirdClientLibraryNames());
        clienteCarregado = true;
        add("Biblioteca cliente do Firebird", true, "carregada: " + db::Client::Load(FirebirdClientLibraryNames()).file());
    } catch (const std::exception& e) {
        add("Biblioteca cliente do Firebird", false, e.what());
    }

    // The database: attachment, PADRAO, PROC_DIRADOR, the exception catalogue. Everything is
    // read in the read-only transaction; closing it commits nothing that was written.
    const std::vector<std::string>& params = Connvelmora.Params();
    const std::string conexao =
        Parametro(params, "Server") + "/" + Parametro(params, "Port") + ":" + Parametro(params, "Database");
    bool conectado = false;
    if (clienteCarregado) {
        try {
            Connvelmora.Open();
            conectado = true;
        } catch (const std::exception& e) {
            add("Conexão com o banco de dados", false, conexao + ": " + e.what());
        }
    } else {
        add("Conexão com o banco de dados", false, conexao + ": sem a biblioteca cliente");
    }
    if (conectado) {
        db::TQuery versao(Connvelmora, TransReadOnly,
                          "SELECT RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') AS VERSAO FROM RDB$DATABASE");
        db::TQuery procedimento(Connvelmora, TransReadOnly,
                                "SELECT COUNT(*) AS N FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = 'PROC_DIRADOR'");
        db::TQuery parametros(Connvelmora, TransReadOnly,
                              "SELECT TRIM(P.RDB$PARAMETER_NAME) AS NOME, F.RDB$FIELD_TYPE AS TIPO, "
                              "F.RDB$FIELD_SCALE AS ESCALA FROM RDB$PROCEDURE_PARAMETERS P "
                              "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = P.RDB$FIELD_SOURCE "
                              "WHERE P.RDB$PROCEDURE_NAME = 'PROC_DIRADOR' AND P.RDB$PARAMETER_TYPE = 0");
        try {
            versao.Open();
            add("Conexão com o banco de dados", true, conexao + ": conectado, Firebird " + versao.Text("VERSAO"));
        } catch (const std::exception& e) {
            add("Conexão com o banco de dados", true, conexao + ": conectado (versão ilegível: " + e.what() + ")");
        }

        try {
            TBPadrao.Open();
            if (TBPadrao.IsEmpty()) {
                add("Tabela PADRAO", false, "nenhuma linha");
            } else {
                // Every column the service reads, read once as the cycle would.
                for (const char* coluna : {"CGC", "ESTADO"}) TBPadrao.Text(coluna);
                std::string faltam;
                for (const char* coluna : {"BRISEN_ID", "BRISEN_TOKEN", "DIRADOR_DATAULTIMAATUALIZACAO"}) {
                    if (TBPadrao.Text(coluna).empty()) faltam += std::string(faltam.empty() ? "" : ", ") + coluna;
                }
                if (!faltam.empty()) {
                    add("Tabela PADRAO", false, "vazio: " + faltam + "; nenhuma atualização será pedida");
                } else {
                    const LocalDateTime ultima = TBPadrao.DateTime("DIRADOR_DATAULTIMAATUALIZACAO");
                    const LocalDateTime hoje = StartOfDay(DateOf(setup_.clock->Now()));
                    add("Tabela PADRAO", true,
                        "BRISEN_ID e BRISEN_TOKEN presentes; última atualização " + Data(ultima) + "; " +
                            (IsEarlier(ultima, hoje) ? "atualização devida no próximo ciclo"
                                                     : "nenhuma atualização devida hoje"));
                }
            }
        } catch (const std::exception& e) {
            add("Tabela PADRAO", false, e.what());
        }

        try {
            procedimento.Open();
            if (procedimento.Text("N") == "0") {
                add("Procedimento PROC_DIRADOR", false, "não existe");
            } else {
                parametros.Open();
                std::string problemas;
                const auto problema = [&problemas](const std::string& texto) {
                    problemas += (problemas.empty() ? "" : "; ") + texto;
                };
                for (const ParametroVinculado& esperado : kParametros) {
                    bool achado = false;
                    for (parametros.First(); !parametros.Eof(); parametros.Next()) {
                        if (parametros.Text("NOME") != esperado.nome) continue;
                        achado = true;
                        const int tipo = Numero(parametros.Text("TIPO"));
                        const int escala = Numero(parametros.Text("ESCALA"));
                        if (!Compativel(esperado.vinculo, tipo, escala)) {
                            problema(std::string(esperado.nome) + " é " + NomeDoTipo(tipo, escala) + ", esperado " +
                                     (esperado.vinculo == Vinculo::Texto     ? "CHAR ou VARCHAR"
                                      : esperado.vinculo == Vinculo::Decimal ? "NUMERIC, DECIMAL ou DOUBLE"
                                                                             : "um tipo numérico"));
                        }
                        break;
                    }
                    if (!achado) problema(std::string("falta o parâmetro ") + esperado.nome);
                }
                const std::size_t n = sizeof kParametros / sizeof kParametros[0];
                if (problemas.empty()) {
                    add("Procedimento PROC_DIRADOR", true, "os " + std::to_string(n) + " parâmetros usados presentes e compatíveis");
                } else {
                    add("Procedimento PROC_DIRADOR", false, problemas);
                }
            }
        } catch (const std::exception& e) {
            add("Procedimento PROC_DIRADOR", false, e.what());
        }

        try {
            TBExceptions.Open();
            int n = 0;
            for (TBExceptions.First(); !TBExceptions.Eof(); TBExceptions.Next()) ++n;
            add("Catálogo de exceções", true, std::to_string(n) + " exceções em RDB$EXCEPTIONS");
        } catch (const std::exception& e) {
            add("Catálogo de exceções", false, e.what());
        }

        try {
            Connvelmora.Close();
        } catch (const std::exception&) {
            // Only reads happened; the checks above have said what there is to say.
        }
    }
    if (!conectado) {
        for (const char* nome : {"Tabela PADRAO", "Procedimento PROC_DIRADOR", "Catálogo de exceções"}) {
            add(nome, false, "não verificado: sem conexão com o banco de dados");
        }
    }

    // The classification service: its host resolved, a connection made and its certificate
    // verified by the same client the cycle uses. Any answer proves that; only a failed
    // exchange fails the check.
    {
        THttpRequest request;
        request.url = setup_.baseAddress + "/";
        request.timeoutMs = setup_.timeoutConsultaEANMs;
        try {
            const THttpAnswer answer = http_->Get(request);
            add("Serviço de classificação", true,
                setup_.baseAddress + ": endereço resolvido e certificado verificado (HTTP " +
                    std::to_string(answer.statusCode) + ")");
        } catch (const RestError& e) {
            if (e.answer() != nullptr) {
                add("Serviço de classificação", true,
                    setup_.baseAddress + ": endereço resolvido e certificado verificado (HTTP " +
                        std::to_string(e.answer()->statusCode) + ")");
            } else {
                add("Serviço de classificação", false, setup_.baseAddress + ": " + e.what());
            }
        } catch (const std::exception& e) {
            // An answer arrived but its body could not be decoded: the exchange itself worked.
            add("Serviço de classificação", true, setup_.baseAddress + ": conexão verificada (" + e.what() + ")");
        }
    }

    // The log and the dump: a probe file of the checks' own shows that the directory takes new
    // files (the log and the dump are replaced through one), and each file present must be a
    // file. The real files are not touched.
    {
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
                add(titulo, false, "o diretório " + Caminho(directory) + " não aceita gravação: " + falhaDiretorio);
            } else if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
                add(titulo, false, Caminho(file) + " existe e não é um arquivo comum");
            } else {
                add(titulo, true, Caminho(file) + " gravável");
            }
        }
    }
    return out;
}

}  // namespace vr
