#include "web/QrCode.h"

#ifdef MORVELPLINT_QRENCODE
#include <qrencode.h>
#endif

namespace web {

namespace {

constexpr int QuietZone = 4;

} // namespace

std::vector<std::vector<bool>> QrModules(const std::string& text) {
    std::vector<std::vector<bool>> modules;
#ifdef MORVELPLINT_QRENCODE
    QRcode* code = QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M);
    if (!code)
        return modules;
    const int width = code->width;
    modules.assign(static_cast<std::size_t>(width), std::vector<bool>(width, false));
    for (int y = 0; y < width; ++y)
        for (int x = 0; x < width; ++x)
            modules[y][x] = (code->data[y * width + x] & 1) != 0;
    QRcode_free(code);
#else
    (void)text;
#endif
    return modules;
}

std::string QrTerminal(const std::string& text) {
    const auto modules = QrModules(text);
    if (modules.empty())
        return {};
    const int width = static_cast<int>(modules.size());
    const int side = width + 2 * QuietZone;
    const auto light = [&](int x, int y) {
        x -= QuietZone;
        y -= QuietZone;
        return x < 0 || y < 0 || x >= width || y >= width || !modules[y][x];
    };
    std::string out;
    for (int y = 0; y < side; y += 2) {
        for (int x = 0; x < side; ++x) {
            const bool top = light(x, y);
            const bool bottom = y + 1 >= side || light(x, y + 1);
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        out += '\n';
    }
    return out;
}

std::string QrSvg(const std::string& text) {
    const auto modules = QrModules(text);
    if (modules.empty())
        return {};
    const int width = static_cast<int>(modules.size());
    const std::string side = std::to_string(width + 2 * QuietZone);
    std::string path;
    for (int y = 0; y < width; ++y)
        for (int x = 0; x < width; ++x)
            if (modules[y][x])
                path += "M" + std::to_string(x + QuietZone) + "," + std::to_string(y + QuietZone) +
                        "h1v1h-1z";
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + side + " " + side +
           "\" width=\"" + std::to_string((width + 2 * QuietZone) * 8) + "\" height=\"" +
           std::to_string((width + 2 * QuietZone) * 8) +
           "\" shape-rendering=\"crispEdges\"><rect width=\"100%\" height=\"100%\" "
           "fill=\"#fff\"/><path fill=\"#000\" d=\"" +
           path + "\"/></svg>\n";
}

} // namespace web
