#include "serial/PortNames.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace serial {

namespace {

TPortNameSource& Source() {
    static TPortNameSource source;
    return source;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

} // namespace

std::vector<std::string> EnumPortNames() {
    const TPortNameSource source = Source();
    std::vector<std::string> names = source ? source() : SystemPortNames();
    std::stable_sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

TPortNameSource SetPortNameSource(TPortNameSource source) {
    return std::exchange(Source(), std::move(source));
}

} // namespace serial
