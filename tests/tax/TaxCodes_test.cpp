#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tax/TaxRules.h"

namespace vr {
namespace {

TEST(TaxExtraiNumero, KeepsOnlyTheAsciiDigitsInOrder) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"12.345.678/0001-90", "12345678000190"},
        {"2202.10.00", "22021000"},
        {"03.007.00", "0300700"},
        {"", ""},
        {"abc", ""},
        {" -./ ", ""},
        {"a1b2c3", "123"},
        {"\xD9\xA1\xD9\xA2" "3", "3"},        // Arabic-Indic digits are dropped
        {"\xEF\xBC\x91" "9", "9"},            // a fullwidth digit too
        {"\xF0\x9F\x98\x80" "0", "0"},
        {std::string("4\0" "2", 3), "42"},
    };
    for (const auto& [texto, expected] : cases) {
        SCOPED_TRACE(texto);
        EXPECT_EQ(ExtraiNumero(texto), expected);
    }
}

TEST(TaxCstCSOSN, MapsTheTableExactly) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"102", "T"}, {"103", "I"}, {"300", "I"}, {"400", "N"}, {"500", "F"},
        {"00", "T"},  {"10", "F"},  {"20", "T"},  {"30", "I"},  {"40", "I"},
        {"41", "N"},  {"60", "F"},  {"70", "F"},
        // Outside the table.
        {"101", ""}, {"201", ""}, {"202", ""}, {"203", ""}, {"900", ""},
        {"50", ""},  {"51", ""},  {"90", ""},  {"", ""},    {"0", ""},
        {"060", ""}, {"0102", ""}, {" 102", ""}, {"102 ", ""}, {"T", ""},
        {"ull", ""},  {std::string("60\0", 3), ""},
    };
    for (const auto& [code, expected] : cases) {
        SCOPED_TRACE(code);
        EXPECT_EQ(CstCSOSNtoTributacao(code), expected);
    }
}

// A few states' internal rates, each written down here from the rates the product documents
// rather than copied from the code's table, so that a slip in the table shows.
TEST(TaxAliquotaInterna, GivesThePublishedRateOfAState) {
    const std::vector<std::pair<std::string, Decimal>> published = {
        {"SP", 180000}, {"RJ", 200000}, {"RS", 175000}, {"SC", 170000}, {"MG", 180000},
        {"AC", 170000},
    };
    for (const auto& [uf, rate] : published) {
        SCOPED_TRACE(uf);
        EXPECT_EQ(AliquotaInterna(uf), rate);
    }
}

// Every one of the 26 states and the Federal District has a rate, and each lies between the
// lowest and the highest internal rate in force (17 % and 20 %).
TEST(TaxAliquotaInterna, GivesEveryFederativeUnitARate) {
    for (const std::string uf : {"AC", "AL", "AM", "AP", "BA", "CE", "DF", "ES", "GO", "MA", "MG",
                                 "MS", "MT", "PA", "PB", "PE", "PI", "PR", "RJ", "RN", "RO", "RR",
                                 "RS", "SC", "SE", "SP", "TO"}) {
        SCOPED_TRACE(uf);
        EXPECT_GE(AliquotaInterna(uf), 170000);
        EXPECT_LE(AliquotaInterna(uf), 200000);
    }
}

TEST(TaxAliquotaInterna, GivesZeroForAnyOtherText) {
    for (const std::string uf : {"", "sp", "Sp", "XX", "S", "SPX", " SP", "SP ", "BR", "EX"}) {
        SCOPED_TRACE("[" + uf + "]");
        EXPECT_EQ(AliquotaInterna(uf), 0);
    }
}

}  // namespace
}  // namespace vr
