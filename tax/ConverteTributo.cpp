#include "common/Text.h"
#include "common/ValueText.h"
#include "tax/TaxRules.h"

namespace vr {
namespace {

std::string ListaDe(std::int32_t idLista) {
    switch (idLista) {
        case 1:
            return "N";
        case 2:
            return "P";
        case 3:
            return "U";
        default:
            return {};
    }
}

// Drops the leading goods-origin digit when the code carries one: a CST arrives as three digits
// (origin + the two-digit CST) and a CSOSN as four (origin + three digits); the point-of-sale
// table knows the codes without their origin, so only a code of exactly that length is cut.
std::string SemOrigem(std::string codigo, std::size_t comOrigem) {
    if (text::Utf16Length(codigo) == comOrigem) return text::Utf16Mid(codigo, 1, comOrigem - 1);
    return codigo;
}

}  // namespace

void ConverteTributo(JsonValue entry, std::string_view UF, TCaminhoTributo caminho,
                     const RegionalSettings& settings, TRetornoBrisen& record) {
    // Start from a fresh record so that nothing of an earlier entry survives, keeping only what
    // the consultation itself reports.
    {
        TRetornoBrisen fresh;
        fresh.StatusCode = record.StatusCode;
        fresh.Mensagem = std::move(record.Mensagem);
        record = std::move(fresh);
    }
    const auto ler = [&](std::string_view nome) { return RequiredMemberText(entry, nome, settings); };
    const auto decimal = [&](std::string_view nome) { return DecimalFromText(ler(nome), settings); };

    if (caminho == TCaminhoTributo::ctProduto) {
        record.CodigoProduto = ler("ean_cliente");
    } else {
        record.IdSegmento = IntegerFromText(ler("idsegmento"));
    }
    record.NCM = ExtraiNumero(ler("ncm"));
    record.Cest = ExtraiNumero(ler("cest"));
    record.Lista = ListaDe(IntegerFromText(ler("idlista")));
    record.CSTPISEntrada = ler("piscofins_cst_entrada");
    record.CSTPISSaida = ler("piscofins_cst_saida");
    record.NatRec = ler("piscofins_naturezarec");
    record.AliqIPI = decimal("ipi");

    std::string cstCsosn = ler("icms_saida_csosn");
    if (!cstCsosn.empty()) {
        cstCsosn = SemOrigem(std::move(cstCsosn), 4);
    } else {
        cstCsosn = SemOrigem(ler("icms_saida_cst"), 3);
    }
    record.CST_CSOSN = std::move(cstCsosn);
    record.TributacaoPDV = CstCSOSNtoTributacao(record.CST_CSOSN);

    if (record.TributacaoPDV == "T") {
        const Decimal aliquota = decimal("icms_saida");
        record.AliqPDV = aliquota != 0 ? aliquota : AliquotaInterna(UF);
    }
    record.AliqICMS = record.AliqPDV;

    record.AliqReducaoICMS = decimal("base_reduzida");
    record.AliqMVA = decimal("mva");
    record.AliqFCP = decimal("icms_fcp");
    record.CBNEF = ler("cod_beneficio");
    // Purchases of goods under tax substitution (already taxed upstream) are booked as 1403, all
    // other purchases for resale as 1102: the store's system takes the purchase CFOP from here.
    record.CFOPCompra = record.TributacaoPDV == "F" ? "1403" : "1102";
    record.CFOPVenda = ler("cfop_venda");
    record.AliqDesoneracao = decimal("desoneracao_icms");
}

}  // namespace vr
