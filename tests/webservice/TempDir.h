#pragma once

#include <filesystem>
#include <string>

#include "tests/platform/TempDir.h"
#include "tests/platform/TestFiles.h"

namespace vr::test {

// A directory of its own for one test, removed with everything in it at the end, with the
// whole-file reads and writes the web tests use.
class TempDir : public testing::TempDir {
public:
    std::string Read(const std::string& name) const { return testing::Slurp(path() / name); }
    void Write(const std::string& name, const std::string& content) const {
        testing::Put(path() / name, content);
    }
    std::size_t EntryCount() const {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(path())) ++count;
        return count;
    }
};

}  // namespace vr::test
