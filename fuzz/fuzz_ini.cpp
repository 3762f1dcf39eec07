// The INI reader: any content reads, and a value read is valid UTF-8 of at most 2047 UTF-16
// code units, without blanks at its ends. The input is a section and key name, then the content,
// apart by "\x01".

#include <string>
#include <utility>

#include "common/Text.h"
#include "database/IniFile.h"
#include "fuzz/FuzzSupport.h"

using namespace vr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Pieces pieces(data, size);
    const std::string_view section = pieces.Next();
    const std::string_view key = pieces.Next();
    const IniFile ini = IniFile::Parse(pieces.Rest());
    for (const auto& [s, k] : {std::pair<std::string_view, std::string_view>{section, key},
                               {"Rivelto", "Servidor"}, {"rivelto", "CAMINHO"}}) {
        const std::string value = ini.ReadString(s, k, "\x02");
        if (value == "\x02") continue;
        fuzz::Check(text::IsValidUtf8(value), "a value is valid UTF-8", value);
        fuzz::Check(text::Utf16Left(value, IniFile::kMaxValueLength) == value, "a value is cut to its limit");
    }
    return 0;
}
