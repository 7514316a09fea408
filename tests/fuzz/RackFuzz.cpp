// Feeds arbitrary bytes to the rack file reader. Besides the sanitizers' findings it checks what
// the reader promises: a refusal is one message that names the file, and a rack it accepts has
// every place in 0 to 63 taken once, its faults within its own cards, and builds a rack.
// Findings become cases in tests/unit/RackFileTests.cpp.
#include "sim/RackFile.h"
#include "sim/SimRack.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

bool Within(const std::vector<int>& some, const std::vector<int>& all) {
    for (int place : some)
        if (std::find(all.begin(), all.end(), place) == all.end())
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const sim::TRackLoad load = sim::ReadRack(text, "rek.json");
    Check(load.Ok == load.Error.empty());
    if (!load.Ok) {
        Check(load.Error.rfind("rek.json", 0) == 0);
        Check(load.Error.find('\n') == std::string::npos);
        return 0;
    }
    std::array<bool, 64> taken{};
    for (const sim::TCardEntry& entry : load.Rack.Cards) {
        Check(!entry.Places.empty());
        for (int place : entry.Places) {
            Check(place >= 0 && place < 64 && !taken[static_cast<std::size_t>(place)]);
            taken[static_cast<std::size_t>(place)] = true;
        }
        Check(Within(entry.Faults.Silent, entry.Places) &&
              Within(entry.Faults.Short, entry.Places));
        for (const auto& stuck : entry.Faults.Stuck)
            Check(stuck.Input >= 0 && stuck.Input < 16);
        for (const auto& [a, b] : entry.Faults.Shorted)
            Check(a != b && a >= 0 && a < 16 && b >= 0 && b < 16);
        for (const auto& input : entry.Faults.Intermittent)
            Check(input.Input >= 0 && input.Input < 16 && input.Every >= 1);
    }
    sim::TSimRack rack(load.Rack, sim::TSimRack::TSerialLine::None);
    for (int place = 0; place < 64; ++place) {
        rack.Bus.ApplyWord(static_cast<std::uint8_t>(0x80 + place));
        rack.Bus.ApplyWord(0x7F);
    }
    rack.State();
    return 0;
}
