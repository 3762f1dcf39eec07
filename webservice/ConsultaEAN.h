#pragma once

// The consultation of one product by barcode.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "common/RegionalSettings.h"
#include "tax/TaxRecord.h"
#include "webservice/Endpoints.h"
#include "webservice/HttpClient.h"

namespace vr {

// What a consultation takes from its caller besides the product.
struct TContextoConsulta {
    HttpClient& cliente;
    const RegionalSettings& settings;
    std::filesystem::path diretorio;  // of the answer dump
    // Dispatches the messages waiting in the calling thread's queue; may be empty.
    std::function<void()> processarMensagens;
    std::string baseAddress{kBaseAddressPadrao};  // origin of the classification service
    int timeoutMs = kTimeoutConsultaEANMs;
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
