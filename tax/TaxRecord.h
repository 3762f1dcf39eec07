#pragma once

// The tax record: what the service writes for one product or segment.

#include <cstdint>
#include <string>

namespace vr {

// A rate or percentage: the value times 10000 (four decimal places).
using Decimal = std::int64_t;

// The tax data of one product or segment, on its way from an answer to PROC_DIRADOR.
struct TRetornoBrisen {
    std::string CodigoProduto;
    std::string NCM;
    std::string Cest;
    std::string Lista;
    std::string Tipo;
    std::string CSTPISEntrada;
    std::string CSTPISSaida;
    std::string NatRec;
    std::string CSTIPIEntrada;
    std::string CSTIPISaida;
    Decimal AliqIPI = 0;
    std::string EnqIPI;
    std::string ExcIPI;
    Decimal AliqPDV = 0;
    std::string TributacaoPDV;
    std::string CST_CSOSN;
    Decimal AliqICMS = 0;
    Decimal AliqReducaoICMS = 0;
    Decimal AliqReducaoST = 0;
    Decimal AliqST = 0;
    Decimal AliqMVA = 0;
    Decimal AliqFCP = 0;
    std::string CBNEF;
    Decimal AliqDiferimento = 0;
    std::string Antecipacao;
    std::string CFOPCompra;
    std::string CFOPVenda;
    Decimal AliqDesoneracao = 0;
    std::int32_t IdSegmento = 0;
    std::int32_t StatusCode = 0;
    std::string Mensagem;

    friend bool operator==(const TRetornoBrisen&, const TRetornoBrisen&) = default;
};

// Which of the two uses a tax entry is converted for.
enum class TCaminhoTributo { ctProduto, ctSegmento };

}  // namespace vr
