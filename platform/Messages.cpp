#include "platform/Messages.h"

#include "platform/MessagesSystem.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace platform {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

std::string LanguageAndCountry(const std::string& localeName) {
    return localeName.substr(0, localeName.find_first_of(".@"));
}

std::string LanguageFromLocaleFile(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    std::string language;
    while (std::getline(lines, line)) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        line.erase(0, start);
        if (line.starts_with("export "))
            line.erase(0, 7);
        if (!line.starts_with("LANG="))
            continue;
        std::string value = line.substr(5);
        while (!value.empty() && std::strchr(" \t\r\"'", value.back()))
            value.pop_back();
        while (!value.empty() && std::strchr("\"'", value.front()))
            value.erase(0, 1);
        language = LanguageAndCountry(value);
    }
    return language;
}

std::string UserLanguage() {
    if (std::string lang = Environment("LANG"); !lang.empty())
        return lang;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES"})
        if (std::string value = Environment(variable); !value.empty())
            return LanguageAndCountry(value);
    return SystemLanguage();
}

std::vector<std::string> CatalogueFolders(const std::string& programFolder) {
    const std::filesystem::path installed =
        std::filesystem::path(programFolder) / MORVELPLINT_LOCALE_FROM_PROGRAM;
    return {programFolder + "/locale", installed.lexically_normal().string()};
}

std::string FirstExistingFolder(const std::vector<std::string>& folders) {
    // The first one even when none exists, so that the catalogue seam never falls back on
    // a catalogue of the same name somewhere in the system.
    for (const std::string& folder : folders) {
        std::error_code error;
        if (std::filesystem::is_directory(folder, error))
            return folder;
    }
    return folders.empty() ? std::string() : folders.front();
}

std::string Args(std::string_view text, const std::vector<std::string>& values) {
    std::string filled;
    filled.reserve(text.size() + 16 * values.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const auto place = static_cast<std::size_t>(next - '1');
        if (text[i] == '%' && next >= '1' && next <= '9' && place < values.size()) {
            filled += values[place];
            ++i;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

std::string Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

} // namespace platform
