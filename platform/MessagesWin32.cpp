// The message catalogues on Windows: the program's compiled catalogues read by its own
// reader (no gettext library comes with the Windows build), the running program's file from
// the module's name.
#include "platform/Messages.h"
#include "platform/MessagesSystem.h"
#include "platform/MoCatalogue.h"
#include "platform/TextWin32.h"

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <windows.h>

namespace platform {

namespace {

struct TCatalogues {
    std::mutex Mutex;
    std::map<std::string, std::string> Folders; // by domain
    std::string Language;                       // language_COUNTRY; empty: untranslated
    std::map<std::string, const TMoCatalogue*> Current;
    // Every catalogue ever read stays, so that a text handed out stays valid for the run.
    std::deque<std::unique_ptr<TMoCatalogue>> Kept;
};

TCatalogues& Catalogues() {
    static TCatalogues catalogues;
    return catalogues;
}

// The catalogue of `domain` for the language, as gettext looks for it: the language with its
// country (nl_BE), then the language alone (nl). Called with the mutex held.
void Load(TCatalogues& catalogues, const std::string& domain) {
    catalogues.Current.erase(domain);
    const auto folder = catalogues.Folders.find(domain);
    if (folder == catalogues.Folders.end() || catalogues.Language.empty())
        return;
    std::vector<std::string> names{catalogues.Language};
    if (const auto underscore = catalogues.Language.find('_'); underscore != std::string::npos)
        names.push_back(catalogues.Language.substr(0, underscore));
    for (const std::string& name : names) {
        std::ifstream in(PathOf(folder->second) / PathOf(name) / "LC_MESSAGES" /
                             PathOf(domain + ".mo"),
                         std::ios::binary);
        if (!in)
            continue;
        std::ostringstream bytes;
        bytes << in.rdbuf();
        auto catalogue = std::make_unique<TMoCatalogue>();
        if (!catalogue->Load(bytes.str()))
            continue;
        catalogues.Current[domain] = catalogue.get();
        catalogues.Kept.push_back(std::move(catalogue));
        return;
    }
}

} // namespace

const char* Translate(const char* domain, const char* text) {
    TCatalogues& catalogues = Catalogues();
    std::lock_guard lock(catalogues.Mutex);
    const auto current = catalogues.Current.find(domain);
    if (current == catalogues.Current.end())
        return text;
    const char* translation = current->second->Find(text);
    return translation ? translation : text;
}

bool BindTextDomain(const char* domain, const std::string& folder) {
    TCatalogues& catalogues = Catalogues();
    std::lock_guard lock(catalogues.Mutex);
    catalogues.Folders[domain] = folder;
    Load(catalogues, domain);
    return true;
}

std::string InitMessages(const std::vector<std::string>& domains,
                         const std::vector<std::string>& folders, const std::string& language) {
    const std::string bound = FirstExistingFolder(folders);
    const std::string name = LanguageAndCountry(language);
    TCatalogues& catalogues = Catalogues();
    std::lock_guard lock(catalogues.Mutex);
    catalogues.Language = name == "C" || name == "POSIX" ? std::string() : name;
    for (const std::string& domain : domains)
        if (!bound.empty())
            catalogues.Folders[domain] = bound;
    for (const auto& [domain, folder] : catalogues.Folders)
        Load(catalogues, domain);
    return bound;
}

// The user's display language in the system's settings ("nl-NL"), as nl_NL.
std::string SystemLanguage() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH];
    if (::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0)
        return {};
    std::string language = Utf8(name);
    for (char& c : language)
        if (c == '-')
            c = '_';
    return language;
}

std::string ProgramFile() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return Utf8(path);
        }
        path.resize(path.size() * 2);
    }
}

std::string ProgramFolder() {
    const std::string file = ProgramFile();
    if (file.empty()) {
        std::error_code error;
        return std::filesystem::current_path(error).string();
    }
    return file.substr(0, file.find_last_of("\\/"));
}

} // namespace platform
