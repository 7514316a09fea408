#pragma once

// The parts of the message catalogues that the platform's own file provides, and what the
// shared part offers it.
#include <string>
#include <vector>

namespace platform {

// "nl_NL" of "nl_NL.UTF-8@euro".
std::string LanguageAndCountry(const std::string& localeName);

// The system-wide language setting as language_COUNTRY, for UserLanguage when no variable
// names one; empty when the system names none.
std::string SystemLanguage();

// The folder InitMessages binds the catalogues to: the first of `folders` that exists, or the
// first of them when none does; empty for no folders.
std::string FirstExistingFolder(const std::vector<std::string>& folders);

} // namespace platform
