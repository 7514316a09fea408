#pragma once

#include <string>
#include <vector>

namespace web {

// QR codes of the addresses (by libqrencode; a build without it, the Windows one, makes none).
// The modules of the code for `text`, dark true, row by row, without the quiet zone; empty
// when this build makes no codes or the text is too long for one.
std::vector<std::vector<bool>> QrModules(const std::string& text);

// The code for a terminal, in UTF-8 half blocks (two rows of modules a line), with its quiet
// zone. A terminal or a journal shows light text on a dark ground, so the light modules are
// the blocks and the dark ones the blanks. Empty when there is no code.
std::string QrTerminal(const std::string& text);

// The code as an SVG image, black on white. Empty when there is no code.
std::string QrSvg(const std::string& text);

} // namespace web
