#include "platform/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <tuple>

#include "common/Error.h"
#include "common/Text.h"

namespace vr::codepage {
namespace {

constexpr const char* kUtf8 = "UTF-8";
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// "//TRANSLIT" or "//IGNORE" suffixes would change the rules for unconvertible characters, and
// the empty name means "the locale's charset" to iconv: neither is a code page name.
bool IsAcceptableName(const std::string& codePage) {
    return !codePage.empty() && codePage.find('/') == std::string::npos;
}

class Descriptor {
public:
    Descriptor(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Descriptor() {
        if (valid()) iconv_close(cd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// One direction of conversion with what the error paths need, opened once per thread and code
// page: opening a descriptor costs far more than converting a log entry.
struct Converter {
    Converter(const std::string& to, const std::string& from) : cd(to.c_str(), from.c_str()) {}

    Descriptor cd;
    std::string replacement;  // "?" in the target, or U+FFFD when decoding
    std::size_t unit = 1;     // bytes to skip over an undecodable unit of the source
};

enum class Direction { kEncode, kDecode };

// Runs iconv over the whole input; at a character it cannot take, skip(in, left) says how many
// input bytes to drop, and the converter's replacement is written in their place.
//
// iconv converts in steps through an internal form; when a later step refuses a character, the
// earlier step is redone over everything it had converted in that call. So after a refusal the
// input is fed in a small window that doubles while the text converts cleanly: text full of
// replacements stays linear, clean text goes in large blocks.
// Where the next lead byte at or after from starts a sequence beyond U+10FFFF (F4 90 and up, F5
// and above, the old five- and six-byte forms included), or the end of the text. iconv reads
// those as characters; they are not, and must be replaced like any other invalid byte.
std::size_t NextBeyondUnicode(std::string_view text, std::size_t from) {
    for (std::size_t i = from; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0xF5) return i;
        if (b == 0xF4 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x90) return i;
    }
    return text.size();
}

template <typename Skip>
std::string Convert(Converter& c, std::string_view input, Skip skip, bool utf8Source) {
    constexpr std::size_t kLargeWindow = std::size_t{1} << 20;
    constexpr std::size_t kSmallWindow = 64;
    iconv(c.cd.get(), nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    std::string out;
    out.resize(input.size() + input.size() / 2 + 16);
    std::size_t used = 0;
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t window = kLargeWindow;
    std::size_t barrier = utf8Source ? NextBeyondUnicode(input, 0) : input.size();
    auto replace = [&] {
        if (out.size() - used < c.replacement.size()) out.resize(out.size() * 2 + 16);
        std::memcpy(out.data() + used, c.replacement.data(), c.replacement.size());
        used += c.replacement.size();
        window = kSmallWindow;
    };
    for (;;) {
        const std::size_t pos = input.size() - inLeft;
        if (inLeft > 0 && pos == barrier) {
            // The lead byte alone is replaced; its continuation bytes are then invalid to iconv.
            ++in;
            --inLeft;
            barrier = NextBeyondUnicode(input, pos + 1);
            replace();
            continue;
        }
        char* dst = out.data() + used;
        std::size_t dstLeft = out.size() - used;
        const std::size_t beforeBarrier = barrier - pos;
        std::size_t chunk = std::min({window, inLeft, beforeBarrier});
        const bool cutByBarrier = chunk == beforeBarrier && beforeBarrier < inLeft;
        std::size_t chunkLeft = chunk;
        // With the input used up, one more call writes what a stateful target still owes.
        bool flushing = inLeft == 0;
        std::size_t r = flushing ? iconv(c.cd.get(), nullptr, nullptr, &dst, &dstLeft)
                                 : iconv(c.cd.get(), &in, &chunkLeft, &dst, &dstLeft);
        int error = errno;
        used = out.size() - dstLeft;
        inLeft -= chunk - chunkLeft;
        if (r != static_cast<std::size_t>(-1)) {
            if (flushing) break;
            window = std::min(window * 2, kLargeWindow);
            continue;
        }
        if (error == E2BIG) {
            out.resize(out.size() * 2 + 16);
            continue;
        }
        if (error == EINVAL && !cutByBarrier && chunk < inLeft + (chunk - chunkLeft)) {
            // Only the window cut a character in two: widen it past the character.
            window = chunkLeft + 16;
            continue;
        }
        if (error != EILSEQ && error != EINVAL) {
            throw Error(std::string("Falha na conversão de texto: ") + std::strerror(error));
        }
        // A sequence cut by the end of the text is one replacement; one cut by a byte that
        // cannot continue it is an invalid start like any other.
        std::size_t drop = error == EINVAL && !cutByBarrier ? inLeft : skip(in, inLeft);
        if (drop == 0 || drop > inLeft) drop = inLeft == 0 ? 0 : 1;
        in += drop;
        inLeft -= drop;
        replace();
    }
    out.resize(used);
    return out;
}

// Length of the valid UTF-8 sequence at the start of the bytes, 0 when there is none.
std::size_t Utf8SequenceLength(const char* p, std::size_t left) {
    auto b = static_cast<unsigned char>(p[0]);
    std::size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3
                  : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || n > left) return 0;
    return text::IsValidUtf8(std::string_view(p, n)) ? n : 0;
}

std::string Probe(Converter& c, std::string_view utf8) {
    return Convert(c, utf8, [](const char*, std::size_t) { return std::size_t{1}; }, true);
}

// The service uses a handful of code pages, but a charset name comes from every answer and iconv
// accepts endless spellings of one page: past this many the cache starts afresh, so that answers
// cannot make it grow without end.
constexpr std::size_t kMaxOpenConverters = 32;

// `nested`: called while the caller holds a converter of the cache, which must then stay.
Converter* Open(const std::string& to, const std::string& from, Direction direction, bool nested = false) {
    // UTF-8 to UTF-8 is both an encoding and a decoding: the direction is part of the key.
    using Key = std::tuple<std::string, std::string, Direction>;
    thread_local std::map<Key, Converter> cache;
    Key key{to, from, direction};
    if (auto it = cache.find(key); it != cache.end()) return &it->second;
    if (!nested && cache.size() >= kMaxOpenConverters) cache.clear();

    auto it = cache.try_emplace(key, to, from).first;
    Converter& c = it->second;
    if (!c.cd.valid()) {
        cache.erase(it);
        return nullptr;
    }
    if (direction == Direction::kEncode) {
        // "?" as the target writes it (two bytes in UTF-16, for instance).
        c.replacement.assign(1, '?');
        std::string inTarget = Probe(c, "?");
        c.replacement.swap(inTarget);
    } else {
        c.replacement.assign(kReplacementUtf8.data(), kReplacementUtf8.size());
        // The size of one code unit of the source: the growth of "A" to "AA" in that code page,
        // so that a bad UTF-16 unit is skipped whole and the rest stays aligned.
        if (Converter* enc = Open(from, kUtf8, Direction::kEncode, true)) {
            std::size_t one = Probe(*enc, "A").size();
            std::size_t two = Probe(*enc, "AA").size();
            if (two > one) c.unit = two - one;
        }
    }
    return &c;
}

Converter& OpenOrThrow(const std::string& page, Direction direction) {
    bool encode = direction == Direction::kEncode;
    Converter* c = !IsAcceptableName(page) ? nullptr
                   : encode ? Open(page, kUtf8, direction) : Open(kUtf8, page, direction);
    if (c == nullptr) throw Error("Página de código desconhecida: \"" + page + "\"");
    return *c;
}

}  // namespace

std::string FromUtf8(std::string_view utf8, const std::string& codePage) {
    Converter& c = OpenOrThrow(codePage, Direction::kEncode);
    // A character the code page lacks is one valid sequence: one "?" for it. A byte that is not
    // UTF-8 at all also gives one "?".
    return Convert(
        c, utf8,
        [](const char* p, std::size_t left) {
            std::size_t n = Utf8SequenceLength(p, left);
            return n == 0 ? std::size_t{1} : n;
        },
        true);
}

std::string ToUtf8(std::string_view bytes, const std::string& codePage) {
    Converter& c = OpenOrThrow(codePage, Direction::kDecode);
    std::size_t unit = c.unit;
    const bool utf8 = text::EqualsIgnoreAsciiCase(codePage, "UTF-8") || text::EqualsIgnoreAsciiCase(codePage, "UTF8");
    return Convert(c, bytes, [unit](const char*, std::size_t) { return unit; }, utf8);
}

bool IsKnown(const std::string& codePage) {
    return IsAcceptableName(codePage) && Open(codePage, kUtf8, Direction::kEncode) != nullptr &&
           Open(kUtf8, codePage, Direction::kDecode) != nullptr;
}

}  // namespace vr::codepage
