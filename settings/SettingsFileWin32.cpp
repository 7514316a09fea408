// The settings file's dealings with the file system on Windows: reading it (writing it is
// OutputFileWin32.cpp's).
#include "platform/TextWin32.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsFileSystem.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <windows.h>

namespace bus {

namespace fs = std::filesystem;

using platform::PathOf;

std::string ResolvedPath(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(PathOf(path), error);
    return error ? std::string() : resolved.string();
}

bool ReadFileText(const std::string& path, std::string& text, std::size_t limit) {
    std::error_code error;
    if (!fs::is_regular_file(PathOf(path), error))
        return false;
    std::ifstream in(PathOf(path), std::ios::binary);
    if (!in)
        return false;
    text.assign(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return true;
}

// Windows names its serial ports COM1, COM2, ...; the port list holds them all, and no file
// path is a terminal.
bool IsTerminalDevice(const std::string&) {
    return false;
}

} // namespace bus
