#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "tax/TaxRules.h"
#include "tests/support/Locales.h"

namespace vr {
namespace {

using test::CommaLocale;
using test::PointLocale;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// A tax entry as ordered members, each with the JSON text of its value.
class Entry {
public:
    Entry(std::initializer_list<std::pair<std::string, std::string>> members) : members_(members) {}

    Entry& Set(const std::string& name, const std::string& json) {
        for (auto& member : members_) {
            if (member.first == name) {
                member.second = json;
                return *this;
            }
        }
        members_.emplace_back(name, json);
        return *this;
    }
    Entry& Remove(const std::string& name) {
        std::erase_if(members_, [&](const auto& member) { return member.first == name; });
        return *this;
    }
    std::string Json() const {
        std::string json = "{";
        for (const auto& [name, value] : members_) {
            if (json.size() > 1) json += ",";
            json += "\"" + name + "\":" + value;
        }
        return json + "}";
    }

private:
    std::vector<std::pair<std::string, std::string>> members_;
};

void Convert(const Entry& entry, std::string_view uf, TCaminhoTributo caminho,
             const RegionalSettings& settings, TRetornoBrisen& record) {
    const JsonDocument doc = JsonDocument::Parse(entry.Json());
    ConverteTributo(doc.root(), uf, caminho, settings, record);
}

TRetornoBrisen Convert(const Entry& entry, std::string_view uf, TCaminhoTributo caminho,
                       const RegionalSettings& settings) {
    TRetornoBrisen record;
    Convert(entry, uf, caminho, settings, record);
    return record;
}

// The segment entry of the worked example ("icms_saida" deliberately absent: it is not read).
Entry WorkedExample() {
    return {
        {"idsegmento", "15"},
        {"ncm", R"("2202.10.00")"},
        {"cest", R"("03.007.00")"},
        {"idlista", "2"},
        {"piscofins_cst_entrada", R"("70")"},
        {"piscofins_cst_saida", R"("04")"},
        {"piscofins_naturezarec", R"("101")"},
        {"ipi", "0"},
        {"icms_saida_csosn", R"("")"},
        {"icms_saida_cst", R"("060")"},
        {"base_reduzida", "0"},
        {"mva", "38.24"},
        {"icms_fcp", "0"},
        {"cod_beneficio", R"("")"},
        {"cfop_venda", R"("5405")"},
        {"desoneracao_icms", "0"},
    };
}

TRetornoBrisen WorkedExampleRecord() {
    TRetornoBrisen r;
    r.IdSegmento = 15;
    r.NCM = "22021000";
    r.Cest = "0300700";
    r.Lista = "P";
    r.CSTPISEntrada = "70";
    r.CSTPISSaida = "04";
    r.NatRec = "101";
    r.CST_CSOSN = "60";
    r.TributacaoPDV = "F";
    r.AliqMVA = 382400;
    r.CFOPCompra = "1403";
    r.CFOPVenda = "5405";
    return r;
}

TEST(TaxConverteTributo, WorkedExampleInBothLocales) {
    for (const RegionalSettings& settings : {CommaLocale(), PointLocale()}) {
        SCOPED_TRACE(settings.decimalSeparator);
        EXPECT_EQ(Convert(WorkedExample(), "SP", TCaminhoTributo::ctSegmento, settings),
                  WorkedExampleRecord());
    }
}

TEST(TaxConverteTributo, WorkedExampleWithCsosn0102TakesTheStateRate) {
    // "icms_saida_cst" removed: with a CSOSN present it is not read.
    Entry entry = WorkedExample();
    entry.Set("icms_saida_csosn", R"("0102")").Set("icms_saida", "0").Remove("icms_saida_cst");
    TRetornoBrisen expected = WorkedExampleRecord();
    expected.CST_CSOSN = "102";
    expected.TributacaoPDV = "T";
    expected.AliqPDV = 180000;
    expected.AliqICMS = 180000;
    expected.CFOPCompra = "1102";
    EXPECT_EQ(Convert(entry, "SP", TCaminhoTributo::ctSegmento, CommaLocale()), expected);
}

TEST(TaxConverteTributo, RatesAsStringsConvertOnlyInTheirLocale) {
    Entry entry = WorkedExample();
    entry.Set("mva", R"("38.24")").Set("ipi", R"("5,5")").Set("desoneracao_icms", R"(" 3,25 ")");
    const TRetornoBrisen comma = Convert(entry, "SP", TCaminhoTributo::ctSegmento, CommaLocale());
    EXPECT_EQ(comma.AliqMVA, 0);
    EXPECT_EQ(comma.AliqIPI, 55000);
    EXPECT_EQ(comma.AliqDesoneracao, 32500);
    const TRetornoBrisen point = Convert(entry, "SP", TCaminhoTributo::ctSegmento, PointLocale());
    EXPECT_EQ(point.AliqMVA, 382400);
    EXPECT_EQ(point.AliqIPI, 0);
    EXPECT_EQ(point.AliqDesoneracao, 0);
}

struct CodeCase {
    std::string name;
    std::string csosn;
    std::optional<std::string> cst;         // absent: must not be read
    std::optional<std::string> icmsSaida;   // absent: must not be read
    std::string uf;
    std::string cstCsosn;
    std::string tributacao;
    Decimal aliqPdv;
    std::string cfopCompra;
};

TEST(TaxConverteTributo, CstAndCsosnRules) {
    const std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600: two UTF-16 code units
    const std::string replacement = "\xEF\xBF\xBD";
    const std::vector<CodeCase> cases = {
        {"csosn 0102", R"("0102")", std::nullopt, "0", "SP", "102", "T", 180000, "1102"},
        {"csosn 102 stays", R"("102")", std::nullopt, "0", "SP", "102", "T", 180000, "1102"},
        {"csosn 0500", R"("0500")", std::nullopt, std::nullopt, "SP", "500", "F", 0, "1403"},
        {"csosn 0101 not in table", R"("0101")", std::nullopt, std::nullopt, "SP", "101", "", 0,
         "1102"},
        {"csosn as number", "102", std::nullopt, "12", "SP", "102", "T", 120000, "1102"},
        {"csosn null reads null", "null", std::nullopt, std::nullopt, "SP", "ull", "", 0, "1102"},
        {"csosn of five stays whole", R"("01020")", std::nullopt, std::nullopt, "SP", "01020", "",
         0, "1102"},
        {"csosn of 4 units with a pair", "\"1" + emoji + "2\"", std::nullopt, std::nullopt, "SP",
         emoji + "2", "", 0, "1102"},
        {"csosn cut through a pair", "\"" + emoji + "12\"", std::nullopt, std::nullopt, "SP",
         replacement + "12", "", 0, "1102"},
        {"csosn of 3 units and 5 bytes stays whole", "\"" + emoji + "1\"", std::nullopt,
         std::nullopt, "SP", emoji + "1", "", 0, "1102"},
        {"cst 060", R"("")", R"("060")", std::nullopt, "SP", "60", "F", 0, "1403"},
        {"cst 41", R"("")", R"("41")", std::nullopt, "SP", "41", "N", 0, "1102"},
        {"cst 60 as number", R"("")", "60", std::nullopt, "SP", "60", "F", 0, "1403"},
        {"cst 000 is taxed", R"("")", R"("000")", "0", "RJ", "00", "T", 200000, "1102"},
        {"cst of four stays whole", R"("")", R"("0600")", std::nullopt, "SP", "0600", "", 0,
         "1102"},
        {"cst null stays whole", R"("")", "null", std::nullopt, "SP", "null", "", 0, "1102"},
        {"cst empty", R"("")", R"("")", std::nullopt, "SP", "", "", 0, "1102"},
        {"cst of 3 units with a pair", R"("")", "\"1" + emoji + "\"", std::nullopt, "SP", emoji,
         "", 0, "1102"},
        {"cst of 3 characters in 5 bytes", R"("")", "\"\xC3\xA7\xC3\xA7" "1\"", std::nullopt, "SP",
         "\xC3\xA7" "1", "", 0, "1102"},
        {"csosn array reads empty", "[]", R"("00")", "0", "RS", "00", "T", 175000, "1102"},
        {"csosn object reads empty", R"({"a":"0102"})", R"("90")", std::nullopt, "SP", "90", "", 0,
         "1102"},
    };
    for (const CodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Entry entry = WorkedExample();
        entry.Set("icms_saida_csosn", c.csosn);
        if (c.cst) entry.Set("icms_saida_cst", *c.cst); else entry.Remove("icms_saida_cst");
        if (c.icmsSaida) entry.Set("icms_saida", *c.icmsSaida);
        const TRetornoBrisen r = Convert(entry, c.uf, TCaminhoTributo::ctSegmento, CommaLocale());
        EXPECT_EQ(r.CST_CSOSN, c.cstCsosn);
        EXPECT_EQ(r.TributacaoPDV, c.tributacao);
        EXPECT_EQ(r.AliqPDV, c.aliqPdv);
        EXPECT_EQ(r.AliqICMS, c.aliqPdv);
        EXPECT_EQ(r.CFOPCompra, c.cfopCompra);
    }
}

struct RateCase {
    std::string icmsSaida;
    std::string uf;
    bool comma;
    Decimal expected;
};

TEST(TaxConverteTributo, TaxedEntryTakesItsRateOrTheStates) {
    const std::vector<RateCase> cases = {
        {"0", "RJ", true, 200000},
        {"0", "RS", true, 175000},
        {"0", "SP", true, 180000},
        {R"("0")", "RJ", true, 200000},
        {R"("abc")", "SP", true, 180000},
        {"null", "MT", true, 170000},
        {R"("")", "SP", true, 180000},
        {"12", "SP", true, 120000},
        {"12", "RJ", false, 120000},
        {"12.5", "SP", true, 125000},
        {"12.5", "SP", false, 125000},
        {R"("12.5")", "SP", true, 180000},
        {R"("12.5")", "SP", false, 125000},
        {R"("12,5")", "SP", true, 125000},
        {"-1", "SP", true, -10000},
        {"0.00004", "SP", true, 180000},  // "4E-5" rounds to 0
        {"0", "sp", true, 0},
        {"0", "", true, 0},
    };
    for (const RateCase& c : cases) {
        SCOPED_TRACE(c.icmsSaida + " " + c.uf + (c.comma ? " comma" : " point"));
        Entry entry = WorkedExample();
        entry.Set("icms_saida_csosn", R"("0102")").Set("icms_saida", c.icmsSaida);
        const TRetornoBrisen r = Convert(entry, c.uf, TCaminhoTributo::ctSegmento,
                                         c.comma ? CommaLocale() : PointLocale());
        EXPECT_EQ(r.AliqPDV, c.expected);
        EXPECT_EQ(r.AliqICMS, c.expected);
    }
}

TEST(TaxConverteTributo, ListaAndSegmentGoThroughIntegerConversion) {
    const std::vector<std::pair<std::string, std::string>> listas = {
        {"2", "P"},      {R"("2")", "P"},  {"1", "N"},      {"3", "U"},      {"2.0", "P"},
        {R"(" 2")", "P"}, {R"("$2")", "P"}, {"0", ""},       {"4", ""},       {"-2", ""},
        {R"("x")", ""},   {R"("")", ""},    {"null", ""},    {R"("2 ")", ""}, {"[2]", ""},
    };
    for (const auto& [json, lista] : listas) {
        SCOPED_TRACE("idlista " + json);
        Entry entry = WorkedExample();
        entry.Set("idlista", json);
        const TRetornoBrisen r = Convert(entry, "SP", TCaminhoTributo::ctSegmento, CommaLocale());
        EXPECT_EQ(r.Lista, lista);
        EXPECT_EQ(r.Tipo, "");
    }
    const std::vector<std::pair<std::string, std::int32_t>> segmentos = {
        {"15", 15},      {R"(" 15")", 15}, {R"("0x0F")", 15}, {R"("abc")", 0},
        {"15.5", 0},     {"123456789012", 0}, {"-7", -7},      {"true", 0},
    };
    for (const auto& [json, id] : segmentos) {
        SCOPED_TRACE("idsegmento " + json);
        Entry entry = WorkedExample();
        entry.Set("idsegmento", json);
        EXPECT_EQ(Convert(entry, "SP", TCaminhoTributo::ctSegmento, CommaLocale()).IdSegmento, id);
    }
}

TEST(TaxConverteTributo, EachPathReadsOnlyItsOwnIdentifier) {
    Entry entry = WorkedExample();
    entry.Set("ean_cliente", R"("7891234567895")");
    const TRetornoBrisen produto = Convert(entry, "SP", TCaminhoTributo::ctProduto, CommaLocale());
    EXPECT_EQ(produto.CodigoProduto, "7891234567895");
    EXPECT_EQ(produto.IdSegmento, 0);
    const TRetornoBrisen segmento =
        Convert(entry, "SP", TCaminhoTributo::ctSegmento, CommaLocale());
    EXPECT_EQ(segmento.CodigoProduto, "");
    EXPECT_EQ(segmento.IdSegmento, 15);

    // A barcode sent as a long number keeps every digit; the segment is not needed here.
    entry.Set("ean_cliente", "17891234567895").Remove("idsegmento");
    TRetornoBrisen expected = WorkedExampleRecord();
    expected.IdSegmento = 0;
    expected.CodigoProduto = "17891234567895";
    EXPECT_EQ(Convert(entry, "SP", TCaminhoTributo::ctProduto, PointLocale()), expected);
}

TEST(TaxConverteTributo, DuplicateMembersTakeTheFirst) {
    const JsonDocument doc = JsonDocument::Parse(
        WorkedExample().Json().insert(1, R"("ncm":"1.2","cfop_venda":"5102",)"));
    TRetornoBrisen r;
    ConverteTributo(doc.root(), "SP", TCaminhoTributo::ctSegmento, CommaLocale(), r);
    EXPECT_EQ(r.NCM, "12");
    EXPECT_EQ(r.CFOPVenda, "5102");
}

TEST(TaxConverteTributo, ConsecutiveEntriesShareNothing) {
    Entry first = WorkedExample();
    first.Set("icms_saida_cst", R"("00")").Set("icms_saida", "12").Set("cod_beneficio", R"("SP1")");
    Entry second = WorkedExample();
    second.Set("idsegmento", "16").Set("icms_saida_cst", R"("90")");

    TRetornoBrisen record;
    record.StatusCode = 200;
    record.Mensagem = "OK";
    Convert(first, "SP", TCaminhoTributo::ctSegmento, CommaLocale(), record);
    EXPECT_EQ(record.TributacaoPDV, "T");
    EXPECT_EQ(record.AliqPDV, 120000);
    Convert(second, "SP", TCaminhoTributo::ctSegmento, CommaLocale(), record);

    TRetornoBrisen expected = WorkedExampleRecord();
    expected.IdSegmento = 16;
    expected.CST_CSOSN = "90";
    expected.TributacaoPDV = "";
    expected.CFOPCompra = "1102";
    expected.StatusCode = 200;
    expected.Mensagem = "OK";
    EXPECT_EQ(record, expected);
}

// A full entry with every field distinct from a fresh one, and the order in which its members
// are read, each with the fields that are filled once it has been read.
using Fill = std::function<void(TRetornoBrisen&)>;
struct Step {
    std::string member;
    Fill fill;
};

Entry RichEntry() {
    return {
        {"ean_cliente", R"("7891234567895")"},
        {"idsegmento", "15"},
        {"ncm", R"("2202.10.00")"},
        {"cest", R"("03.007.00")"},
        {"idlista", "3"},
        {"piscofins_cst_entrada", R"("70")"},
        {"piscofins_cst_saida", R"("04")"},
        {"piscofins_naturezarec", R"("101")"},
        {"ipi", "5"},
        {"icms_saida_csosn", R"("0102")"},
        {"icms_saida", "12"},
        {"base_reduzida", "10"},
        {"mva", "38.24"},
        {"icms_fcp", "2"},
        {"cod_beneficio", R"("SP000001")"},
        {"cfop_venda", R"("5102")"},
        {"desoneracao_icms", "3.5"},
    };
}

std::vector<Step> ReadingOrder(TCaminhoTributo caminho) {
    std::vector<Step> steps;
    if (caminho == TCaminhoTributo::ctProduto) {
        steps.push_back({"ean_cliente", [](auto& r) { r.CodigoProduto = "7891234567895"; }});
    } else {
        steps.push_back({"idsegmento", [](auto& r) { r.IdSegmento = 15; }});
    }
    const std::vector<Step> common = {
        {"ncm", [](auto& r) { r.NCM = "22021000"; }},
        {"cest", [](auto& r) { r.Cest = "0300700"; }},
        {"idlista", [](auto& r) { r.Lista = "U"; }},
        {"piscofins_cst_entrada", [](auto& r) { r.CSTPISEntrada = "70"; }},
        {"piscofins_cst_saida", [](auto& r) { r.CSTPISSaida = "04"; }},
        {"piscofins_naturezarec", [](auto& r) { r.NatRec = "101"; }},
        {"ipi", [](auto& r) { r.AliqIPI = 50000; }},
        {"icms_saida_csosn", [](auto& r) { r.CST_CSOSN = "102", r.TributacaoPDV = "T"; }},
        {"icms_saida", [](auto& r) { r.AliqPDV = 120000, r.AliqICMS = 120000; }},
        {"base_reduzida", [](auto& r) { r.AliqReducaoICMS = 100000; }},
        {"mva", [](auto& r) { r.AliqMVA = 382400; }},
        {"icms_fcp", [](auto& r) { r.AliqFCP = 20000; }},
        {"cod_beneficio", [](auto& r) { r.CBNEF = "SP000001", r.CFOPCompra = "1102"; }},
        {"cfop_venda", [](auto& r) { r.CFOPVenda = "5102"; }},
        {"desoneracao_icms", [](auto& r) { r.AliqDesoneracao = 35000; }},
    };
    steps.insert(steps.end(), common.begin(), common.end());
    return steps;
}

// What a caller might hand in: the fields of an earlier entry and its own status.
TRetornoBrisen UsedRecord() {
    TRetornoBrisen r;
    r.CodigoProduto = r.NCM = r.Cest = r.Lista = r.Tipo = r.CSTPISEntrada = r.CSTPISSaida =
        r.NatRec = r.CSTIPIEntrada = r.CSTIPISaida = r.EnqIPI = r.ExcIPI = r.TributacaoPDV =
            r.CST_CSOSN = r.CBNEF = r.Antecipacao = r.CFOPCompra = r.CFOPVenda = "old";
    r.AliqIPI = r.AliqPDV = r.AliqICMS = r.AliqReducaoICMS = r.AliqReducaoST = r.AliqST =
        r.AliqMVA = r.AliqFCP = r.AliqDiferimento = r.AliqDesoneracao = 99;
    r.IdSegmento = 99;
    r.StatusCode = 200;
    r.Mensagem = "Consulta realizada";
    return r;
}

TEST(TaxConverteTributo, AMissingMemberStopsTheReadingWhereItIsNeeded) {
    for (const TCaminhoTributo caminho : {TCaminhoTributo::ctProduto, TCaminhoTributo::ctSegmento}) {
        const std::vector<Step> steps = ReadingOrder(caminho);
        TRetornoBrisen expected;
        expected.StatusCode = 200;
        expected.Mensagem = "Consulta realizada";
        for (const Step& step : steps) {
            SCOPED_TRACE((caminho == TCaminhoTributo::ctProduto ? "produto: " : "segmento: ") +
                         step.member);
            Entry entry = RichEntry();
            entry.Remove(step.member);
            TRetornoBrisen record = UsedRecord();
            EXPECT_THAT([&] { Convert(entry, "SP", caminho, PointLocale(), record); },
                        ThrowsMessage<Error>(HasSubstr("\"" + step.member + "\"")));
            EXPECT_EQ(record, expected);
            step.fill(expected);
        }
        // With every member present the whole record is filled.
        TRetornoBrisen record = UsedRecord();
        Convert(RichEntry(), "SP", caminho, PointLocale(), record);
        EXPECT_EQ(record, expected);
    }
}

TEST(TaxConverteTributo, MissingCstIsAFailureOnlyWithoutCsosn) {
    Entry entry = RichEntry();
    entry.Set("icms_saida_csosn", R"("")").Remove("icms_saida_cst");
    TRetornoBrisen record = UsedRecord();
    EXPECT_THAT([&] { Convert(entry, "SP", TCaminhoTributo::ctSegmento, CommaLocale(), record); },
                ThrowsMessage<Error>(HasSubstr("\"icms_saida_cst\"")));
    EXPECT_EQ(record.AliqIPI, 50000);
    EXPECT_EQ(record.CST_CSOSN, "");
    EXPECT_EQ(record.TributacaoPDV, "");
    EXPECT_EQ(record.CFOPVenda, "");
}

TEST(TaxConverteTributo, AnUnreadableLongNumberStopsTheReading) {
    Entry entry = RichEntry();
    entry.Set("ipi", "123456789012e3");
    TRetornoBrisen record = UsedRecord();
    EXPECT_THAT([&] { Convert(entry, "SP", TCaminhoTributo::ctProduto, CommaLocale(), record); },
                ThrowsMessage<Error>(HasSubstr("123456789012e3")));
    EXPECT_EQ(record.NatRec, "101");
    EXPECT_EQ(record.AliqIPI, 0);
    EXPECT_EQ(record.CST_CSOSN, "");
    EXPECT_EQ(record.StatusCode, 200);
}

TEST(TaxConverteTributo, AnEntryThatIsNoObjectLacksItsFirstMember) {
    const JsonDocument doc = JsonDocument::Parse(R"([{"idsegmento":15}])");
    TRetornoBrisen record;
    EXPECT_THAT([&] { ConverteTributo(doc.root(), "SP", TCaminhoTributo::ctSegmento, CommaLocale(), record); },
                ThrowsMessage<Error>(HasSubstr("\"idsegmento\"")));
    EXPECT_EQ(record, TRetornoBrisen{});
}

}  // namespace
}  // namespace vr
