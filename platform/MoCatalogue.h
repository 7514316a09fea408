#pragma once

#include <map>
#include <string>
#include <string_view>

namespace platform {

// A compiled message catalogue (GNU gettext's .mo file, as msgfmt writes it) read into
// memory: for each original text its translation. Plural entries give their first form; the
// header entry (the empty original) is left out. Where no gettext library is at hand (the
// Windows build), the catalogue seam reads the program's catalogues with this.
class TMoCatalogue {
public:
    // Reads the file's bytes; false for bytes that are no catalogue (a wrong magic number,
    // a table or a text outside the file), which leaves the catalogue empty.
    bool Load(std::string_view bytes);
    // The translation of `original`, or nullptr when the catalogue has none. The pointer
    // stays valid as long as the catalogue does.
    const char* Find(std::string_view original) const;

    const std::map<std::string, std::string, std::less<>>& Entries() const { return mEntries; }

private:
    std::map<std::string, std::string, std::less<>> mEntries;
};

} // namespace platform
