#include "platform/CodePage.h"

#include <windows.h>

#include <array>
#include <charconv>
#include <map>
#include <optional>

#include "common/Error.h"
#include "common/Text.h"
#include "platform/windows/WindowsText.h"

namespace vr::codepage {
namespace {

// MultiByteToWideChar knows neither UTF-16 byte order as a code page: those are done here.
constexpr UINT kUtf16Le = 1200;
constexpr UINT kUtf16Be = 1201;
constexpr UINT kAscii = 20127;
constexpr char32_t kReplacement = 0xFFFD;

// iconv-style names to Windows code page numbers; case does not matter.
std::optional<UINT> NumberOf(const std::string& name) {
    const std::string upper = text::AsciiUpper(name);
    auto number = [&](std::string_view prefix) -> std::optional<UINT> {
        if (upper.size() <= prefix.size() || upper.compare(0, prefix.size(), prefix) != 0) return {};
        const char* first = upper.data() + prefix.size();
        const char* last = upper.data() + upper.size();
        unsigned value = 0;
        auto [end, error] = std::from_chars(first, last, value);
        if (error != std::errc() || end != last || value == 0 || value > 65535) return {};
        return static_cast<UINT>(value);
    };
    if (upper == "UTF-8" || upper == "UTF8") return CP_UTF8;
    if (upper == "UTF-16LE") return kUtf16Le;
    if (upper == "UTF-16BE") return kUtf16Be;
    if (upper == "ASCII" || upper == "US-ASCII" || upper == "ANSI_X3.4-1968") return kAscii;
    if (upper == "LATIN1") return 28591;
    for (std::string_view prefix : {"ISO-8859-", "ISO8859-", "ISO_8859-"}) {
        // ISO-8859-1 ... ISO-8859-15 are 28591 ... 28605.
        if (auto part = number(prefix); part && *part <= 15) return 28590 + *part;
    }
    for (std::string_view prefix : {"CP", "WINDOWS-"}) {
        if (auto n = number(prefix)) return n;
    }
    return {};
}

bool IsUnicode(UINT number) { return number == CP_UTF8 || number == kUtf16Le || number == kUtf16Be; }

bool IsIso8859(UINT number) { return number >= 28591 && number <= 28605; }

// Code pages the conversion functions take only without flags or not at all (UTF-7, UTF-32,
// GB18030, the stateful ISO-2022 and ISCII ones): treated as unknown rather than half supported.
bool IsUnsupported(UINT number) {
    return number == 42 || number == 65000 || number == 12000 || number == 12001 || number == 54936 ||
           (number >= 50220 && number <= 50229) || number == 52936 ||
           (number >= 57002 && number <= 57011);
}

struct Page {
    UINT number = 0;
    UINT maxCharSize = 1;
    // Single-byte pages: every byte's character in UTF-8, U+FFFD for bytes the page lacks.
    std::array<std::string, 256> bytes;
};

// Windows fills the holes of its own 8-bit code pages with C1 controls (and private-use
// characters in single-byte pages) so that every byte converts; iconv and the readers of these
// files treat those bytes as undefined, and so does this program, in both directions.
bool IsHole(const Page& page, char32_t c) {
    if (IsUnicode(page.number) || IsIso8859(page.number)) return false;
    if (c >= 0x80 && c <= 0x9F) return true;
    return page.maxCharSize == 1 && c >= 0xE000 && c <= 0xF8FF;
}

// Decodes one character of bytes with MB_ERR_INVALID_CHARS; nothing when it does not decode
// to exactly one character.
std::optional<char32_t> DecodeOne(UINT number, std::string_view bytes) {
    wchar_t units[4];
    int n = MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, bytes.data(),
                                static_cast<int>(bytes.size()), units, 4);
    if (n == 1 && (units[0] < 0xD800 || units[0] > 0xDFFF)) return units[0];
    if (n == 2 && units[0] >= 0xD800 && units[0] <= 0xDBFF && units[1] >= 0xDC00 && units[1] <= 0xDFFF) {
        return 0x10000 + ((char32_t{units[0]} - 0xD800) << 10) + (char32_t{units[1]} - 0xDC00);
    }
    return {};
}

const Page* Find(const std::string& name) {
    std::optional<UINT> number = NumberOf(name);
    if (!number || IsUnsupported(*number)) return nullptr;
    thread_local std::map<UINT, std::optional<Page>> cache;  // nothing for a page Windows lacks
    auto [it, added] = cache.try_emplace(*number);
    if (added) {
        Page page;
        page.number = *number;
        CPINFO info{};
        if (*number == kUtf16Le || *number == kUtf16Be) {
            page.maxCharSize = 2;
        } else if (IsValidCodePage(*number) && GetCPInfo(*number, &info)) {
            page.maxCharSize = info.MaxCharSize;
        } else {
            return nullptr;
        }
        if (page.maxCharSize == 1) {
            for (unsigned b = 0; b < 256; ++b) {
                const char byte = static_cast<char>(b);
                std::optional<char32_t> c = DecodeOne(page.number, std::string_view(&byte, 1));
                // Windows strips the high bit of bytes in ASCII rather than refusing them.
                bool defined = c && !IsHole(page, *c) && !(page.number == kAscii && b >= 0x80);
                text::AppendUtf8(page.bytes[b], defined ? *c : kReplacement);
            }
        }
        it->second = std::move(page);
    }
    return it->second ? &*it->second : nullptr;
}

const Page& FindOrThrow(const std::string& name) {
    const Page* page = Find(name);
    if (page == nullptr) throw Error("Página de código desconhecida: \"" + name + "\"");
    return *page;
}

struct Utf8Char {
    char32_t value;
    std::size_t length;
    bool valid;
};

// The character at text[pos]. An invalid byte is one invalid character of length 1; a sequence
// cut off by the end of the text is one invalid character up to the end.
Utf8Char NextUtf8(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) return {lead, 1, true};
    // Only leads that can start a character up to U+10FFFF: C0 and C1 would be overlong, F5 and
    // above (the old five- and six-byte forms included) lie beyond Unicode.
    const std::size_t n = lead >= 0xC2 && lead <= 0xDF ? 2 : (lead & 0xF0) == 0xE0 ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    const std::size_t left = text.size() - pos;
    if (n == 0) return {kReplacement, 1, false};
    if (left > 1) {
        // The second byte decides whether the lead can start a character at all (F4 90 and up
        // lie beyond U+10FFFF), cut short or not.
        const auto second = static_cast<unsigned char>(text[pos + 1]);
        const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (second < low || second > high) return {kReplacement, 1, false};
    }
    if (n > left) {
        for (std::size_t i = 1; i < left; ++i) {
            if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return {kReplacement, 1, false};
        }
        return {kReplacement, left, false};
    }
    if (!text::IsValidUtf8(text.substr(pos, n))) return {kReplacement, 1, false};
    char32_t value = lead & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) value = (value << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
    return {value, n, true};
}

void AppendUtf16(std::wstring& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<wchar_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (c >> 10));
        out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    }
}

int CheckedLength(std::size_t size) {
    if (size > 0x7FFFFFFF) throw Error("Texto longo demais para conversão de página de código");
    return static_cast<int>(size);
}

// Appends whole characters, given in UTF-16, in the page's encoding.
void AppendEncoded(const Page& page, std::wstring_view units, std::string& out) {
    if (units.empty()) return;
    if (page.number == kUtf16Le || page.number == kUtf16Be) {
        const bool bigEndian = page.number == kUtf16Be;
        for (wchar_t unit : units) {
            const char low = static_cast<char>(unit & 0xFF);
            const char high = static_cast<char>(unit >> 8);
            out += bigEndian ? high : low;
            out += bigEndian ? low : high;
        }
        return;
    }
    // No best fit: "ç" in ASCII is "?", not "c". UTF-8 takes neither flags nor a default character.
    const bool utf8 = page.number == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* question = utf8 ? nullptr : "?";
    const int length = CheckedLength(units.size());
    int needed = WideCharToMultiByte(page.number, flags, units.data(), length, nullptr, 0, question, nullptr);
    if (needed <= 0) throw Error("Falha na conversão de texto: " + win::SystemMessage(GetLastError()));
    const std::size_t used = out.size();
    out.resize(used + static_cast<std::size_t>(needed));
    WideCharToMultiByte(page.number, flags, units.data(), length, out.data() + used, needed, question, nullptr);
}

std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    auto unitAt = [&](std::size_t i) -> char32_t {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (char32_t{first} << 8) | second : (char32_t{second} << 8) | first;
    };
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            char32_t next = unitAt(i + 2);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                text::AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                i += 2;
                continue;
            }
        }
        text::AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
    }
    if (i < bytes.size()) text::AppendUtf8(out, kReplacement);  // an odd byte at the end
    return out;
}

// Multi-byte pages: the whole text in one call when it decodes cleanly, else one character at
// a time, each byte that starts no character becoming U+FFFD.
std::string DecodeMultiByte(const Page& page, std::string_view bytes) {
    const int total = CheckedLength(bytes.size());
    int needed = MultiByteToWideChar(page.number, MB_ERR_INVALID_CHARS, bytes.data(), total, nullptr, 0);
    if (needed > 0) {
        std::wstring wide(static_cast<std::size_t>(needed), L'\0');
        MultiByteToWideChar(page.number, MB_ERR_INVALID_CHARS, bytes.data(), total, wide.data(), needed);
        for (wchar_t& unit : wide) {
            if (IsHole(page, unit)) unit = static_cast<wchar_t>(kReplacement);
        }
        return win::Narrow(wide);
    }
    std::string out;
    for (std::size_t pos = 0; pos < bytes.size();) {
        std::optional<char32_t> c;
        std::size_t length = 0;
        while (!c && length < page.maxCharSize && pos + length < bytes.size()) {
            ++length;
            c = DecodeOne(page.number, bytes.substr(pos, length));
        }
        text::AppendUtf8(out, c && !IsHole(page, *c) ? *c : kReplacement);
        pos += c ? length : 1;
    }
    return out;
}

}  // namespace

std::string FromUtf8(std::string_view utf8, const std::string& codePage) {
    const Page& page = FindOrThrow(codePage);
    if (page.number == CP_UTF8 && text::IsValidUtf8(utf8)) return std::string(utf8);
    // Characters go to UTF-16 a block at a time, so that a large text never has a UTF-16 copy
    // whole. One that is not UTF-8 at all, or that the page cannot hold for certain (beyond
    // U+FFFF, no 8-bit page has it), becomes "?" already here.
    constexpr std::size_t kBlock = 32768;
    const bool wholeUnicode = IsUnicode(page.number);
    std::string out;
    out.reserve(utf8.size());
    std::wstring block;
    block.reserve(kBlock + 2);
    for (std::size_t pos = 0; pos < utf8.size();) {
        Utf8Char c = NextUtf8(utf8, pos);
        pos += c.length;
        bool lacking = !c.valid || IsHole(page, c.value) || (!wholeUnicode && c.value >= 0x10000);
        AppendUtf16(block, lacking ? U'?' : c.value);
        if (block.size() >= kBlock) {
            AppendEncoded(page, block, out);
            block.clear();
        }
    }
    AppendEncoded(page, block, out);
    return out;
}

std::string ToUtf8(std::string_view bytes, const std::string& codePage) {
    const Page& page = FindOrThrow(codePage);
    if (page.number == kUtf16Le || page.number == kUtf16Be) return DecodeUtf16(bytes, page.number == kUtf16Be);
    if (page.number == CP_UTF8) {
        if (text::IsValidUtf8(bytes)) return std::string(bytes);
        std::string out;
        for (std::size_t pos = 0; pos < bytes.size();) {
            Utf8Char c = NextUtf8(bytes, pos);
            text::AppendUtf8(out, c.value);
            pos += c.length;
        }
        return out;
    }
    if (page.maxCharSize > 1) return DecodeMultiByte(page, bytes);
    std::string out;
    out.reserve(bytes.size());
    for (char byte : bytes) out += page.bytes[static_cast<unsigned char>(byte)];
    return out;
}

bool IsKnown(const std::string& codePage) { return Find(codePage) != nullptr; }

}  // namespace vr::codepage
