#include "web/Commands.h"

#include "cards/PageActions.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <utility>

namespace web {

namespace {

using cards::TPage;
using nlohmann::json;

constexpr std::array<std::pair<TPage, const char*>, 8> PageKeys{{
    {TPage::Intro, "intro"},
    {TPage::Sck, "sck"},
    {TPage::Pck, "pck"},
    {TPage::Slk, "slk"},
    {TPage::Xbk, "xbk"},
    {TPage::Bk3, "bk3"},
    {TPage::LkkEvl, "lkk"},
    {TPage::Iok, "iok"},
}};

// A field of a tool's action and its range.
struct TField {
    const char* Name;
    int Minimum;
    int Maximum;
    int TCommand::*Into;
};

constexpr TField None{nullptr, 0, 0, nullptr};

bool Int(const json& object, const char* name, int minimum, int maximum, int& value,
         std::string& error) {
    const auto field = object.find(name);
    if (field == object.end() || !field->is_number_integer()) {
        error = std::string("\"") + name + "\" is missing or no whole number";
        return false;
    }
    const auto number = field->get<long long>();
    if (number < minimum || number > maximum) {
        error = std::string("\"") + name + "\" is out of its range";
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

bool Bool(const json& object, const char* name, bool& value, std::string& error) {
    const auto field = object.find(name);
    if (field == object.end() || !field->is_boolean()) {
        error = std::string("\"") + name + "\" is missing or not true or false";
        return false;
    }
    value = field->get<bool>();
    return true;
}

bool String(const json& object, const char* name, std::string& value, std::string& error);

bool ParseSettings(const json& object, TCommand& command, std::string& error) {
    const auto field = object.find("settings");
    if (field == object.end() || !field->is_object()) {
        error = "\"settings\" is missing";
        return false;
    }
    const json& s = *field;
    bus::TSettings& settings = command.Settings;
    return Bool(s, "parallel", settings.Parallel, error) &&
           String(s, "port", command.Port, error) &&
           Int(s, "clock", 0, 4, settings.ClockIndex, error) &&
           Bool(s, "kortsluitStop", settings.KortsluitStop, error) &&
           Bool(s, "timeOut", settings.TimeOut, error) &&
           Bool(s, "kortsluitMelding", settings.KorsluitMelding, error) &&
           Bool(s, "baud19200", settings.Baudrate19200, error) &&
           Bool(s, "testen", settings.Testen, error) &&
           Int(s, "testTijd", bus::TestTijdMin, bus::TestTijdMax, settings.TestTijd, error);
}

// An action's "do", which names it.
bool TakeDo(const json& object, TCommand& command, std::string& error) {
    const auto doField = object.find("do");
    if (doField == object.end() || !doField->is_string()) {
        error = "\"do\" is missing";
        return false;
    }
    command.Do = doField->get<std::string>();
    return true;
}

// A tool action's numbers, each within its range, and its "ticked" when it takes one.
bool TakeFields(const json& object, const std::array<TField, 2>& fields, bool ticked,
                TCommand& command, std::string& error) {
    for (const TField& field : fields)
        if (field.Name &&
            !Int(object, field.Name, field.Minimum, field.Maximum, command.*field.Into, error))
            return false;
    return !ticked || Bool(object, "ticked", command.Ticked, error);
}

// A card page's action, as the page actions' table has it: its numbers and its "ticked".
bool TakePageFields(const json& object, const cards::TPageAction& action, TCommand& command,
                    std::string& error) {
    cards::TActionArgs args;
    for (const cards::TActionField& field : action.Fields)
        if (field.Name && !Int(object, field.Name, field.Minimum, field.Maximum, args.*field.Into,
                               error))
            return false;
    if (action.Ticked && !Bool(object, "ticked", args.Ticked, error))
        return false;
    command.Index = args.Index;
    command.Value = args.Value;
    command.Ticked = args.Ticked;
    return true;
}

// The tools' actions and what each takes beyond "do".
struct TToolAction {
    TCommand::TKind Kind;
    const char* Do;
    std::array<TField, 2> Fields;
    bool Ticked;
    bool ForWatchers;
};

using K = TCommand::TKind;
constexpr std::array<TToolAction, 17> ToolActions{{
    {K::Monitor, "watch", {{None, None}}, true, true},
    {K::Monitor, "filter", {{None, None}}, false, true},
    {K::Monitor, "freeze", {{None, None}}, true, true},
    {K::Monitor, "clear", {{None, None}}, false, false},
    {K::Monitor, "note", {{None, None}}, false, false},
    {K::Rack, "watch", {{None, None}}, true, true},
    {K::Rack, "silent", {{{"place", 0, 63, &TCommand::Index}, None}}, true, false},
    {K::Rack, "short", {{{"place", 0, 63, &TCommand::Index}, None}}, true, false},
    {K::Rack,
     "stuck",
     {{{"place", 0, 63, &TCommand::Index}, {"pin", 1, 16, &TCommand::Value}}},
     false,
     false},
    {K::Rack, "input", {{{"pin", 1, 16, &TCommand::Value}, None}}, false, false},
    {K::Rack, "serial", {{None, None}}, false, false},
    {K::Rack, "hangUp", {{None, None}}, false, false},
    {K::Rack, "newCard", {{None, None}}, false, false},
    {K::Diag, "choice", {{None, None}}, false, false},
    {K::Diag, "start", {{None, None}}, false, false},
    {K::Diag, "stop", {{None, None}}, false, false},
    {K::Diag, "reset", {{None, None}}, false, false},
}};

bool Choice(const std::string& text, std::initializer_list<const char*> names, int& value,
            const char* name, std::string& error) {
    int index = 0;
    for (const char* known : names) {
        if (text == known) {
            value = index;
            return true;
        }
        ++index;
    }
    error = std::string("\"") + name + "\" is none of its choices";
    return false;
}

bool String(const json& object, const char* name, std::string& value, std::string& error) {
    const auto field = object.find(name);
    if (field == object.end() || !field->is_string()) {
        error = std::string("\"") + name + "\" is missing or no text";
        return false;
    }
    value = field->get<std::string>();
    return true;
}

bool ParseFilter(const json& object, bus::TCaptureFilter& filter, std::string& error) {
    return Bool(object, "address", filter.Address, error) &&
           Bool(object, "data", filter.Data, error) &&
           Bool(object, "latchAddress", filter.LatchAddress, error) &&
           Bool(object, "latchData", filter.LatchData, error) &&
           Bool(object, "other", filter.Other, error) &&
           Int(object, "place", -1, 63, filter.Place, error) &&
           Bool(object, "problems", filter.ProblemsOnly, error);
}

bool ParseChoice(const json& object, diag::TRunChoice& choice, std::string& error) {
    int seed = 0;
    int count = 0;
    int maxErrors = 0;
    int end = 0;
    int onError = 0;
    std::string endText;
    std::string onErrorText;
    const auto patterns = object.find("patterns");
    if (patterns == object.end() || !patterns->is_array() ||
        patterns->size() != choice.Patterns.size()) {
        error = "\"patterns\" is missing or not five of true or false";
        return false;
    }
    for (std::size_t i = 0; i < choice.Patterns.size(); ++i) {
        if (!(*patterns)[i].is_boolean()) {
            error = "\"patterns\" is missing or not five of true or false";
            return false;
        }
        choice.Patterns[i] = (*patterns)[i].get<bool>();
    }
    if (!(Bool(object, "scan", choice.Scan, error) &&
          Int(object, "place", 0, 63, choice.Place, error) &&
          Bool(object, "inverted", choice.Inverted, error) &&
          Int(object, "seed", 0, 1'000'000'000, seed, error) &&
          String(object, "end", endText, error) &&
          Choice(endText, {"cycles", "seconds", "untilStop"}, end, "end", error) &&
          Int(object, "count", 1, 1'000'000'000, count, error) &&
          String(object, "onError", onErrorText, error) &&
          Choice(onErrorText, {"count", "stopAtFirst", "stopAfter"}, onError, "onError", error) &&
          Int(object, "maxErrors", 1, 1'000'000, maxErrors, error)))
        return false;
    if (!choice.Scan && std::find(choice.Patterns.begin(), choice.Patterns.end(), true) ==
                            choice.Patterns.end()) {
        error = "no pattern chosen";
        return false;
    }
    choice.Seed = static_cast<std::uint32_t>(seed);
    choice.Count = static_cast<std::uint64_t>(count);
    choice.MaxErrors = static_cast<std::uint64_t>(maxErrors);
    choice.End = static_cast<diag::TRunChoice::TEnd>(end);
    choice.OnError = static_cast<diag::TRunChoice::TOnError>(onError);
    return true;
}

std::optional<TCommand> ParseTool(const json& object, TCommand command, std::string& error) {
    if (command.Kind == K::Report)
        return command;
    if (!TakeDo(object, command, error))
        return std::nullopt;
    for (const TToolAction& action : ToolActions) {
        if (action.Kind != command.Kind || command.Do != action.Do)
            continue;
        if (!TakeFields(object, action.Fields, action.Ticked, command, error))
            return std::nullopt;
        if (command.Kind == K::Monitor && command.Do == "filter" &&
            !ParseFilter(object, command.Filter, error))
            return std::nullopt;
        if (command.Kind == K::Monitor && command.Do == "note") {
            if (!String(object, "text", command.Text, error))
                return std::nullopt;
            if (command.Text.size() > MaxNote) {
                error = "the note is too long";
                return std::nullopt;
            }
        }
        // A stuck input's level: -1 works, 0 or 1 stuck there.
        if (command.Kind == K::Rack && command.Do == "stuck" &&
            !Int(object, "level", -1, 1, command.Level, error))
            return std::nullopt;
        if (command.Kind == K::Rack && command.Do == "serial" &&
            !(Bool(object, "silent", command.Ticked, error) &&
              Bool(object, "garbage", command.Garbage, error)))
            return std::nullopt;
        if (command.Kind == K::Diag && (command.Do == "start" || command.Do == "choice") &&
            !ParseChoice(object, command.Choice, error))
            return std::nullopt;
        return command;
    }
    error = "unknown action \"" + command.Do + "\"";
    return std::nullopt;
}

} // namespace

bool ForWatchers(const TCommand& command) {
    switch (command.Kind) {
    case K::Ping:
    case K::TakeOver:
    case K::Report:
        return true;
    case K::Monitor:
    case K::Rack:
        for (const TToolAction& action : ToolActions)
            if (action.Kind == command.Kind && command.Do == action.Do)
                return action.ForWatchers;
        return false;
    default:
        return false;
    }
}

bool IsToolTab(std::string_view key) {
    for (const char* tool : {"monitor", "rek", "diagnose", "help", "over"})
        if (key == tool)
            return true;
    return false;
}

const char* PageKey(TPage page) {
    for (const auto& [known, key] : PageKeys)
        if (known == page)
            return key;
    return "intro";
}

std::optional<TPage> PageOfKey(std::string_view key) {
    for (const auto& [page, known] : PageKeys)
        if (key == known)
            return page;
    return std::nullopt;
}

std::optional<TCommand> ParseCommand(std::string_view text, std::string& error) {
    if (text.size() > MaxCommand) {
        error = "the command is too long";
        return std::nullopt;
    }
    const json object = json::parse(text, nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        error = "the command is no JSON object";
        return std::nullopt;
    }
    const auto cmd = object.find("cmd");
    if (cmd == object.end() || !cmd->is_string()) {
        error = "\"cmd\" is missing";
        return std::nullopt;
    }
    const std::string name = cmd->get<std::string>();
    TCommand command;
    static const std::array<std::pair<const char*, K>, 4> tools{{
        {"monitor", K::Monitor},
        {"rack", K::Rack},
        {"diag", K::Diag},
        {"report", K::Report},
    }};
    for (const auto& [known, kind] : tools) {
        if (name != known)
            continue;
        command.Kind = kind;
        return ParseTool(object, command, error);
    }
    static const std::array<std::pair<const char*, K>, 10> plain{{
        {"connect", K::Connect},
        {"cancel", K::Cancel},
        {"ledUit", K::LedUit},
        {"settingsLeft", K::SettingsLeft},
        {"loadSettings", K::LoadSettings},
        {"saveSettings", K::SaveSettings},
        {"refreshPorts", K::RefreshPorts},
        {"ping", K::Ping},
        {"takeOver", K::TakeOver},
        {"settings", K::Settings},
    }};
    for (const auto& [known, kind] : plain) {
        if (name != known)
            continue;
        command.Kind = kind;
        if (kind == K::Settings && !ParseSettings(object, command, error))
            return std::nullopt;
        return command;
    }
    if (name != "show" && name != "page") {
        error = "unknown command \"" + name + "\"";
        return std::nullopt;
    }
    const auto pageField = object.find("page");
    const std::string key =
        pageField != object.end() && pageField->is_string() ? pageField->get<std::string>() : "";
    const auto page = PageOfKey(key);
    if (name == "show" && !page && (key == SettingsTab || IsToolTab(key))) {
        command.Kind = K::Show;
        command.Tab = key;
        return command;
    }
    if (!page) {
        error = "unknown page";
        return std::nullopt;
    }
    command.Page = *page;
    if (name == "show") {
        command.Kind = K::Show;
        command.Tab = key;
        return command;
    }
    command.Kind = K::Page;
    if (!TakeDo(object, command, error))
        return std::nullopt;
    const cards::TPageAction* action = cards::FindPageAction(command.Page, command.Do);
    if (!action) {
        error = "unknown action \"" + command.Do + "\"";
        return std::nullopt;
    }
    if (!TakePageFields(object, *action, command, error))
        return std::nullopt;
    return command;
}

} // namespace web
