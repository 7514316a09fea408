#pragma once

#include "capture/CaptureRows.h"
#include "cards/CardModel.h"
#include "diag/RunView.h"
#include "settings/SettingsFile.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace web {

// One of the page's commands, checked before any model sees it: one small JSON object an
// action, {"cmd": "page", "page": "sck", "do": "bit", "bit": 3} and the like.
struct TCommand {
    enum class TKind {
        Show,         // the tab the user looks at: {"cmd": "show", "page": "slk"}
        Page,         // an action on a card page: "do" and its fields
        Settings,     // the settings as the page's controls hold them: "settings": {...}
        Connect,      // OK: the set-up for the settings, armed once
        Cancel,       // Cancel: "LED uit" off
        LedUit,       // "LED uit": the serial port closed
        SettingsLeft, // the settings page is no longer what the user works in (hidden)
        LoadSettings, // Morvelplint.ini from the server's folder
        SaveSettings,
        RefreshPorts,
        Ping,     // the driving page's heartbeat
        TakeOver, // "Overnemen"
        // The tools, each with its "do": {"cmd": "monitor", "do": "freeze", "ticked": true}
        Monitor, // watch, filter, freeze (any page); clear, note (the driving page)
        Rack,    // watch (any page); the faults of the simulated rack (the driving page)
        Diag,    // choice, start, stop, reset: the card diagnostics' form and run
        Report,  // the settings report for printing, to the page that asks
    };
    TKind Kind = TKind::Ping;
    cards::TPage Page = cards::TPage::Intro;
    // The tab a "show" names: a card page's key, or "instellingen", "monitor", "rek",
    // "diagnose", "help", "over".
    std::string Tab;
    std::string Do; // the action of a card page
    int Index = 0;  // a bit, strobe item, group, section or pin
    int Value = 0;  // an address, rack, EVL, speed position
    bool Ticked = false;
    int Level = 0;        // a stuck input: -1 works again, 0 or 1 stuck there
    bool Garbage = false; // the serial card's bytes of nonsense after each answer
    std::string Text;     // a note
    bus::TSettings Settings;
    std::string Port; // the port the settings choose, by its value; empty for none
    bus::TCaptureFilter Filter;
    diag::TRunChoice Choice;
};

// The longest note taken into the recording.
inline constexpr std::size_t MaxNote = 500;

// Whether a page that only watches may send the command: what changes nothing but its own
// view (the monitor's rows, the rack view, the report to print).
bool ForWatchers(const TCommand& command);

// A file the page downloads: its status (200, or 404 for one there is none of), type, name
// and bytes: whole in Body, or made as it is sent by Parts, which appends the next part to its
// argument and says whether more follow (called on neither the bus's thread nor the server's,
// one call at a time).
struct TDownload {
    int Status = 404;
    std::string Type = "text/plain; charset=utf-8";
    std::string FileName;
    std::string Body = "not found\n";
    std::function<bool(std::string&)> Parts;
};

// The largest command taken; the server refuses longer frames before they are read.
inline constexpr std::size_t MaxCommand = 64 * 1024;

// Parses one command: nothing, with the reason, for a text that is not JSON, an unknown
// command, page or action, or a field that is missing, of the wrong type or out of its range.
std::optional<TCommand> ParseCommand(std::string_view text, std::string& error);

// The page's key in commands and in the state ("sck", "pck", "slk", "xbk", "bk3", "lkk", "iok",
// "intro"), and back.
const char* PageKey(cards::TPage page);
std::optional<cards::TPage> PageOfKey(std::string_view key);
// The tabs beside the pages: the settings and the tools.
inline constexpr const char* SettingsTab = "instellingen";
bool IsToolTab(std::string_view key);

} // namespace web
