#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/Error.h"
#include "platform/DynamicLibrary.h"
#include "platform/ExecutablePath.h"
#include "platform/windows/WindowsText.h"

namespace vr {
namespace {

std::string FailureOf(const std::vector<std::string>& names, const std::string& symbol) {
    try {
        DynamicLibrary::OpenFirst(names, symbol);
    } catch (const Error& e) {
        return e.what();
    }
    return {};
}

// Each name beside the executable with its full path, then in the system's DLL folders (no
// Firebird installation in the registry here), each with the system's reason.
TEST(DynamicLibraryWindowsTest, AMissingClientNamesEveryAttemptWithTheSystemsReason) {
    std::string message = FailureOf(FirebirdClientLibraryNames(), "isc_attach_database");
    if (message.empty()) GTEST_SKIP() << "a Firebird client library is installed here";
    const std::string beside = win::Narrow(ExecutableDirectory().wstring()) + "\\";
    const std::string prefix = "Não foi possível carregar a biblioteca cliente (";
    EXPECT_EQ(message.rfind(prefix, 0), 0u) << message;
    std::size_t at = prefix.size();
    for (const std::string& attempt : std::vector<std::string>
         {beside + "fbclient.dll: ", "; fbclient.dll (pastas de DLLs do sistema): ",
          "; " + beside + "fbembed.dll: ", "; fbembed.dll (pastas de DLLs do sistema): "}) {
        const std::size_t found = message.find(attempt, at);
        ASSERT_NE(found, std::string::npos) << "no " << attempt << " after " << at << ": " << message;
        EXPECT_TRUE(found == at || found > at + 2) << "no reason before " << attempt << ": " << message;
        at = found + attempt.size();
    }
    EXPECT_EQ(message.back(), ')');
    EXPECT_GT(message.size(), at + 1) << message;
    EXPECT_EQ(message.find(".;"), std::string::npos) << message;
}

TEST(DynamicLibraryWindowsTest, LoadsTheFirstLibraryThatExportsTheSymbol) {
    DynamicLibrary library =
        DynamicLibrary::OpenFirst({"vr-no-such-library.dll", "kernel32.dll"}, "GetTickCount");
    EXPECT_EQ(library.name(), "kernel32.dll");
    // The file that loaded, found in System32 by the bare name.
    EXPECT_EQ(CompareStringOrdinal(win::Widen(library.path()).c_str(), -1,
                                   L"C:\\windows\\system32\\kernel32.dll", -1, TRUE),
              CSTR_EQUAL)
        << library.path();
    EXPECT_NE(library.Symbol("GetTickCount"), nullptr);
    EXPECT_EQ(library.Symbol("VrNoSuchExport"), nullptr);

    DynamicLibrary moved(std::move(library));
    EXPECT_NE(moved.Symbol("GetTickCount"), nullptr);
    EXPECT_EQ(library.Symbol("GetTickCount"), nullptr);  // NOLINT: the moved-from object is empty
}

TEST(DynamicLibraryWindowsTest, ALibraryWithoutTheSymbolIsTooOld) {
    std::string message = FailureOf({"kernel32.dll"}, "VrNoSuchExport");
    const std::string beside = win::Narrow(ExecutableDirectory().wstring()) + "\\kernel32.dll: ";
    EXPECT_THAT(message, ::testing::HasSubstr(
                             "; kernel32.dll (pastas de DLLs do sistema): a biblioteca não exporta "
                             "VrNoSuchExport (versão antiga demais))"));
    EXPECT_EQ(message.rfind("Não foi possível carregar a biblioteca cliente (" + beside, 0), 0u) << message;
}

}  // namespace
}  // namespace vr
