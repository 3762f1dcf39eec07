#include "common/Text.h"

#include <cstdint>

namespace vr::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at text[pos] into cp and its byte length. A byte that does not start
// a valid sequence decodes as U+FFFD of length 1 and makes the result false.
bool Decode(std::string_view text, std::size_t pos, char32_t& cp, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    cp = kReplacement;
    length = 1;
    if (b0 < 0x80) {
        cp = b0;
        return true;
    }
    std::size_t need = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 2, value = b0 & 0x1Fu, minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 3, value = b0 & 0x0Fu, minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 4, value = b0 & 0x07u, minimum = 0x10000;
    } else {
        return false;
    }
    if (pos + need > text.size()) return false;
    for (std::size_t i = 1; i < need; ++i) {
        const unsigned char b = byte(pos + i);
        if ((b & 0xC0u) != 0x80u) return false;
        value = (value << 6) | (b & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    cp = value;
    length = need;
    return true;
}

std::size_t DecodeAt(std::string_view text, std::size_t pos, char32_t& cp) {
    std::size_t length = 0;
    Decode(text, pos, cp, length);
    return length;
}

char AsciiUpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char AsciiLowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t cp = 0;
        pos += DecodeAt(utf8, pos, cp);
        units += cp >= 0x10000 ? 2 : 1;
    }
    return units;
}

std::string Utf16Mid(std::string_view utf8, std::size_t first, std::size_t count) {
    std::string out;
    std::size_t unit = 0;
    const std::size_t last = count > SIZE_MAX - first ? SIZE_MAX : first + count;
    for (std::size_t pos = 0; pos < utf8.size() && unit < last;) {
        char32_t cp = 0;
        const std::size_t length = DecodeAt(utf8, pos, cp);
        const std::size_t width = cp >= 0x10000 ? 2 : 1;
        if (unit >= first && unit + width <= last) {
            out.append(utf8.substr(pos, length));
        } else if (unit + width > first && unit < last) {
            AppendUtf8(out, kReplacement);  // a surrogate pair cut in half
        }
        unit += width;
        pos += length;
    }
    return out;
}

std::string Utf16Left(std::string_view utf8, std::size_t maxUnits) {
    std::size_t unit = 0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t cp = 0;
        const std::size_t length = DecodeAt(utf8, pos, cp);
        const std::size_t width = cp >= 0x10000 ? 2 : 1;
        if (unit + width > maxUnits) break;
        unit += width;
        pos += length;
    }
    return std::string(utf8.substr(0, pos));
}

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t pos = 0; pos < bytes.size();) {
        char32_t cp = 0;
        std::size_t length = 0;
        if (!Decode(bytes, pos, cp, length)) return false;
        pos += length;
    }
    return true;
}

std::string ToValidUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();) {
        char32_t cp = 0;
        std::size_t length = 0;
        if (Decode(bytes, pos, cp, length)) {
            out.append(bytes.substr(pos, length));
        } else {
            AppendUtf8(out, kReplacement);
        }
        pos += length;
    }
    return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, pos - start));
            pos += (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
            start = pos;
        } else {
            ++pos;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiUpperChar(c);
    return out;
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLowerChar(c);
    return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpperChar(a[i]) != AsciiUpperChar(b[i])) return false;
    }
    return true;
}

}  // namespace vr::text
