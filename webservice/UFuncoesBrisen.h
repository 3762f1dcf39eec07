#pragma once

// The classification service's part of the unit of free functions: the endpoints, the answer
// dump and the consultation of one product by barcode. The tax record and its rules are in
// tax/UFuncoesBrisen.h.

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>

#include "common/RegionalSettings.h"
#include "tax/UFuncoesBrisen.h"
#include "webservice/HttpClient.h"

namespace vr {

// Origin of the classification service; the environment variable VEVOVERAZARA_BASE_URL
// replaces it (a test or demo service, e.g. https://127.0.0.1:8443).
inline constexpr std::string_view kBaseAddressPadrao = "https://api.vevoverazara.com.br";

std::string BaseAddress();
std::string BaseURLAtualizacao();  // base + "/v2.0/atualizacoes"
std::string BaseURLConsultaEAN();  // base + "/v2.0/consulta-ean/"

inline constexpr int kTimeoutAtualizacaoMs = 300000;
inline constexpr int kTimeoutConsultaEANMs = 10000;

// Kinds of JSON the answer dump can hold.
enum class TTipoJson { tjRetorno };

inline constexpr const char* kArquivoDump = "BRISEN_RESPOSTA.LOG";

// Where the answer dump goes and how it is encoded.
struct TDestinoDump {
    std::filesystem::path diretorio;  // the executable's directory
    std::string codePage;             // the regional settings' ANSI code page
};

// Replaces BRISEN_RESPOSTA.LOG with Json: lines cut at CR LF, lone CR and lone LF, each written
// followed by CR LF, in the code page, without byte-order mark. The file is replaced whole or
// not at all. Throws vr::Error naming the file when it cannot be written.
void SalvarJson(std::string_view Json, TTipoJson TipoJson, const TDestinoDump& destino);

// SalvarJson for a text that arrives in pieces (a large answer written again as it is
// produced). The dump is replaced only by Commit; a writer destroyed before it leaves the
// earlier dump as it was.
class TDumpWriter {
public:
    explicit TDumpWriter(const TDestinoDump& destino);
    ~TDumpWriter();
    TDumpWriter(const TDumpWriter&) = delete;
    TDumpWriter& operator=(const TDumpWriter&) = delete;

    void Write(std::string_view text);
    void Commit();

private:
    void Flush(bool all);

    std::string codePage_;
    std::filesystem::path file_;
    std::filesystem::path temporary_;
    std::ofstream out_;
    std::string pending_;  // normalised text not yet converted
    bool lastWasCr_ = false;
    bool endsLine_ = false;
    bool empty_ = true;
    bool committed_ = false;
};

// What a consultation takes from its caller besides the product.
struct TContextoConsulta {
    HttpClient& cliente;
    const RegionalSettings& settings;
    std::filesystem::path diretorio;  // of the answer dump
    // Dispatches the messages waiting in the calling thread's queue; may be empty.
    std::function<void()> processarMensagens;
};

inline constexpr std::string_view kMensagemRetornada = "MENSAGEM RETORNADA PELA VEVOVERAZARA";
inline constexpr std::string_view kMensagemNaoLocalizado =
    "Este código de barras não foi localizado na base de dados da VEVOVERAZARA, por este motivo "
    "foi colocado sob análise e será classificado posteriormente!!!";
inline constexpr std::string_view kMensagemFalha =
    "Ocorreu um erro na comunicação com a VEVOVERAZARA. Este produto será classificado pela "
    "mesma posteriormente.";

// Consults one product by barcode and returns its tax record; StatusCode and Mensagem tell the
// outcome. Throws only when an answer read as JSON is valid JSON but not an object.
TRetornoBrisen ConsultaEAN(std::string_view CNPJ, std::string_view UF, std::string_view IDUsuario,
                           std::string_view TokenAcesso, std::string_view CodigoProduto,
                           std::string_view DescricaoProduto, const TContextoConsulta& contexto);

}  // namespace vr
