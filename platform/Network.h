#pragma once

#include <string>
#include <vector>

namespace platform {

// The machine's own IPv4 addresses on interfaces that are up, the loopback left out: where a
// server listening on every address can be reached from the network.
std::vector<std::string> LocalAddresses();

// Opens `url` in the user's browser; false when no browser could be started.
bool OpenInBrowser(const std::string& url);

} // namespace platform
