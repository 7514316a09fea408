#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

// The whole content of a file, byte for byte.
inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A new empty folder under /tmp (or under `base`), removed again by the test.
inline std::filesystem::path MakeTempFolder(const char* prefix,
                                            const std::filesystem::path& base = "/tmp") {
    std::string pattern = (base / (std::string(prefix) + "-XXXXXX")).string();
    return ::mkdtemp(pattern.data());
}
