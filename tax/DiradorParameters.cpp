#include "tax/DiradorParameters.h"

#include <array>

#include "tax/TaxRules.h"

namespace vr {
namespace {

using Caminho = TCaminhoTributo;
using R = TRetornoBrisen;
constexpr TTipoParametro T = TTipoParametro::tpTexto;
constexpr TTipoParametro D = TTipoParametro::tpDecimal;
constexpr TTipoParametro I = TTipoParametro::tpInteiro;

// clang-format off
const std::array<TParametroDirador, 30> kParametros = {{
    {"CODIGOPRODUTO", T, true, false, [](const R& r, Caminho) -> TValorParametro { return r.CodigoProduto; }},
    {"DIRADOR_IDSEGMENTO", I, false, true, [](const R& r, Caminho) -> TValorParametro { return r.IdSegmento; }},
    {"DIRADOR_NCM", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.NCM; }},
    {"DIRADOR_CEST", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.Cest; }},
    {"DIRADOR_LISTA", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.Lista; }},
    {"DIRADOR_TIPO", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.Tipo; }},
    {"DIRADOR_CSTPISCOFINSENTRADA", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.CSTPISEntrada; }},
    {"DIRADOR_CSTPISCOFINSSAIDA", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.CSTPISSaida; }},
    {"DIRADOR_NATUREZARECEITA", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.NatRec; }},
    {"DIRADOR_CSTIPIENTRADA", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.CSTIPIEntrada; }},
    {"DIRADOR_CSTIPISAIDA", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.CSTIPISaida; }},
    {"DIRADOR_ALIQUOTAIPI", D, true, true, [](const R& r, Caminho) -> TValorParametro { return r.AliqIPI; }},
    {"DIRADOR_ENQUADRAMENTOIPI", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.EnqIPI; }},
    {"DIRADOR_EXCECAOIPI", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.ExcIPI; }},
    {"DIRADOR_ALIQUOTAPDV", D, true, true, [](const R& r, Caminho) -> TValorParametro { return r.AliqPDV; }},
    {"DIRADOR_TRIBUTACAOPDV", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.TributacaoPDV; }},
    {"DIRADOR_CST_CSOSN", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.CST_CSOSN; }},
    {"DIRADOR_ALIQUOTAICMS", D, true, true, [](const R& r, Caminho) -> TValorParametro { return r.AliqICMS; }},
    {"DIRADOR_ALIQUOTAREDUCAO", D, true, true, [](const R& r, Caminho) -> TValorParametro { return r.AliqReducaoICMS; }},
    {"DIRADOR_ALIQUOTAREDUCAOST", D, true, true, [](const R& r, Caminho) -> TValorParametro { return r.AliqReducaoST; }},
    {"DIRADOR_ALIQUOTAST", D, true, true, [](const R& r, Caminho) -> TValorParametro { return r.AliqST; }},
    {"DIRADOR_MVA", D, true, true, [](const R& r, Caminho) -> TValorParametro { return r.AliqMVA; }},
    {"DIRADOR_FCP", D, true, true, [](const R& r, Caminho) -> TValorParametro { return r.AliqFCP; }},
    {"DIRADOR_CBNEF", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.CBNEF; }},
    {"DIRADOR_PERCENTUALDIFERIMENTO", D, true, true, [](const R& r, Caminho) -> TValorParametro { return r.AliqDiferimento; }},
    {"DIRADOR_ANTECIPACAO", T, true, true, [](const R& r, Caminho) -> TValorParametro { return r.Antecipacao; }},
    {"DIRADOR_CFOPCOMPRA", I, true, true, [](const R& r, Caminho) -> TValorParametro { return IntegerFromText(r.CFOPCompra); }},
    {"DIRADOR_CFOPVENDA", I, true, true, [](const R& r, Caminho) -> TValorParametro { return IntegerFromText(r.CFOPVenda); }},
    {"DIRADOR_DESONERACAO", D, true, true, [](const R& r, Caminho) -> TValorParametro { return r.AliqDesoneracao; }},
    {"ATUALIZARSEGMENTO", T, true, true, [](const R&, Caminho c) -> TValorParametro {
        return std::string(c == Caminho::ctProduto ? "N" : "Y");
    }},
}};
// clang-format on

}  // namespace

std::span<const TParametroDirador> ParametrosDirador() { return kParametros; }

}  // namespace vr
