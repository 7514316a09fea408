// A stand-in for inpoutx64.dll with the same three functions, built for the tests: it keeps
// every write and answers every read with a value the test chooses, so that the tests see
// exactly which calls the program makes. It touches no port.
#include <windows.h>

namespace {

constexpr int MostCalls = 64;
short gPorts[MostCalls];
short gValues[MostCalls];
int gCount = 0;
short gInput = 0;
int gOpen = 1;

} // namespace

extern "C" {

__declspec(dllexport) void __stdcall Out32(short port, short data) {
    if (gCount < MostCalls) {
        gPorts[gCount] = port;
        gValues[gCount] = data;
        ++gCount;
    }
}

__declspec(dllexport) short __stdcall Inp32(short port) {
    Out32(port, -1); // a read is kept as a write of -1
    return gInput;
}

__declspec(dllexport) BOOL __stdcall IsInpOutDriverOpen() {
    return gOpen;
}

// The test's own side.
__declspec(dllexport) int StandInCalls(short* ports, short* values, int most) {
    const int count = gCount < most ? gCount : most;
    for (int i = 0; i < count; ++i) {
        ports[i] = gPorts[i];
        values[i] = gValues[i];
    }
    return count;
}

__declspec(dllexport) void StandInSetInput(short value) {
    gInput = value;
}

} // extern "C"
