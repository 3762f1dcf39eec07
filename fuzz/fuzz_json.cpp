// The JSON model with the value texts and both writers: any input either parses or is refused
// with a message that says why; a document written indented or compact reads back as the same
// document; a value text fails only for a long integer that is not a 64-bit one.

#include <optional>
#include <string>
#include <string_view>

#include "common/Error.h"
#include "common/Json.h"
#include "common/ValueText.h"
#include "fuzz/FuzzSupport.h"
#include "webservice/JsonWriters.h"

namespace {

using namespace vr;

// Recursion is bounded by the model's nesting limit.
void Walk(JsonValue value, const RegionalSettings& point, const RegionalSettings& comma) {
    std::size_t count = 0;
    for (const JsonValue child : value) {
        Walk(child, point, comma);
        ++count;
    }
    fuzz::Check(count == value.size(), "size() counts what iteration gives");
    const std::string_view source = value.text();
    for (const RegionalSettings* settings : {&point, &comma}) {
        try {
            const std::string text = ValueText(value, *settings);
            if (value.kind() == JsonKind::String) fuzz::Check(text == source, "a string reads as itself");
            if (value.kind() == JsonKind::Number) fuzz::Check(!text.empty(), "a number reads as some text");
        } catch (const Error&) {
            const bool longInteger = value.kind() == JsonKind::Number && source.size() > 11 &&
                                     source.find('.') == std::string_view::npos;
            fuzz::Check(longInteger, "only a long integer fails to read", source);
        }
    }
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::optional<JsonDocument> document;
    try {
        document = JsonDocument::Parse(input);
    } catch (const JsonError& e) {
        const std::string_view message = e.what();
        fuzz::Check(StartsWith(message, "JSON inválido na posição ") ||
                        StartsWith(message, "JSON aninhado demais na posição ") ||
                        StartsWith(message, "documento JSON grande demais"),
                    "a refusal says what was wrong", message);
        return 0;
    }
    const JsonValue root = document->root();
    Walk(root, fuzz::Locale("."), fuzz::Locale(","));

    const std::string compact = WriteCompactJson(root);
    const std::string indented = WriteIndentedJson(root);
    for (const char c : compact) {
        // U+007F is not above U+007F: it goes out as it is.
        fuzz::Check(c >= 0x20 && c <= 0x7F, "the compact form is ASCII without control characters", compact);
    }
    std::string pieces;
    WriteCompactJson(root, [&pieces](std::string_view piece) { pieces += piece; });
    fuzz::Check(pieces == compact, "the compact form in pieces is the same text");

    const std::optional<JsonDocument> fromIndented = JsonDocument::TryParse(indented);
    fuzz::Check(fromIndented.has_value(), "the indented form reads back", indented);
    fuzz::Check(WriteCompactJson(fromIndented->root()) == compact, "the indented form is the same document",
                indented);
    fuzz::Check(WriteIndentedJson(fromIndented->root()) == indented, "the indented form is stable", indented);

    const std::optional<JsonDocument> fromCompact = JsonDocument::TryParse(compact);
    fuzz::Check(fromCompact.has_value(), "the compact form reads back", compact);
    fuzz::Check(WriteCompactJson(fromCompact->root()) == compact, "the compact form is the same document", compact);

    const JsonDocument inPlace = JsonDocument::ParseInPlace(std::string(input));
    fuzz::Check(WriteCompactJson(inPlace.root()) == compact, "parsing in place gives the same document");
    return 0;
}
