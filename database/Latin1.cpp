#include "database/Latin1.h"

#include "common/Text.h"

namespace vr::db {

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (const char c : latin1) text::AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string Utf8ToLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
    while (pos < utf8.size()) {
        const unsigned char b0 = byte(pos);
        if (b0 < 0x80) {
            out += static_cast<char>(b0);
            ++pos;
            continue;
        }
        // Length of the sequence by its lead byte; a broken sequence is one unknown character.
        std::size_t need = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 1;
        std::size_t got = 1;
        while (got < need && pos + got < utf8.size() && (byte(pos + got) & 0xC0u) == 0x80u) ++got;
        if (got == 2 && need == 2 && (b0 == 0xC2 || b0 == 0xC3)) {
            out += static_cast<char>(((b0 & 0x1Fu) << 6) | (byte(pos + 1) & 0x3Fu));
        } else {
            out += '?';
        }
        pos += got;
    }
    return out;
}

}  // namespace vr::db
