#pragma once

#include <string>

namespace platform {

// Looks `text` up in the message catalogue of `domain` (GNU gettext) for the user's language.
// Without a catalogue, or without an entry for the text, the text itself comes back. The
// result stays valid for the rest of the run.
const char* Translate(const char* domain, const char* text);

// Makes gettext look for the catalogues of `domain` in `folder`, in the layout
// folder/<language>/LC_MESSAGES/<domain>.mo, and hand out their texts in UTF-8.
bool BindTextDomain(const char* domain, const std::string& folder);

} // namespace platform
