// The settings file's dealings with the file system on Windows: reading it, and replacing it
// through a new file beside it that takes the old one's place in one step.
#include "bus/SettingsFile.h"
#include "bus/SettingsFileSystem.h"
#include "platform/TextWin32.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <windows.h>
// The Win32 function of the same name is a macro; this file defines the settings file's.
#undef ReplaceFile

namespace bus {

namespace fs = std::filesystem;

namespace {

using platform::PathOf;

std::string Reason(DWORD code) {
    return std::system_category().message(static_cast<int>(code));
}

} // namespace

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

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& error) {
    const fs::path target = PathOf(path);
    fs::path temporary = target;
    temporary += L".new";
    const HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Reason(::GetLastError());
        return false;
    }
    std::size_t written = 0;
    DWORD code = ERROR_SUCCESS;
    while (written < bytes.size() && code == ERROR_SUCCESS) {
        const std::size_t left = bytes.size() - written;
        const DWORD chunk = left > 1u << 30 ? 1u << 30 : static_cast<DWORD>(left);
        DWORD done = 0;
        if (!::WriteFile(file, bytes.data() + written, chunk, &done, nullptr))
            code = ::GetLastError();
        written += done;
    }
    if (code == ERROR_SUCCESS && !::FlushFileBuffers(file))
        code = ::GetLastError();
    ::CloseHandle(file);
    if (code == ERROR_SUCCESS &&
        !::MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = ::GetLastError();
    if (code != ERROR_SUCCESS) {
        ::DeleteFileW(temporary.c_str());
        error = Reason(code);
        return false;
    }
    return true;
}

// Windows names its serial ports COM1, COM2, ...; the port list holds them all, and no file
// path is a terminal.
bool IsTerminalDevice(const std::string&) {
    return false;
}

} // namespace bus
