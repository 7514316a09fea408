#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The domain of the program's own texts; they are written in Dutch and that text is the key.
inline constexpr const char* DefaultDomain = "default";

// Looks `text` up in the message catalogue of `domain` (GNU gettext) for the user's language.
// Without a catalogue, or without an entry for the text, the text itself comes back. The
// result stays valid for the rest of the run.
const char* Translate(const char* domain, const char* text);

// One of the program's own texts in the user's language. The compiler checks a translated
// printf format against its arguments as it checks the format as written.
__attribute__((format_arg(1))) inline const char* Tr(const char* text) {
    return Translate(DefaultDomain, text);
}

// A printf format filled in, for the translated texts of the Qt-free code.
__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...);

// A text with Qt's numbered places (%1 to %9) filled in, as the windows fill the same
// translated texts: each place by its value, in whatever order the translation has them.
std::string Args(std::string_view text, const std::vector<std::string>& values);

// Marks a text for the catalogue where it is written down; it is translated (with Tr) where
// it is shown.
constexpr const char* TrMark(const char* text) {
    return text;
}

// Makes gettext look for the catalogues of `domain` in `folder`, in the layout
// folder/<language>/LC_MESSAGES/<domain>.mo, and hand out their texts in UTF-8.
bool BindTextDomain(const char* domain, const std::string& folder);

// The language to translate into: LANG, or when LANG is empty the system's locale as
// language_COUNTRY (LC_ALL, LC_MESSAGES, then the system-wide locale file). Empty when
// nothing names one.
std::string UserLanguage();

// The LANG value of a system locale file (/etc/default/locale, /etc/locale.conf), as
// language_COUNTRY; empty when the text sets no LANG.
std::string LanguageFromLocaleFile(const std::string& text);

// The folder that holds the running program.
std::string ProgramFolder();

// The running program's file (what `setcap` is given), or empty when it cannot be found.
std::string ProgramFile();

// Where a program in `programFolder` looks for its message catalogues: the "locale" folder
// beside it (where the build puts the programs), then share/morvelplint/locale beside the
// bin folder that holds it (an installed tree, in any prefix and wherever it is moved to).
std::vector<std::string> CatalogueFolders(const std::string& programFolder);

// Initialises the catalogues: binds each of `domains` to the first of `folders` that exists
// and makes gettext translate into `language` ("C" or empty: no translation). This works
// whether or not a locale for that language is generated on the machine. May be called
// again; later look-ups follow the latest call. Returns the folder bound, or empty.
std::string InitMessages(const std::vector<std::string>& domains,
                         const std::vector<std::string>& folders, const std::string& language);

} // namespace platform
