#pragma once

#include <string>

namespace web {

// The tokens of morvelplint-web off the loopback, kept across starts so that a printed
// address, a bookmark or a note at the rack goes on working: made at the first start, in a
// file only its owner may read (mode 0600 on Linux; on Windows in the user's own Documents).
inline constexpr const char* KeyFileName = "Morvelplint.key";

struct TKeyFile {
    bool Ok = false;
    bool Made = false; // a new pair, written now
    std::string Token;
    std::string ViewToken;
    std::string Error; // why the file is refused, naming it
};

// Where the key file lives: the current folder; on Windows the user's Documents\Morvelplint,
// made when missing.
std::string KeyFolder();

// The tokens from the key file at `path`, a new pair written there when there is none or when
// `fresh` (--new-key) asks for one. A file that cannot be read, holds anything but the two
// tokens, or (on Linux) may be read by others is refused, and never replaced but with `fresh`.
TKeyFile LoadKeyFile(const std::string& path, bool fresh);

} // namespace web
