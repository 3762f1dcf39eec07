#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Error.h"
#include "platform/DynamicLibrary.h"

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

TEST(DynamicLibraryWindowsTest, AMissingClientNamesEveryAttemptWithTheSystemsReason) {
    std::string message = FailureOf(FirebirdClientLibraryNames(), "isc_attach_database");
    if (message.empty()) GTEST_SKIP() << "a Firebird client library is installed here";
    const std::string prefix = "Não foi possível carregar a biblioteca cliente (fbclient.dll: ";
    EXPECT_EQ(message.rfind(prefix, 0), 0u) << message;
    std::size_t second = message.find("; fbembed.dll: ");
    ASSERT_NE(second, std::string::npos) << message;
    EXPECT_GT(second, prefix.size()) << "no reason for fbclient.dll: " << message;
    EXPECT_EQ(message.back(), ')');
    EXPECT_GT(message.size(), second + std::string("; fbembed.dll: )").size()) << message;
    EXPECT_EQ(message.find(".;"), std::string::npos) << message;
}

TEST(DynamicLibraryWindowsTest, LoadsTheFirstLibraryThatExportsTheSymbol) {
    DynamicLibrary library =
        DynamicLibrary::OpenFirst({"vr-no-such-library.dll", "kernel32.dll"}, "GetTickCount");
    EXPECT_EQ(library.name(), "kernel32.dll");
    EXPECT_NE(library.Symbol("GetTickCount"), nullptr);
    EXPECT_EQ(library.Symbol("VrNoSuchExport"), nullptr);

    DynamicLibrary moved(std::move(library));
    EXPECT_NE(moved.Symbol("GetTickCount"), nullptr);
    EXPECT_EQ(library.Symbol("GetTickCount"), nullptr);  // NOLINT: the moved-from object is empty
}

TEST(DynamicLibraryWindowsTest, ALibraryWithoutTheSymbolIsTooOld) {
    std::string message = FailureOf({"kernel32.dll"}, "VrNoSuchExport");
    EXPECT_EQ(message,
              "Não foi possível carregar a biblioteca cliente (kernel32.dll: a biblioteca não exporta "
              "VrNoSuchExport (versão antiga demais))");
}

}  // namespace
}  // namespace vr
