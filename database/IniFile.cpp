#include "database/IniFile.h"

#include <fstream>
#include <iterator>

#include "common/Text.h"
#include "database/Latin1.h"
#include "platform/CodePage.h"

namespace vr {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value.remove_prefix(1);
        value.remove_suffix(1);
    }
    return value;
}

}  // namespace

IniFile IniFile::Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return IniFile{};
    const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return IniFile{};
    return Parse(content);
}

IniFile IniFile::Parse(std::string_view content) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    // What a Windows editor writes when told "Unicode": UTF-16 behind its byte-order mark.
    constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
    constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
    std::string utf8;
    if (content.starts_with(kUtf16LeBom) || content.starts_with(kUtf16BeBom)) {
        const char* page = content.starts_with(kUtf16LeBom) ? "UTF-16LE" : "UTF-16BE";
        utf8 = codepage::ToUtf8(content.substr(2), page);
    } else {
        if (content.starts_with(kBom)) content.remove_prefix(kBom.size());
        // Files written by hand on the store's machines are often in the 8-bit code page; text
        // that is not valid UTF-8 is taken as ISO-8859-1.
        utf8 = text::IsValidUtf8(content) ? std::string(content) : db::Latin1ToUtf8(content);
    }

    IniFile file;
    std::string section;
    bool inSection = false;
    for (const std::string& rawLine : text::SplitLines(utf8)) {
        const std::string_view line = TrimBlanks(rawLine);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string_view::npos) continue;
            section = std::string(TrimBlanks(line.substr(1, close - 1)));
            inSection = true;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) continue;
        const std::string_view key = TrimBlanks(line.substr(0, equals));
        if (key.empty()) continue;
        const std::string_view value = Unquoted(TrimBlanks(line.substr(equals + 1)));
        file.entries_.push_back({section, std::string(key), text::Utf16Left(value, kMaxValueLength)});
    }
    return file;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    for (const Entry& entry : entries_) {
        if (text::EqualsIgnoreAsciiCase(entry.section, section) && text::EqualsIgnoreAsciiCase(entry.key, key)) {
            return entry.value;
        }
    }
    return std::string(defaultValue);
}

}  // namespace vr
