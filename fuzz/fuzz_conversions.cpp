// The tax conversions: decimal and integer conversion of any text in both locales, the code
// tables, and the tax-entry conversion of any JSON object on both paths, which either fills a
// record or fails with a message.

#include <optional>
#include <string>

#include "common/Error.h"
#include "common/Json.h"
#include "fuzz/FuzzSupport.h"
#include "tax/TaxRules.h"

using namespace vr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const RegionalSettings point = fuzz::Locale(".");
    const RegionalSettings comma = fuzz::Locale(",");

    const Decimal withPoint = DecimalFromText(text, point);
    const Decimal withComma = DecimalFromText(text, comma);
    // A text without either separator reads alike under both.
    if (text.find('.') == std::string_view::npos && text.find(',') == std::string_view::npos) {
        fuzz::Check(withPoint == withComma, "a text without a separator reads alike in both locales");
    }
    const std::int32_t integer = IntegerFromText(text);
    if (integer != 0 && text.find_first_of("$xX") == std::string_view::npos) {
        fuzz::Check(DecimalFromText(text, point) == static_cast<Decimal>(integer) * 10000,
                    "a decimal integer converts alike to an integer and to a decimal", text);
    }
    const std::string digits = ExtraiNumero(text);
    fuzz::Check(digits.find_first_not_of("0123456789") == std::string::npos, "only digits are kept");
    const std::string code = CstCSOSNtoTributacao(text);
    fuzz::Check(code.empty() || code == "T" || code == "I" || code == "N" || code == "F", "a known tax code");
    const Decimal rate = AliquotaInterna(text);
    fuzz::Check(rate == 0 || rate == 170000 || rate == 175000 || rate == 180000 || rate == 200000, "a known rate");

    const std::optional<JsonDocument> document = JsonDocument::TryParse(text);
    if (!document || !document->root().IsObject()) return 0;
    for (const TCaminhoTributo caminho : {TCaminhoTributo::ctProduto, TCaminhoTributo::ctSegmento}) {
        for (const RegionalSettings* settings : {&point, &comma}) {
            TRetornoBrisen record;
            try {
                ConverteTributo(document->root(), "SP", caminho, *settings, record);
                fuzz::Check(record.AliqICMS == record.AliqPDV, "the ICMS rate is the point of sale's");
                fuzz::Check(record.CFOPCompra == "1403" || record.CFOPCompra == "1102", "a purchase CFOP");
            } catch (const Error& e) {
                fuzz::Check(*e.what() != '\0', "a failure carries a message");
            }
        }
    }
    return 0;
}
