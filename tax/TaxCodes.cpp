#include <array>
#include <utility>

#include "tax/TaxRules.h"

namespace vr {

std::string ExtraiNumero(std::string_view texto) {
    // Bytes of multi-byte UTF-8 sequences are never ASCII digits, so a byte test is exact.
    std::string numero;
    for (char c : texto) {
        if (c >= '0' && c <= '9') numero.push_back(c);
    }
    return numero;
}

std::string CstCSOSNtoTributacao(std::string_view CstCSOSN) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 13> kTabela{{
        {"102", "T"}, {"103", "I"}, {"300", "I"}, {"400", "N"}, {"500", "F"},
        {"00", "T"},  {"10", "F"},  {"20", "T"},  {"30", "I"},  {"40", "I"},
        {"41", "N"},  {"60", "F"},  {"70", "F"},
    }};
    for (const auto& [codigo, tributacao] : kTabela) {
        if (CstCSOSN == codigo) return std::string(tributacao);
    }
    return {};
}

// The states' internal ICMS rates (17 %, 17.5 %, 18 %, 20 %), as the classification rules fix
// them. They are a table here rather than asked for: the rate is only the fallback for a taxed
// entry that arrives without one, and a state changing its rate is a change of this table.
Decimal AliquotaInterna(std::string_view UF) {
    struct Faixa {
        std::array<std::string_view, 16> estados;
        Decimal aliquota;
    };
    static constexpr std::array<Faixa, 4> kFaixas{{
        {{"AC", "ES", "GO", "MT", "MS", "PA", "RR", "SC"}, 170000},
        {{"RS", "RO"}, 175000},
        {{"AL", "AM", "AP", "BA", "CE", "DF", "MA", "MG", "PB", "PR", "PE", "PI", "RN", "SP", "SE",
          "TO"},
         180000},
        {{"RJ"}, 200000},
    }};
    if (UF.empty()) return 0;  // the unused slots of a row are empty
    for (const Faixa& faixa : kFaixas) {
        for (std::string_view estado : faixa.estados) {
            if (estado == UF) return faixa.aliquota;
        }
    }
    // Not a state code: no rate is known, and a made-up one would be written to the database.
    return 0;
}

}  // namespace vr
