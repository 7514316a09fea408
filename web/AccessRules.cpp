#include "web/AccessRules.h"

#include <algorithm>
#include <cctype>
#include <random>

namespace web {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The value of `name` in a list of name=value pairs split by `separator`.
std::string PairValue(std::string_view list, std::string_view name, char separator) {
    while (!list.empty()) {
        const std::size_t end = list.find(separator);
        const std::string_view pair = Trimmed(list.substr(0, end));
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name)
            return std::string(pair.substr(equals + 1));
        if (end == std::string_view::npos)
            break;
        list.remove_prefix(end + 1);
    }
    return {};
}

bool ChangesSomething(const TRequest& request) {
    return request.Method != "GET" && request.Method != "HEAD";
}

} // namespace

std::string QueryValue(std::string_view query, std::string_view name) {
    return PairValue(query, name, '&');
}

std::string CookieValue(std::string_view cookie, std::string_view name) {
    return PairValue(cookie, name, ';');
}

bool SameToken(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

std::string MakeToken() {
    std::random_device random;
    static constexpr char Digits[] = "0123456789abcdef";
    std::string token;
    for (int word = 0; word < 4; ++word) {
        const std::uint32_t bits = random();
        for (int shift = 28; shift >= 0; shift -= 4)
            token += Digits[(bits >> shift) & 0xF];
    }
    return token;
}

TDecision Check(const TRequest& request, const TAccessConfig& config) {
    TDecision decision;
    const auto refuse = [&decision](int status) {
        decision.Status = status;
        decision.Role = TRole::None;
        return decision;
    };
    if (request.Host.empty() || request.Target.empty() || request.Target.front() != '/')
        return refuse(400);
    const std::size_t question = request.Target.find('?');
    decision.Path = request.Target.substr(0, question);
    const std::string_view query = question == std::string::npos
                                       ? std::string_view()
                                       : std::string_view(request.Target).substr(question + 1);

    if (config.Loopback) {
        const std::string host = Lower(request.Host);
        const std::string port = ":" + std::to_string(config.Port);
        if (host != "127.0.0.1" + port && host != "localhost" + port)
            return refuse(403);
        decision.Role = TRole::Driver;
    } else {
        const std::string asked = QueryValue(query, "token");
        const std::string askedView = QueryValue(query, "view");
        const std::string kept = CookieValue(request.Cookie, CookieName);
        const auto is = [](const std::string& given, const std::string& token) {
            return !given.empty() && !token.empty() && SameToken(given, token);
        };
        if (is(asked, config.Token) || is(askedView, config.ViewToken)) {
            const bool drives = is(asked, config.Token);
            decision.Role = drives ? TRole::Driver : TRole::Viewer;
            decision.SetCookie = std::string(CookieName) + "=" +
                                 (drives ? config.Token : config.ViewToken) +
                                 "; HttpOnly; SameSite=Strict; Path=/";
        } else if (is(kept, config.Token)) {
            decision.Role = TRole::Driver;
        } else if (is(kept, config.ViewToken)) {
            decision.Role = TRole::Viewer;
        } else {
            return refuse(401);
        }
    }

    const bool changes = ChangesSomething(request);
    if ((request.Upgrade || changes) && request.Origin != "http://" + request.Host)
        return refuse(403);
    if (request.ContentLength > MaxBody)
        return refuse(413);
    if (changes) {
        const std::string type = Lower(request.ContentType);
        if (type != "application/json" && !type.starts_with("application/json;"))
            return refuse(415);
        return refuse(405);
    }
    return decision;
}

} // namespace web
