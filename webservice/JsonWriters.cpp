#include "webservice/JsonWriters.h"

#include <cstdint>
#include <string_view>

namespace vr {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// The escapes both forms share; false for any other character.
bool AppendShortEscape(std::string& out, char c) {
    switch (c) {
        case '"': out += "\\\""; return true;
        case '\\': out += "\\\\"; return true;
        case '/': out += "\\/"; return true;
        case '\b': out += "\\b"; return true;
        case '\t': out += "\\t"; return true;
        case '\n': out += "\\n"; return true;
        case '\f': out += "\\f"; return true;
        case '\r': out += "\\r"; return true;
        default: return false;
    }
}

void AppendUnicodeEscape(std::string& out, std::uint32_t unit) {
    out += "\\u";
    out += kHex[(unit >> 12) & 0xF];
    out += kHex[(unit >> 8) & 0xF];
    out += kHex[(unit >> 4) & 0xF];
    out += kHex[unit & 0xF];
}

// Other control characters go out as \u escapes too, so that the text always reads back.
void AppendIndentedString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (AppendShortEscape(out, c)) continue;
        if (static_cast<unsigned char>(c) < 0x20) {
            AppendUnicodeEscape(out, static_cast<unsigned char>(c));
        } else {
            out += c;
        }
    }
    out += '"';
}

// The document's texts are valid UTF-8 (the parser checks), so the sequences decode cleanly.
void AppendCompactString(std::string& out, std::string_view text) {
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            if (!AppendShortEscape(out, static_cast<char>(lead))) {
                if (lead < 0x20) {
                    AppendUnicodeEscape(out, lead);
                } else {
                    out += static_cast<char>(lead);
                }
            }
            ++i;
            continue;
        }
        std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (i + length > text.size()) length = text.size() - i;
        std::uint32_t codePoint = lead & (length == 4 ? 0x07u : length == 3 ? 0x0Fu : 0x1Fu);
        for (std::size_t k = 1; k < length; ++k) {
            codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        }
        if (codePoint > 0xFFFF) {
            codePoint -= 0x10000;
            AppendUnicodeEscape(out, 0xD800 + (codePoint >> 10));
            AppendUnicodeEscape(out, 0xDC00 + (codePoint & 0x3FF));
        } else {
            AppendUnicodeEscape(out, codePoint);
        }
        i += length;
    }
    out += '"';
}

void AppendIndent(std::string& out, unsigned level) { out.append(std::size_t{level} * 4, ' '); }

// Recursion is bounded by the parser's nesting limit.
void WriteIndented(std::string& out, JsonValue value, unsigned level) {
    switch (value.kind()) {
        case JsonKind::Null: out += "null"; return;
        case JsonKind::False: out += "false"; return;
        case JsonKind::True: out += "true"; return;
        case JsonKind::Number: out += value.text(); return;
        case JsonKind::String: AppendIndentedString(out, value.text()); return;
        case JsonKind::Array:
        case JsonKind::Object: break;
    }
    const bool isObject = value.kind() == JsonKind::Object;
    out += isObject ? '{' : '[';
    out += "\r\n";
    std::size_t remaining = value.size();
    for (const JsonValue child : value) {
        AppendIndent(out, level + 1);
        if (isObject) {
            AppendIndentedString(out, child.name());
            out += ": ";
        }
        WriteIndented(out, child, level + 1);
        if (--remaining > 0) out += ',';
        out += "\r\n";
    }
    AppendIndent(out, level);
    out += isObject ? '}' : ']';
}

// Where the compact form goes: a string, optionally emptied into a sink as it grows.
struct CompactOutput {
    std::string text;
    const std::function<void(std::string_view)>* sink = nullptr;

    void MaybeFlush() {
        if (sink != nullptr && text.size() >= (1u << 16)) {
            (*sink)(text);
            text.clear();
        }
    }
};

void WriteCompact(CompactOutput& output, JsonValue value) {
    std::string& out = output.text;
    switch (value.kind()) {
        case JsonKind::Null: out += "null"; return;
        case JsonKind::False: out += "false"; return;
        case JsonKind::True: out += "true"; return;
        case JsonKind::Number: out += value.text(); return;
        case JsonKind::String: AppendCompactString(out, value.text()); return;
        case JsonKind::Array:
        case JsonKind::Object: break;
    }
    const bool isObject = value.kind() == JsonKind::Object;
    out += isObject ? '{' : '[';
    bool first = true;
    for (const JsonValue child : value) {
        if (!first) out += ',';
        first = false;
        if (isObject) {
            AppendCompactString(out, child.name());
            out += ':';
        }
        WriteCompact(output, child);
        output.MaybeFlush();
    }
    out += isObject ? '}' : ']';
}

}  // namespace

std::string WriteIndentedJson(JsonValue value) {
    std::string out;
    WriteIndented(out, value, 0);
    return out;
}

std::string WriteCompactJson(JsonValue value) {
    CompactOutput output;
    WriteCompact(output, value);
    return std::move(output.text);
}

void WriteCompactJson(JsonValue value, const std::function<void(std::string_view)>& sink) {
    CompactOutput output;
    output.sink = &sink;
    WriteCompact(output, value);
    if (!output.text.empty()) sink(output.text);
}

}  // namespace vr
