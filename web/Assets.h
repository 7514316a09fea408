#pragma once

#include <cstddef>
#include <string_view>

namespace web {

// One of the page's own files, compiled into the program.
struct TAsset {
    std::string_view Path; // "/index.html", "/app.js", ...
    std::string_view Type; // its Content-Type
    std::string_view Bytes;
};

// The page's file at `path` ("/" is "/index.html"); nullptr for any other path.
const TAsset* FindAsset(std::string_view path);

} // namespace web
