// Feeds arbitrary bytes to the parser of the browser page's commands, which every frame of a
// WebSocket reaches before any model sees it. Besides the sanitizers' findings it checks what
// the parser promises: a command it takes has its fields within their ranges, and a refusal
// says why. Findings become cases in tests/unit/WebTests.cpp.
#include "web/Commands.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto command = web::ParseCommand(text, error);
    if (!command) {
        Check(!error.empty());
        return 0;
    }
    Check(command->Index >= -1 && command->Index <= 64);
    Check(command->Value >= 0 && command->Value <= 127);
    if (command->Kind == web::TCommand::TKind::Settings) {
        Check(command->Settings.TestTijd >= bus::TestTijdMin &&
              command->Settings.TestTijd <= bus::TestTijdMax);
        Check(command->Settings.ClockIndex >= 0 && command->Settings.ClockIndex <= 4);
    }
    return 0;
}
