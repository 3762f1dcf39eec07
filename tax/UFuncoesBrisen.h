#pragma once

// The tax record and the rules that fill it from a tax entry of the classification service.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Json.h"
#include "common/RegionalSettings.h"

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

// The text a JSON value reads as. Throws vr::Error for a long integer number that is not a
// signed 64-bit integer.
std::string ValueText(JsonValue value, const RegionalSettings& settings);

// The value text of a member that must be present; throws vr::Error naming a missing member.
std::string RequiredMemberText(JsonValue object, std::string_view name,
                               const RegionalSettings& settings);

// Text to a four-place decimal; 0 for anything that does not read or is out of range.
Decimal DecimalFromText(std::string_view text, const RegionalSettings& settings);

// Text to a signed 32-bit integer (decimal or "$"/"x"/"0x" hexadecimal); 0 for anything else.
std::int32_t IntegerFromText(std::string_view text);

// The characters "0" to "9" of the text, in order.
std::string ExtraiNumero(std::string_view texto);

// Point-of-sale tax code of a CST or CSOSN; empty for a code outside the table.
std::string CstCSOSNtoTributacao(std::string_view CstCSOSN);

// The state's internal ICMS rate; 0 for a text that is not a state code.
Decimal AliquotaInterna(std::string_view UF);

// Fills the tax fields of record from a tax entry (a JSON object), in the order of the rules;
// StatusCode and Mensagem are left untouched. On a failure (a required member missing, an
// unreadable long number) it throws vr::Error and the fields filled before stay filled.
void ConverteTributo(JsonValue entry, std::string_view UF, TCaminhoTributo caminho,
                     const RegionalSettings& settings, TRetornoBrisen& record);

}  // namespace vr
