#include "platform/Console.h"

#include <cstdarg>
#include <cstdio>

namespace platform {

namespace {
const char* gProgramName = "morvelplint";
}

void SetProgramName(const char* name) {
    gProgramName = name;
}

void Complain(const char* format, ...) {
    std::fprintf(stderr, "%s: ", gProgramName);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}

} // namespace platform
