#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace web {

// Who a request is: nobody (refused), a page that may watch, or one that may also drive.
enum class TRole { None, Viewer, Driver };

// How the server listens, as the access rules need it.
struct TAccessConfig {
    // Listening on the loopback address only (127.0.0.1, the default): no token, but the Host
    // must name the loopback, against DNS rebinding. On any other address the tokens guard it.
    bool Loopback = true;
    std::uint16_t Port = 8314;
    std::string Token;     // drive and watch; at least 128 random bits, made at each start
    std::string ViewToken; // watch only
};

// What the rules look at in a request. Empty for a header that is not there.
struct TRequest {
    std::string Method; // "GET", "POST", ...
    std::string Target; // "/", "/app.js?token=...", "/ws"
    std::string Host;
    std::string Origin;
    std::string Cookie;
    std::string ContentType;
    std::uint64_t ContentLength = 0;
    bool Upgrade = false; // a WebSocket upgrade
};

// The verdict: a status for a refused request (and nothing else happens), or the role of the
// page with the path it asks for; a cookie to set when the token came in the query.
struct TDecision {
    int Status = 200;
    TRole Role = TRole::None;
    std::string Path;      // the target without its query
    std::string SetCookie; // a Set-Cookie header's value, or empty
    bool Refused() const { return Status != 200; }
};

inline constexpr std::uint64_t MaxBody = 64 * 1024;
// The most pages at once (open WebSockets that passed these rules), connections from one
// address (its pages included) and HTTP connections in all.
inline constexpr int MaxPages = 16;
inline constexpr int MaxPerAddress = 24;
inline constexpr int MaxHttpConnections = 48;
inline constexpr const char* CookieName = "morvelplint";

// The access rules, in the order they are checked, each refusal with its status:
// - 400 a request without a Host or a target that is no absolute path;
// - 403 a Host that is not the loopback's (127.0.0.1 or localhost with the port) while
//   listening there;
// - 401 without a valid token (in the query as token= or view=, or in the cookie) while
//   listening elsewhere;
// - 403 a WebSocket upgrade, or a request that changes something (any method but GET and
//   HEAD), without the page's own Origin (http:// and the Host);
// - 413 a body over MaxBody; 415 a request that changes something and is not JSON;
// - 405 for any method but GET and HEAD, since every change goes through the WebSocket.
// The page's files and the WebSocket are then the server's to answer (404 for a path that is
// none of its files). Tokens are compared in constant time.
TDecision Check(const TRequest& request, const TAccessConfig& config);

// A random token of 128 bits, as 32 hexadecimal digits.
std::string MakeToken();

// Whether two strings are equal, taking the same time for every string of the same length.
bool SameToken(std::string_view a, std::string_view b);

// The value of `name` in a query string ("a=1&token=xyz") or a Cookie header ("a=1; b=2"),
// empty when it is not there.
std::string QueryValue(std::string_view query, std::string_view name);
std::string CookieValue(std::string_view cookie, std::string_view name);

} // namespace web
