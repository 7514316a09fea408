#pragma once

#include "serial/ComBackend.h"

#include <termios.h>

namespace serial {

// Sets the line of `settings` to what `dcb` describes: raw bytes, speed, framing, flow
// control and the XON/XOFF characters. False when the line cannot do it (a speed termios has
// no name for, or a setting without a counterpart on this platform).
bool MakeTermios(const TDcb& dcb, termios& settings);

} // namespace serial
