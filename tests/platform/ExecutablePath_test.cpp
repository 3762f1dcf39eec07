#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ExecutablePath.h"
#include "tests/support/TempDir.h"

namespace vr {
namespace {

namespace fs = std::filesystem;

TEST(ExecutablePathTest, IsTheExecutablesDirectoryWhateverTheWorkingDirectory) {
    test::TempDir elsewhere;
    fs::path before = fs::current_path();
    fs::current_path(elsewhere.path());
    fs::path executable = ExecutablePath();
    fs::path directory = ExecutableDirectory();
    fs::current_path(before);

    EXPECT_NE(directory, elsewhere.path());
    EXPECT_TRUE(directory.is_absolute());
    EXPECT_EQ(executable.parent_path(), directory);
    EXPECT_EQ(executable.stem(), "test_platform");  // ".exe" on Windows
    EXPECT_TRUE(fs::is_regular_file(executable)) << executable;
}

}  // namespace
}  // namespace vr
