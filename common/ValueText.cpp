#include <charconv>
#include <string>
#include <system_error>

#include "common/Error.h"
#include "common/NumberText.h"
#include "common/ValueText.h"

namespace vr {
namespace {

// Long integers (identifiers, barcodes sent as numbers) must keep every digit, which a double
// would not; shorter numbers and those with a fraction read as the double they denote.
constexpr std::size_t kLongNumberLength = 11;

// A number's source text can be arbitrarily long; a message quotes only its start.
std::string Quoted(std::string_view text) {
    constexpr std::size_t kShown = 40;
    if (text.size() <= kShown) return "\"" + std::string(text) + "\"";
    return "\"" + std::string(text.substr(0, kShown)) + "...\"";
}

std::string LongNumberText(std::string_view source) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(source.data(), source.data() + source.size(), value);
    if (ec != std::errc() || end != source.data() + source.size()) {
        throw Error("Número inteiro inválido no JSON: " + Quoted(source));
    }
    return std::to_string(value);
}

std::string NumberText(std::string_view source, const RegionalSettings& settings) {
    if (source.size() > kLongNumberLength && source.find('.') == std::string_view::npos) {
        return LongNumberText(source);
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(source.data(), source.data() + source.size(), value);
    const bool whole = end == source.data() + source.size();
    if (ec == std::errc() && whole) return numtext::FormatGeneral(value, numtext::DecimalSeparator(settings));
    if (ec == std::errc::result_out_of_range && whole) {
        // Too small for a double reads as zero; too large reads in the same general form,
        // rounded from its own digits, so that an answer is never refused for a number's size
        // (the decimal conversion of such a text gives 0).
        const auto number = numtext::ScanDecimal(source, ".");
        if (number && numtext::LeadingExponent(*number) < 0) return "0";
        if (number) return numtext::FormatBeyondDouble(*number, numtext::DecimalSeparator(settings));
    }
    throw Error("Número inválido no JSON: " + Quoted(source));
}

}  // namespace

std::string ValueText(JsonValue value, const RegionalSettings& settings) {
    switch (value.kind()) {
        case JsonKind::String:
            return std::string(value.text());
        case JsonKind::Number:
            return NumberText(value.text(), settings);
        case JsonKind::True:
            return "true";
        case JsonKind::False:
            return "false";
        case JsonKind::Null:
            return "null";
        case JsonKind::Array:
        case JsonKind::Object:
            break;
    }
    return {};
}

std::string RequiredMemberText(JsonValue object, std::string_view name,
                               const RegionalSettings& settings) {
    const auto member = object.Find(name);
    if (!member) throw Error("Campo obrigatório ausente no JSON: \"" + std::string(name) + "\"");
    return ValueText(*member, settings);
}

}  // namespace vr
