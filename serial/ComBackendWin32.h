#pragma once

#include "serial/ComBackend.h"

#include <string>
#include <windows.h>

namespace serial {

// The Win32 device control block of `dcb`: every field carried over as it is (Windows has a
// counterpart for each), DCBlength set, and the reserved fields of `base` (what GetCommState
// read) kept. False for a block Windows would refuse: a byte size outside 5 to 8, a parity
// above 4, stop bits above 2, 1.5 stop bits with more than 5 data bits, 2 with 5.
bool MakeWin32Dcb(const TDcb& dcb, const DCB& base, DCB& result);

// The time limits as COMMTIMEOUTS; the record is the same, field for field.
COMMTIMEOUTS MakeWin32Timeouts(const TCommTimeouts& timeouts);

// The Win32 device path of a port name: COM1 to COM9 and the two-digit and longer numbers
// alike (CreateFile knows COM10 and above only under \\.\), a name that already is a device
// path as it is.
std::wstring Win32DevicePath(const std::string& port);

} // namespace serial
