#pragma once

// The rules that fill a tax record from a tax entry of the classification service.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Json.h"
#include "common/RegionalSettings.h"
#include "tax/TaxRecord.h"

namespace vr {

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
