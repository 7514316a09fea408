#include "platform/Messages.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <libintl.h>
#include <sstream>

namespace platform {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// "nl_NL" of "nl_NL.UTF-8@euro".
std::string LanguageAndCountry(const std::string& localeName) {
    return localeName.substr(0, localeName.find_first_of(".@"));
}

bool IsPlainC(const char* localeName) {
    return localeName == nullptr || std::strcmp(localeName, "C") == 0 ||
           std::strcmp(localeName, "POSIX") == 0;
}

} // namespace

const char* Translate(const char* domain, const char* text) {
    return dgettext(domain, text);
}

bool BindTextDomain(const char* domain, const std::string& folder) {
    return bindtextdomain(domain, folder.c_str()) != nullptr &&
           bind_textdomain_codeset(domain, "UTF-8") != nullptr;
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
    for (const char* file : {"/etc/default/locale", "/etc/locale.conf"}) {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        if (std::string language = LanguageFromLocaleFile(text.str()); !language.empty())
            return language;
    }
    return {};
}

std::string ProgramFile() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : program.string();
}

std::string ProgramFolder() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return std::filesystem::current_path(error).string();
    return program.parent_path().string();
}

std::vector<std::string> CatalogueFolders(const std::string& programFolder) {
    const std::filesystem::path installed =
        std::filesystem::path(programFolder) / MORVELPLINT_LOCALE_FROM_PROGRAM;
    return {programFolder + "/locale", installed.lexically_normal().string()};
}

std::string InitMessages(const std::vector<std::string>& domains,
                         const std::vector<std::string>& folders, const std::string& language) {
    // Bound even when no folder exists, so that gettext never falls back on a catalogue of
    // the same name in the system's own locale folder.
    std::string bound = folders.empty() ? std::string() : folders.front();
    for (const std::string& folder : folders) {
        std::error_code error;
        if (std::filesystem::is_directory(folder, error)) {
            bound = folder;
            break;
        }
    }
    for (const std::string& domain : domains)
        if (!bound.empty())
            BindTextDomain(domain.c_str(), bound);

    // LANGUAGE outranks every locale variable in gettext, so the language chosen here holds
    // whatever else the environment says.
    const std::string name = LanguageAndCountry(language);
    const bool untranslated = name.empty() || name == "C" || name == "POSIX";
    ::setenv("LANGUAGE", untranslated ? "C" : language.c_str(), 1);

    // glibc's gettext ignores LANGUAGE while the messages locale is plain "C". It stays "C"
    // when the user's locale is not generated on this machine (setlocale fails), so a locale
    // that is always there takes its place for the messages category alone.
    if (IsPlainC(std::setlocale(LC_MESSAGES, nullptr)))
        for (const char* fallback : {"C.UTF-8", "C.utf8", "en_US.UTF-8"})
            if (std::setlocale(LC_MESSAGES, fallback))
                break;

    // Setting the domain also tells gettext to forget the texts it looked up before.
    textdomain(DefaultDomain);
    return bound;
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
