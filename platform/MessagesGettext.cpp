// The message catalogues through the system's GNU gettext, and the running program's file
// from /proc.
#include "platform/Messages.h"
#include "platform/MessagesSystem.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <libintl.h>
#include <sstream>

namespace platform {

namespace {

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

std::string SystemLanguage() {
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

std::string InitMessages(const std::vector<std::string>& domains,
                         const std::vector<std::string>& folders, const std::string& language) {
    // Bound even when no folder exists, so that gettext never falls back on a catalogue of
    // the same name in the system's own locale folder.
    const std::string bound = FirstExistingFolder(folders);
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

} // namespace platform
