#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

// What sits in a place of the rack.
enum class TCardKind { Test, Selection, TwoRail, ThreeRail, Latch, Io };

// The name of a kind in a rack file ("test", "two-rail", ...).
const char* KindName(TCardKind kind);

// An IO card input (its bit, 0 to 15) held at a level.
struct TStuckInput {
    int Input = 0;
    bool Level = false;
    bool operator==(const TStuckInput&) const = default;
};

// An IO card input (its bit) that reads wrong (inverted) on every `Every`th read of its nibble.
struct TIntermittentInput {
    int Input = 0;
    int Every = 1;
    bool operator==(const TIntermittentInput&) const = default;
};

// The faults a rack file gives to the cards of one entry.
struct TCardFaults {
    std::vector<int> Silent; // places whose card drives no feedback lines
    std::vector<int> Short;  // block cards: places whose card has a short circuit
    std::vector<TStuckInput> Stuck;
    std::vector<std::pair<int, int>> Shorted; // IO inputs (bits) wired together
    std::vector<TIntermittentInput> Intermittent;
    bool operator==(const TCardFaults&) const = default;
};

// One entry of a rack file: a card of one kind in each of its places; for block cards one line
// over the places, in the order given.
struct TCardEntry {
    TCardKind Kind = TCardKind::Test;
    std::vector<int> Places;
    int Lines = 0;                  // test: the feedback lines, 0 to 15
    bool Short = false;             // test: reports a short circuit
    bool Plug = true;               // io: the test plug is in
    std::uint32_t SectionMs = 1000; // block cards: a section at full speed
    TCardFaults Faults;
    bool operator==(const TCardEntry&) const = default;
};

struct TRackDescription {
    std::vector<TCardEntry> Cards;
    bool operator==(const TRackDescription&) const = default;
};

// The outcome of reading a rack file: the rack, or one message (in the user's language) that
// names the file, the place in it (line and column for a text that is not JSON, else the
// JSON path such as cards[2].place) and what is wrong.
struct TRackLoad {
    bool Ok = false;
    std::string Error;
    TRackDescription Rack;
};

// Reads the text of a rack file; `fileName` is the name the messages give it.
//
// The file is one JSON object with one key, "cards": a list of entries. Each entry has a
// "kind" (test, selection, two-rail, three-rail, latch, io) and either "place" (0 to 63) or
// "places" (a list of them); no place is taken twice. A test card has "lines" (0 to 15) and
// "short"; an io card "plug"; block cards "section_ms" (1 to 600000). "faults" may hold
// "silent" (true, or the places of the entry it applies to), for block cards "short" (the
// same), for io cards "stuck" ([{"input": n, "level": 0|1}]), "shorted" ([[a, b]]) and
// "intermittent" ([{"input": n, "every": k}]), an input named by its pin (1 to 16, as the
// IOK page and the diagnostics number them). Any other key is refused.
TRackLoad ReadRack(std::string_view text, const std::string& fileName);
// The same for a file on disk; a file that cannot be read is refused with the system's reason.
TRackLoad ReadRackFile(const std::string& path);

// The default rack: the text of resources/rack/default-rack.json, built in, and what it reads
// as.
std::string_view DefaultRackText();
const TRackDescription& DefaultRack();

// The file name of the default rack beside a program.
inline constexpr const char* DefaultRackFileName = "default-rack.json";
// Where a program in `programFolder` finds the default rack file: beside it (the build tree),
// then in share/morvelplint beside its bin folder (an installed tree).
std::vector<std::string> DefaultRackFiles(const std::string& programFolder);
// The first of those that exists; empty when none does.
std::string FindDefaultRackFile(const std::string& programFolder);

} // namespace sim
