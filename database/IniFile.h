#pragma once

// Reads values from an INI file the way the service's settings have always been read:
// section and key names ignore letter case, blanks around a value are dropped, one pair of
// matching quotes around it is removed, and a value is cut to 2047 characters.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vr {

class IniFile {
public:
    // A missing or unreadable file reads as an empty one, so every lookup gives its default.
    static IniFile Load(const std::filesystem::path& path);
    static IniFile Parse(std::string_view content);

    // The value of key in section; defaultValue when the section or the key is absent. A key
    // present with an empty value gives the empty text.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;

    static constexpr std::size_t kMaxValueLength = 2047;  // in UTF-16 code units

private:
    struct Entry {
        std::string section;
        std::string key;
        std::string value;
    };
    std::vector<Entry> entries_;  // in file order; the first of duplicates wins
};

}  // namespace vr
