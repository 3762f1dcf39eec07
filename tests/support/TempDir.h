#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "tests/support/TestFiles.h"

namespace vr::test {

// A fresh directory under the system's temporary directory, removed with everything in it,
// with whole-file reads and writes of the files in it.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "vr-test-") {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                (prefix + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    std::string Read(const std::string& name) const { return Slurp(path_ / name); }
    void Write(const std::string& name, const std::string& content) const { Put(path_ / name, content); }
    std::size_t EntryCount() const {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(path_)) ++count;
        return count;
    }

private:
    std::filesystem::path path_;
};

}  // namespace vr::test
