#include "platform/RegionalSettingsReader.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "platform/CodePage.h"
#include "platform/linux/LocaleSettings.h"

namespace vr {
namespace posix {
namespace {

constexpr std::string_view kUtf8 = "UTF-8";

class Locale {
public:
    Locale(int mask, const std::string& name) : locale_(newlocale(mask, name.c_str(), nullptr)) {
        if (locale_ == nullptr) locale_ = newlocale(mask, "C", nullptr);
    }
    ~Locale() {
        if (locale_ != nullptr) freelocale(locale_);
    }
    Locale(const Locale&) = delete;
    Locale& operator=(const Locale&) = delete;

    std::string Get(nl_item item) const {
        if (locale_ == nullptr) return {};
        const char* value = nl_langinfo_l(item, locale_);
        return value == nullptr ? std::string() : std::string(value);
    }

private:
    locale_t locale_;
};

std::string FirstSet(EnvironmentLookup lookup, const char* category) {
    for (const char* name : {"LC_ALL", category, "LANG"}) {
        const char* value = lookup(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return "C";
}

std::string ToUtf8OrKeep(const std::string& text, const std::string& codeset) {
    return codepage::IsKnown(codeset) ? codepage::ToUtf8(text, codeset) : text;
}

// The composite specifiers spelled out, so that "%D" or "%F" still show their separator.
std::string Expand(std::string_view format) {
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            std::string_view spelled;
            switch (format[i + 1]) {
                case 'D': spelled = "%m/%d/%y"; break;
                case 'F': spelled = "%Y-%m-%d"; break;
                case 'T': spelled = "%H:%M:%S"; break;
                case 'R': spelled = "%H:%M"; break;
                case 'r': spelled = "%I:%M:%S %p"; break;
                default: break;
            }
            if (!spelled.empty()) {
                out += spelled;
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

// Length of the conversion specifier at the start of text ("%d", "%Ey", "%-m", "%02d"), 0 when
// text does not start with one.
std::size_t SpecifierLength(std::string_view text) {
    if (text.size() < 2 || text[0] != '%' || text[1] == '%') return 0;
    std::size_t i = 1;
    while (i < text.size() && std::string_view("_-0^#").find(text[i]) != std::string_view::npos) ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'O')) ++i;
    return i < text.size() ? i + 1 : 0;
}

// Position of the next conversion specifier at or after from ("%%" is a literal percent sign).
std::size_t NextSpecifier(std::string_view format, std::size_t from) {
    while (from < format.size() && SpecifierLength(format.substr(from)) == 0) {
        from += format.compare(from, 2, "%%") == 0 ? 2 : 1;
    }
    return from;
}

// The first character (UTF-8) of the text between the first two conversion specifiers of a
// format, or fallback when they have nothing between them or there are not two.
std::string Separator(std::string_view format, const std::string& fallback) {
    std::size_t first = NextSpecifier(format, 0);
    if (first == format.size()) return fallback;
    std::size_t start = first + SpecifierLength(format.substr(first));
    std::size_t second = NextSpecifier(format, start);
    if (second == format.size() || second == start) return fallback;
    if (format.compare(start, 2, "%%") == 0) return "%";
    auto lead = static_cast<unsigned char>(format[start]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    return std::string(format.substr(start, std::min(length, second - start)));
}

}  // namespace

LocaleNames LocaleNamesFrom(EnvironmentLookup lookup) {
    return {FirstSet(lookup, "LC_NUMERIC"), FirstSet(lookup, "LC_TIME"),
            FirstSet(lookup, "LC_CTYPE")};
}

LocaleFacts ReadLocaleFacts(const LocaleNames& names) {
    // Each category comes with the character set of its own locale, since the texts it reports
    // are in that set.
    Locale numeric(LC_NUMERIC_MASK | LC_CTYPE_MASK, names.numeric);
    Locale time(LC_TIME_MASK | LC_CTYPE_MASK, names.time);
    Locale characters(LC_CTYPE_MASK, names.characters);
    LocaleFacts facts;
    facts.radix = ToUtf8OrKeep(numeric.Get(RADIXCHAR), numeric.Get(CODESET));
    facts.dateFormat = ToUtf8OrKeep(time.Get(D_FMT), time.Get(CODESET));
    facts.timeFormat = ToUtf8OrKeep(time.Get(T_FMT), time.Get(CODESET));
    facts.codeset = characters.Get(CODESET);
    return facts;
}

RegionalSettings SettingsFromFacts(const LocaleFacts& facts) {
    RegionalSettings settings;
    if (!facts.radix.empty()) settings.decimalSeparator = facts.radix;
    settings.dateSeparator = Separator(Expand(facts.dateFormat), "/");
    settings.timeSeparator = Separator(Expand(facts.timeFormat), ":");
    // The plain C/POSIX locale's codeset is ASCII, which cannot hold Portuguese text at all; a
    // log or answer dump in it would lose every accented letter, so UTF-8 stands in for it (and
    // for any codeset the converter does not know).
    const std::string& codeset = facts.codeset;
    bool ascii = codeset == "ANSI_X3.4-1968" || codeset == "ASCII" || codeset == "US-ASCII";
    settings.ansiCodePage =
        ascii || codeset.empty() || !codepage::IsKnown(codeset) ? std::string(kUtf8) : codeset;
    return settings;
}

}  // namespace posix

RegionalSettings ReadRegionalSettings() {
    using namespace posix;
    return SettingsFromFacts(ReadLocaleFacts(LocaleNamesFrom([](const char* name) -> const char* {
        return std::getenv(name);
    })));
}

}  // namespace vr
