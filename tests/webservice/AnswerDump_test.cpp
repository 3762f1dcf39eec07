#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/Error.h"
#include "tests/support/TempDir.h"
#include "webservice/AnswerDump.h"

namespace vr {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(WebSalvarJson, WritesEveryLineWithCrLfInTheCodePage) {
    struct Case {
        std::string name;
        std::string json;
        std::string codePage;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"empty text, empty file", "", "WINDOWS-1252", ""},
        {"one line gets its line break", "{}", "WINDOWS-1252", "{}\r\n"},
        {"indented text", "{\r\n    \"a\": 1\r\n}", "UTF-8", "{\r\n    \"a\": 1\r\n}\r\n"},
        {"lone CR and lone LF", "a\rb\nc\r\n", "UTF-8", "a\r\nb\r\nc\r\n"},
        {"empty lines kept", "a\n\n\r\rb", "UTF-8", "a\r\n\r\n\r\n\r\nb\r\n"},
        {"Windows-1252, no BOM", "\"ação €\"", "WINDOWS-1252", "\"a\xE7\xE3o \x80\"\r\n"},
        {"UTF-8, no BOM", "\"ação\"", "UTF-8", "\"a\xC3\xA7\xC3\xA3o\"\r\n"},
        {"outside the code page", "\"€\"", "ISO-8859-1", "\"?\"\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        SalvarJson(c.json, TTipoJson::tjRetorno, {dir.path(), c.codePage});
        EXPECT_EQ(dir.Read("BRISEN_RESPOSTA.LOG"), c.bytes);
        EXPECT_EQ(dir.EntryCount(), 1u);  // no temporary file left behind
    }
}

// A large answer is converted piece by piece; no character or CR LF may be cut at a seam.
TEST(WebSalvarJson, LargeTextsComeOutWholeAcrossThePiecesTheyAreWrittenIn) {
    std::string json;
    std::string expected;
    for (int i = 0; json.size() < 3u * 1024 * 1024; ++i) {
        json += "ação\r\n€x\r";
        expected += "a\xE7\xE3o\r\n\x80x\r\n";
    }
    json += "fim";
    expected += "fim\r\n";
    test::TempDir dir;
    SalvarJson(json, TTipoJson::tjRetorno, {dir.path(), "WINDOWS-1252"});
    EXPECT_TRUE(dir.Read("BRISEN_RESPOSTA.LOG") == expected);
}

// Pieces may cut a CR LF or a character in two; the dump must read as if written whole.
TEST(WebSalvarJson, PiecesGiveTheSameBytesAsTheWholeText) {
    const std::string whole = "{\"a\":\"ação\"}\r\n\r\nx\ry\n€";
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        test::TempDir byPieces;
        {
            TDumpWriter writer({byPieces.path(), "WINDOWS-1252"});
            writer.Write(std::string_view(whole).substr(0, cut));
            writer.Write(std::string_view(whole).substr(cut));
            writer.Commit();
        }
        test::TempDir byWhole;
        SalvarJson(whole, TTipoJson::tjRetorno, {byWhole.path(), "WINDOWS-1252"});
        EXPECT_EQ(byPieces.Read("BRISEN_RESPOSTA.LOG"), byWhole.Read("BRISEN_RESPOSTA.LOG"));
    }
}

TEST(WebSalvarJson, AWriterLeftUncommittedKeepsTheEarlierDump) {
    test::TempDir dir;
    SalvarJson("primeira", TTipoJson::tjRetorno, {dir.path(), "UTF-8"});
    {
        TDumpWriter writer({dir.path(), "UTF-8"});
        writer.Write("segunda, interrompida");
    }
    EXPECT_EQ(dir.Read("BRISEN_RESPOSTA.LOG"), "primeira\r\n");
    EXPECT_EQ(dir.EntryCount(), 1u);
}

TEST(WebSalvarJson, ReplacesTheWholeEarlierDump) {
    test::TempDir dir;
    dir.Write("BRISEN_RESPOSTA.LOG", std::string(10000, 'x'));
    SalvarJson("{\"b\":2}", TTipoJson::tjRetorno, {dir.path(), "UTF-8"});
    EXPECT_EQ(dir.Read("BRISEN_RESPOSTA.LOG"), "{\"b\":2}\r\n");
    SalvarJson("", TTipoJson::tjRetorno, {dir.path(), "UTF-8"});
    EXPECT_EQ(dir.Read("BRISEN_RESPOSTA.LOG"), "");
}

TEST(WebSalvarJson, FailureNamesTheFileAndLeavesTheOldDumpWhole) {
    test::TempDir dir;
    dir.Write("BRISEN_RESPOSTA.LOG", "anterior\r\n");
    struct Case {
        std::string name;
        std::filesystem::path directory;
        std::string codePage;
    };
    const std::vector<Case> cases = {
        {"missing directory", dir.path() / "nao-existe", "UTF-8"},
        {"unknown code page", dir.path(), "X-NO-SUCH-CODEPAGE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THAT([&] { SalvarJson("{}", TTipoJson::tjRetorno, {c.directory, c.codePage}); },
                    ThrowsMessage<Error>(HasSubstr("BRISEN_RESPOSTA.LOG")));
        EXPECT_EQ(dir.Read("BRISEN_RESPOSTA.LOG"), "anterior\r\n");
        EXPECT_EQ(dir.EntryCount(), 1u);
    }
}

TEST(WebSalvarJson, ADirectoryInTheDumpsPlaceFailsWithoutLeftovers) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "BRISEN_RESPOSTA.LOG");
    std::filesystem::create_directory(dir.path() / "BRISEN_RESPOSTA.LOG" / "x");
    EXPECT_THROW(SalvarJson("{}", TTipoJson::tjRetorno, {dir.path(), "UTF-8"}), Error);
    EXPECT_EQ(dir.EntryCount(), 1u);
}

}  // namespace
}  // namespace vr
