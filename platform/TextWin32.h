#pragma once

// Windows only: the program's UTF-8 strings and the system's UTF-16 ones.

#include <cstddef>
#include <filesystem>
#include <string>
#include <windows.h>

namespace platform {

// A path given in UTF-8.
inline std::filesystem::path PathOf(const std::string& utf8) {
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                           nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                              wide.data(), size);
    return std::filesystem::path(wide);
}

// UTF-16 text in UTF-8.
inline std::string Utf8(const wchar_t* text, std::size_t length) {
    if (length == 0)
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr,
                                           0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), result.data(), size,
                              nullptr, nullptr);
    return result;
}

inline std::string Utf8(const std::wstring& text) {
    return Utf8(text.data(), text.size());
}

} // namespace platform
