#include "database/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace vr {
namespace {

struct IniCase {
    const char* what;
    std::string content;
    const char* section;
    const char* key;
    std::string expected;
};

TEST(DbIniFile, ReadingRules) {
    const std::string longValue(3000, 'x');
    const std::string accented = "D:\\Dados\\Loja Ação\\RIVELTO.FDB";
    const IniCase cases[] = {
        {"plain value", "[Rivelto]\nServidor=192.0.2.10\n", "Rivelto", "Servidor", "192.0.2.10"},
        {"section and key in another case", "[RIVELTO]\nSERVIDOR=srv\n", "Rivelto", "Servidor", "srv"},
        {"blanks around the value", "[Rivelto]\nCaminho =   D:\\Dados\\RIVELTO.FDB  \t\n", "Rivelto", "Caminho",
         "D:\\Dados\\RIVELTO.FDB"},
        {"double quotes with blanks", "[Rivelto]\nCaminho=  \"  D:\\A B\\X.FDB \"  \n", "Rivelto", "Caminho",
         "  D:\\A B\\X.FDB "},
        {"single quotes", "[Rivelto]\nCaminho='C:\\x.fdb'\n", "Rivelto", "Caminho", "C:\\x.fdb"},
        {"unmatched quotes stay", "[Rivelto]\nCaminho=\"C:\\x.fdb'\n", "Rivelto", "Caminho", "\"C:\\x.fdb'"},
        {"a lone quote stays", "[Rivelto]\nCaminho=\"\n", "Rivelto", "Caminho", "\""},
        {"present but empty", "[Rivelto]\nServidor=\n", "Rivelto", "Servidor", ""},
        {"empty quotes", "[Rivelto]\nServidor=\"\"\n", "Rivelto", "Servidor", ""},
        {"missing key", "[Rivelto]\nCaminho=x\n", "Rivelto", "Servidor", "<default>"},
        {"key of another section", "[Outra]\nServidor=x\n[Rivelto]\nCaminho=y\n", "Rivelto", "Servidor", "<default>"},
        {"key before any section", "Servidor=x\n[Rivelto]\n", "Rivelto", "Servidor", "<default>"},
        {"comment line", "[Rivelto]\n;Servidor=x\nServidor=y\n", "Rivelto", "Servidor", "y"},
        {"first of duplicate keys", "[Rivelto]\nServidor=a\nservidor=b\n", "Rivelto", "Servidor", "a"},
        {"CR LF and BOM", "\xEF\xBB\xBF[Rivelto]\r\nServidor=srv\r\nCaminho=c\r\n", "Rivelto", "Servidor", "srv"},
        {"equals sign inside the value", "[Rivelto]\nCaminho=a=b\n", "Rivelto", "Caminho", "a=b"},
        {"value cut to 2047 characters", "[Rivelto]\nCaminho=" + longValue + "\n", "Rivelto", "Caminho",
         std::string(2047, 'x')},
        {"UTF-8 text", "[Rivelto]\nCaminho=" + accented + "\n", "Rivelto", "Caminho", accented},
        {"8-bit text read as ISO-8859-1", "[Rivelto]\nCaminho=A\xE7\xE3o\n", "Rivelto", "Caminho", "Ação"},
        {"blanks around the section name", "[ Rivelto ]\nServidor=s\n", "Rivelto", "Servidor", "s"},
    };
    for (const IniCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(IniFile::Parse(c.content).ReadString(c.section, c.key, "<default>"), c.expected);
    }
}

// UTF-16 text behind its byte-order mark, as a Windows editor saves "Unicode" files.
std::string Utf16(std::u16string_view text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

TEST(DbIniFile, ReadsUtf16WithItsByteOrderMark) {
    const std::u16string content = u"[Rivelto]\r\nServidor = \"srv.loja\"\r\nCaminho=D:\\Dados\\Ação 😀\\RIVELTO.FDB\r\n";
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big endian" : "little endian");
        const auto path = std::filesystem::temp_directory_path() /
                          (bigEndian ? "vr-db-inifile-utf16be.ini" : "vr-db-inifile-utf16le.ini");
        {
            std::ofstream out(path, std::ios::binary);
            out << Utf16(content, bigEndian);
        }
        const IniFile file = IniFile::Load(path);
        EXPECT_EQ(file.ReadString("Rivelto", "Servidor", "localhost"), "srv.loja");
        EXPECT_EQ(file.ReadString("Rivelto", "Caminho", "<default>"), "D:\\Dados\\Ação 😀\\RIVELTO.FDB");
        std::filesystem::remove(path);
    }
}

TEST(DbIniFile, MissingFileGivesDefaults) {
    const IniFile file = IniFile::Load(std::filesystem::temp_directory_path() / "vr-no-such-dir" / "Rivelto.ini");
    EXPECT_EQ(file.ReadString("Rivelto", "Servidor", "localhost"), "localhost");
}

TEST(DbIniFile, LoadsFromDisk) {
    const auto path = std::filesystem::temp_directory_path() / "vr-db-inifile-test.ini";
    {
        std::ofstream out(path, std::ios::binary);
        out << "[Rivelto]\r\nServidor = \"srv.local\"\r\n";
    }
    EXPECT_EQ(IniFile::Load(path).ReadString("rivelto", "servidor", "localhost"), "srv.local");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace vr
