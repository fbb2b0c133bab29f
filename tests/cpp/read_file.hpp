// The whole content of a file, for tests over the shipped and shared logs.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tessmar::test {

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace tessmar::test
