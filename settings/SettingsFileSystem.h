#pragma once

// What the settings file's reader needs from the file system, in the platform's own file.
#include <string>

namespace bus {

// The file a path leads to through its symbolic links; empty when it leads nowhere.
std::string ResolvedPath(const std::string& path);

} // namespace bus
