#include "platform/Messages.h"

#include <libintl.h>

namespace platform {

const char* Translate(const char* domain, const char* text) {
    return dgettext(domain, text);
}

bool BindTextDomain(const char* domain, const std::string& folder) {
    return bindtextdomain(domain, folder.c_str()) != nullptr &&
           bind_textdomain_codeset(domain, "UTF-8") != nullptr;
}

} // namespace platform
