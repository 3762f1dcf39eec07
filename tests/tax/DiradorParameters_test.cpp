#include <gtest/gtest.h>

#include <set>
#include <string>
#include <variant>

#include "tax/DiradorParameters.h"

namespace vr {
namespace {

std::size_t Alternative(TTipoParametro tipo) {
    switch (tipo) {
        case TTipoParametro::tpTexto: return 0;
        case TTipoParametro::tpDecimal: return 1;
        case TTipoParametro::tpInteiro: return 2;
    }
    return 99;
}

// A record whose every field holds a value no other field holds.
TRetornoBrisen Distinct() {
    TRetornoBrisen r;
    int n = 1;
    for (std::string* text : {&r.CodigoProduto, &r.NCM, &r.Cest, &r.Lista, &r.Tipo, &r.CSTPISEntrada,
                              &r.CSTPISSaida, &r.NatRec, &r.CSTIPIEntrada, &r.CSTIPISaida, &r.EnqIPI,
                              &r.ExcIPI, &r.TributacaoPDV, &r.CST_CSOSN, &r.CBNEF, &r.Antecipacao}) {
        *text = "t" + std::to_string(n++);
    }
    r.CFOPCompra = std::to_string(5000 + n++);
    r.CFOPVenda = std::to_string(5000 + n++);
    for (Decimal* d : {&r.AliqIPI, &r.AliqPDV, &r.AliqICMS, &r.AliqReducaoICMS, &r.AliqReducaoST, &r.AliqST,
                       &r.AliqMVA, &r.AliqFCP, &r.AliqDiferimento, &r.AliqDesoneracao}) {
        *d = 10000 * n++;
    }
    r.IdSegmento = n++;
    return r;
}

// The kind /CHECK demands of the declared type is the kind the binding sends; no two
// parameters carry the same field; the path decides the key and ATUALIZARSEGMENTO.
TEST(DiradorParameters, EachParameterSendsItsOwnFieldInItsKind) {
    const TRetornoBrisen record = Distinct();
    struct Case {
        TCaminhoTributo caminho;
        const char* key;
        const char* notSet;
        const char* atualizaSegmento;
    } const cases[] = {
        {TCaminhoTributo::ctProduto, "CODIGOPRODUTO", "DIRADOR_IDSEGMENTO", "N"},
        {TCaminhoTributo::ctSegmento, "DIRADOR_IDSEGMENTO", "CODIGOPRODUTO", "Y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        std::set<TValorParametro> values;
        std::set<std::string> names;
        for (const TParametroDirador& p : ParametrosDirador()) {
            SCOPED_TRACE(p.nome);
            names.insert(p.nome);
            const TValorParametro value = p.valor(record, c.caminho);
            EXPECT_EQ(value.index(), Alternative(p.tipo));
            if (std::string(p.nome) == c.notSet) {
                EXPECT_FALSE(p.DefinidoEm(c.caminho));
                continue;
            }
            EXPECT_TRUE(p.DefinidoEm(c.caminho));
            if (std::string(p.nome) == "ATUALIZARSEGMENTO") {
                EXPECT_EQ(value, TValorParametro(std::string(c.atualizaSegmento)));
                continue;
            }
            EXPECT_TRUE(values.insert(value).second) << "another parameter sends the same field";
        }
        EXPECT_EQ(names.size(), ParametrosDirador().size()) << "a name appears twice";
        EXPECT_TRUE(values.count(TValorParametro(std::int32_t{5017})) == 1) << "CFOPCompra read as an integer";
    }
}

}  // namespace
}  // namespace vr
