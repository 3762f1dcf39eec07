#pragma once

// Whole-file reads and writes for tests, byte for byte, bypassing the code under test.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vr::test {

inline std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void Put(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace vr::test
