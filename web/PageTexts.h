#pragma once

#include <string>

namespace web {

// The page's own texts beyond the desktop's words (who drives, the connection), as a JSON
// object from each Dutch text to the user's language, for the page to show.
std::string PageTextsJson();

} // namespace web
