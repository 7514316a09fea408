#include "web/Commands.h"

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

// A field of an action and its range.
struct TField {
    const char* Name;
    int Minimum;
    int Maximum;
    int TCommand::*Into;
};

// The actions of each card page: the fields each one takes.
struct TAction {
    TPage Page;
    const char* Do;
    std::array<TField, 2> Fields;
    bool Ticked; // takes "ticked" (true or false)
};

constexpr TField None{nullptr, 0, 0, nullptr};

constexpr std::array<TAction, 28> Actions{{
    {TPage::Sck, "bit", {{{"bit", 0, 7, &TCommand::Index}, None}}, false},
    {TPage::Sck, "strobe", {{{"item", 0, 3, &TCommand::Index}, None}}, false},
    {TPage::Sck, "send", {{None, None}}, false},
    {TPage::Pck, "bit", {{{"bit", 0, 7, &TCommand::Index}, None}}, false},
    {TPage::Pck, "strobe", {{{"item", 0, 3, &TCommand::Index}, None}}, false},
    {TPage::Pck, "send", {{None, None}}, false},
    {TPage::Slk, "cardMode", {{None, None}}, false},
    {TPage::Slk, "rackMode", {{None, None}}, false},
    {TPage::Slk, "value", {{{"value", 0, 63, &TCommand::Value}, None}}, false},
    {TPage::Slk, "leaveButton", {{None, None}}, false},
    {TPage::Slk, "click", {{None, None}}, false},
    {TPage::Xbk,
     "address",
     {{{"group", 0, 2, &TCommand::Index}, {"value", 0, 127, &TCommand::Value}}},
     false},
    {TPage::Xbk, "section", {{{"section", 0, 11, &TCommand::Index}, None}}, true},
    {TPage::Xbk, "speed", {{{"position", 0, 15, &TCommand::Value}, None}}, false},
    {TPage::Xbk, "click", {{None, None}}, false},
    {TPage::Bk3, "address", {{{"value", 0, 63, &TCommand::Value}, None}}, false},
    {TPage::Bk3, "section", {{{"section", 0, 3, &TCommand::Index}, None}}, true},
    {TPage::Bk3, "speed", {{{"position", 0, 15, &TCommand::Value}, None}}, false},
    {TPage::Bk3, "click", {{None, None}}, false},
    {TPage::LkkEvl, "address", {{{"value", 0, 31, &TCommand::Value}, None}}, false},
    {TPage::LkkEvl, "evl", {{{"value", 0, 3, &TCommand::Value}, None}}, false},
    {TPage::LkkEvl, "pin", {{{"pin", 1, 64, &TCommand::Index}, None}}, false},
    {TPage::LkkEvl, "tester", {{None, None}}, true},
    {TPage::LkkEvl, "click", {{None, None}}, false},
    {TPage::Iok, "address", {{{"value", 0, 63, &TCommand::Value}, None}}, false},
    {TPage::Iok, "output", {{{"pin", 1, 16, &TCommand::Index}, None}}, false},
    {TPage::Iok, "testen", {{None, None}}, true},
    {TPage::Iok, "click", {{None, None}}, false},
}};

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

bool ParseSettings(const json& object, bus::TSettings& settings, std::string& error) {
    const auto field = object.find("settings");
    if (field == object.end() || !field->is_object()) {
        error = "\"settings\" is missing";
        return false;
    }
    const json& s = *field;
    return Bool(s, "parallel", settings.Parallel, error) &&
           Int(s, "port", -1, 4095, settings.PortIndex, error) &&
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

// An action's numbers, each within its range, and its "ticked" when it takes one.
bool TakeFields(const json& object, const std::array<TField, 2>& fields, bool ticked,
                TCommand& command, std::string& error) {
    for (const TField& field : fields)
        if (field.Name &&
            !Int(object, field.Name, field.Minimum, field.Maximum, command.*field.Into, error))
            return false;
    return !ticked || Bool(object, "ticked", command.Ticked, error);
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
constexpr std::array<TToolAction, 16> ToolActions{{
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
        if (command.Kind == K::Diag && command.Do == "start" &&
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
    static const std::array<std::pair<const char*, K>, 7> plain{{
        {"connect", K::Connect},
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
        if (kind == K::Settings && !ParseSettings(object, command.Settings, error))
            return std::nullopt;
        return command;
    }
    if (name != "show" && name != "page") {
        error = "unknown command \"" + name + "\"";
        return std::nullopt;
    }
    const auto pageField = object.find("page");
    const auto page = pageField != object.end() && pageField->is_string()
                          ? PageOfKey(pageField->get<std::string>())
                          : std::nullopt;
    if (!page) {
        error = "unknown page";
        return std::nullopt;
    }
    command.Page = *page;
    if (name == "show") {
        command.Kind = K::Show;
        return command;
    }
    command.Kind = K::Page;
    if (!TakeDo(object, command, error))
        return std::nullopt;
    for (const TAction& action : Actions) {
        if (action.Page != command.Page || command.Do != action.Do)
            continue;
        if (!TakeFields(object, action.Fields, action.Ticked, command, error))
            return std::nullopt;
        return command;
    }
    error = "unknown action \"" + command.Do + "\"";
    return std::nullopt;
}

} // namespace web
