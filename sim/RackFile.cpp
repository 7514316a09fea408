#include "sim/RackFile.h"

#include "bus/CardWords.h"
#include "platform/Messages.h"
#include "sim/TrainBus.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <nlohmann/json.hpp>

namespace sim {

namespace {

using platform::Tr;
using platform::TrMark;
using TJson = nlohmann::json;

constexpr std::array<std::pair<TCardKind, const char*>, 6> Kinds{{
    {TCardKind::Test, "test"},
    {TCardKind::Selection, "selection"},
    {TCardKind::TwoRail, "two-rail"},
    {TCardKind::ThreeRail, "three-rail"},
    {TCardKind::Latch, "latch"},
    {TCardKind::Io, "io"},
}};

constexpr std::uint32_t MaxSectionMs = 600000;

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, arguments);
    va_end(arguments);
    return text;
}

// A value as the file has it, for a message: JSON's own spelling keeps a text with line
// breaks or quotes on one line.
std::string Shown(const TJson& value) {
    return value.dump(-1, ' ', false, TJson::error_handler_t::replace);
}

// A key as a JSON path shows it: a plain name as it is, any other as its JSON string, so that
// no control character reaches the one-line message.
std::string ShownKey(const std::string& key) {
    const bool plain = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
    return plain ? key : Shown(TJson(key));
}

// What is wrong, at a JSON path.
struct TRefusal {
    std::string Path;
    std::string What;
};

[[noreturn]] void Refuse(const std::string& path, std::string what) {
    throw TRefusal{path, std::move(what)};
}

std::string Joined(std::initializer_list<const char*> keys) {
    std::string text;
    for (const char* key : keys)
        text += (text.empty() ? "" : ", ") + std::string(key);
    return text;
}

// Refuses every key of `object` that is not one of `allowed`.
void OnlyKeys(const TJson& object, const std::string& path,
              std::initializer_list<const char*> allowed) {
    for (const auto& item : object.items()) {
        const std::string& key = item.key();
        if (std::none_of(allowed.begin(), allowed.end(),
                         [&](const char* name) { return key == name; }))
            Refuse((path.empty() ? "" : path + ".") + ShownKey(key),
                   Format(Tr("onbekende sleutel; hier kunnen staan: %s"), Joined(allowed).c_str()));
    }
}

const TJson& Object(const TJson& value, const std::string& path) {
    if (!value.is_object())
        Refuse(path, Tr("hier hoort een object {...}"));
    return value;
}

const TJson& List(const TJson& value, const std::string& path) {
    if (!value.is_array())
        Refuse(path, Tr("hier hoort een lijst [...]"));
    return value;
}

int Whole(const TJson& value, const std::string& path, long long low, long long high) {
    if (!value.is_number_integer())
        Refuse(path, Tr("hier hoort een geheel getal"));
    // Every bound here is 0 or more, and a number above what a long long holds is unsigned.
    const bool inRange =
        value.is_number_unsigned()
            ? value.get<unsigned long long>() >= static_cast<unsigned long long>(low) &&
                  value.get<unsigned long long>() <= static_cast<unsigned long long>(high)
            : value.get<long long>() >= low && value.get<long long>() <= high;
    if (!inRange)
        Refuse(path,
               Format(Tr("%s ligt niet tussen %lld en %lld"), Shown(value).c_str(), low, high));
    return static_cast<int>(value.get<long long>());
}

bool Boolean(const TJson& value, const std::string& path) {
    if (!value.is_boolean())
        Refuse(path, Tr("hier hoort true of false"));
    return value.get<bool>();
}

const TJson* Find(const TJson& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

class TReader {
public:
    TRackDescription Rack(const TJson& root) {
        Object(root, "");
        OnlyKeys(root, "", {"cards"});
        const TJson* cards = Find(root, "cards");
        if (!cards)
            Refuse("cards", Tr("ontbreekt"));
        List(*cards, "cards");
        TRackDescription rack;
        for (std::size_t i = 0; i < cards->size(); ++i)
            rack.Cards.push_back(Entry((*cards)[i], "cards[" + std::to_string(i) + "]"));
        return rack;
    }

private:
    TCardEntry Entry(const TJson& card, const std::string& path) {
        Object(card, path);
        TCardEntry entry;
        entry.Kind = Kind(card, path);
        switch (entry.Kind) {
        case TCardKind::Test:
            OnlyKeys(card, path, {"kind", "place", "places", "lines", "short", "faults"});
            break;
        case TCardKind::Io:
            OnlyKeys(card, path, {"kind", "place", "places", "plug", "faults"});
            break;
        case TCardKind::TwoRail:
        case TCardKind::ThreeRail:
            OnlyKeys(card, path, {"kind", "place", "places", "section_ms", "faults"});
            break;
        case TCardKind::Selection:
        case TCardKind::Latch:
            OnlyKeys(card, path, {"kind", "place", "places", "faults"});
            break;
        }
        entry.Places = Places(card, path);
        if (const TJson* lines = Find(card, "lines"))
            entry.Lines = Whole(*lines, path + ".lines", 0, 15);
        if (const TJson* shortCircuit = Find(card, "short"))
            entry.Short = Boolean(*shortCircuit, path + ".short");
        if (const TJson* plug = Find(card, "plug"))
            entry.Plug = Boolean(*plug, path + ".plug");
        if (const TJson* ms = Find(card, "section_ms"))
            entry.SectionMs =
                static_cast<std::uint32_t>(Whole(*ms, path + ".section_ms", 1, MaxSectionMs));
        if (const TJson* faults = Find(card, "faults"))
            entry.Faults = Faults(*faults, path + ".faults", entry);
        return entry;
    }

    static TCardKind Kind(const TJson& card, const std::string& path) {
        const TJson* kind = Find(card, "kind");
        if (!kind)
            Refuse(path + ".kind", Tr("ontbreekt"));
        if (!kind->is_string())
            Refuse(path + ".kind", Tr("hier hoort een tekst"));
        for (const auto& [value, name] : Kinds)
            if (kind->get<std::string>() == name)
                return value;
        Refuse(
            path + ".kind",
            Format(Tr("onbekende soort %s; bekend zijn: %s"), Shown(*kind).c_str(),
                   Joined({"test", "selection", "two-rail", "three-rail", "latch", "io"}).c_str()));
    }

    std::vector<int> Places(const TJson& card, const std::string& path) {
        const TJson* place = Find(card, "place");
        const TJson* places = Find(card, "places");
        if (place && places)
            Refuse(path, Tr("place en places samen; kies er een"));
        std::vector<int> taken;
        if (place) {
            taken.push_back(Take(*place, path + ".place"));
        } else if (places) {
            List(*places, path + ".places");
            if (places->empty())
                Refuse(path + ".places", Tr("de lijst is leeg"));
            for (std::size_t i = 0; i < places->size(); ++i)
                taken.push_back(Take((*places)[i], path + ".places[" + std::to_string(i) + "]"));
        } else {
            Refuse(path + ".place", Tr("ontbreekt (of places)"));
        }
        return taken;
    }

    int Take(const TJson& value, const std::string& path) {
        const int place = Whole(value, path, 0, TTrainBus::Places - 1);
        if (!mTakenBy[static_cast<std::size_t>(place)].empty())
            Refuse(path, Format(Tr("plaats %d is al bezet (%s)"), place,
                                mTakenBy[static_cast<std::size_t>(place)].c_str()));
        mTakenBy[static_cast<std::size_t>(place)] = path;
        return place;
    }

    static TCardFaults Faults(const TJson& faults, const std::string& path,
                              const TCardEntry& entry) {
        Object(faults, path);
        const bool block = entry.Kind == TCardKind::TwoRail || entry.Kind == TCardKind::ThreeRail;
        if (entry.Kind == TCardKind::Io)
            OnlyKeys(faults, path, {"silent", "stuck", "shorted", "intermittent"});
        else if (block)
            OnlyKeys(faults, path, {"silent", "short"});
        else
            OnlyKeys(faults, path, {"silent"});

        TCardFaults result;
        if (const TJson* silent = Find(faults, "silent"))
            result.Silent = PlacesOf(*silent, path + ".silent", entry);
        if (const TJson* shortCircuit = Find(faults, "short"))
            result.Short = PlacesOf(*shortCircuit, path + ".short", entry);
        if (const TJson* stuck = Find(faults, "stuck")) {
            List(*stuck, path + ".stuck");
            for (std::size_t i = 0; i < stuck->size(); ++i) {
                const std::string at = path + ".stuck[" + std::to_string(i) + "]";
                const TJson& item = Object((*stuck)[i], at);
                OnlyKeys(item, at, {"input", "level"});
                const TStuckInput input{Input(item, at),
                                        Whole(Needed(item, "level", at), at + ".level", 0, 1) == 1};
                for (const TStuckInput& before : result.Stuck)
                    if (before.Input == input.Input)
                        Refuse(at + ".input", Format(Tr("ingang %d zit al vast"),
                                                     bus::IoPinOfBit(input.Input)));
                result.Stuck.push_back(input);
            }
        }
        if (const TJson* shorted = Find(faults, "shorted")) {
            List(*shorted, path + ".shorted");
            for (std::size_t i = 0; i < shorted->size(); ++i) {
                const std::string at = path + ".shorted[" + std::to_string(i) + "]";
                const TJson& pair = List((*shorted)[i], at);
                if (pair.size() != 2)
                    Refuse(at, Tr("hier hoort een paar ingangen [a, b]"));
                const int a = Pin(pair[0], at + "[0]");
                const int b = Pin(pair[1], at + "[1]");
                if (a == b)
                    Refuse(at, Tr("een ingang is niet met zichzelf te verbinden"));
                result.Shorted.emplace_back(a, b);
            }
        }
        if (const TJson* intermittent = Find(faults, "intermittent")) {
            List(*intermittent, path + ".intermittent");
            for (std::size_t i = 0; i < intermittent->size(); ++i) {
                const std::string at = path + ".intermittent[" + std::to_string(i) + "]";
                const TJson& item = Object((*intermittent)[i], at);
                OnlyKeys(item, at, {"input", "every"});
                result.Intermittent.push_back(
                    {Input(item, at), Whole(Needed(item, "every", at), at + ".every", 1, 1000000)});
            }
        }
        return result;
    }

    static const TJson& Needed(const TJson& object, const char* key, const std::string& path) {
        const TJson* value = Find(object, key);
        if (!value)
            Refuse(path + "." + key, Tr("ontbreekt"));
        return *value;
    }

    // An input is named by its pin, 1 to 16 as the IOK page numbers them; the card model
    // keeps the bit.
    static int Pin(const TJson& value, const std::string& path) {
        return bus::IoPinBit[static_cast<std::size_t>(Whole(value, path, 1, 16) - 1)];
    }

    static int Input(const TJson& item, const std::string& path) {
        return Pin(Needed(item, "input", path), path + ".input");
    }

    // true: every place of the entry; false: none; or a list of some of its places.
    static std::vector<int> PlacesOf(const TJson& value, const std::string& path,
                                     const TCardEntry& entry) {
        if (value.is_boolean())
            return value.get<bool>() ? entry.Places : std::vector<int>{};
        if (!value.is_array())
            Refuse(path, Tr("hier hoort true, false of een lijst van plaatsen van deze kaart"));
        std::vector<int> places;
        for (std::size_t i = 0; i < value.size(); ++i) {
            const std::string at = path + "[" + std::to_string(i) + "]";
            const int place = Whole(value[i], at, 0, TTrainBus::Places - 1);
            if (std::find(entry.Places.begin(), entry.Places.end(), place) == entry.Places.end())
                Refuse(at, Format(Tr("plaats %d hoort niet bij deze kaart"), place));
            places.push_back(place);
        }
        return places;
    }

    std::array<std::string, TTrainBus::Places> mTakenBy;
};

// Line and column (from 1) of the byte at `offset`.
std::pair<int, int> LineAndColumn(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    const std::string_view before = text.substr(0, offset);
    const int line = 1 + static_cast<int>(std::count(before.begin(), before.end(), '\n'));
    const std::size_t lineStart = before.rfind('\n');
    const std::size_t column =
        lineStart == std::string_view::npos ? offset + 1 : offset - lineStart;
    return {line, static_cast<int>(column)};
}

} // namespace

const char* KindName(TCardKind kind) {
    for (const auto& [value, name] : Kinds)
        if (value == kind)
            return name;
    return "?";
}

TRackLoad ReadRack(std::string_view text, const std::string& fileName) {
    TRackLoad load;
    TJson root;
    try {
        root = TJson::parse(text.begin(), text.end());
    } catch (const TJson::parse_error& error) {
        // The parser counts the offending byte from 1. Where the text ended too soon, the place
        // to show is the end of the text, wherever the parser stopped reading.
        const bool ended = std::string_view(error.what()).find("unexpected end of input") !=
                           std::string_view::npos;
        const std::size_t offset = ended ? text.size() : error.byte == 0 ? 0 : error.byte - 1;
        const auto [line, column] = LineAndColumn(text, offset);
        load.Error =
            Format(Tr("%s, regel %d, kolom %d: geen geldige JSON (%s)"), fileName.c_str(), line,
                   column, ended ? Tr("de tekst houdt te vroeg op") : Tr("onverwacht teken"));
        return load;
    } catch (const TJson::out_of_range& error) {
        // A number too large for a double ("1e999"). The parser names the number, not where it
        // stands; its first occurrence in the text is where it stands.
        const std::string_view what = error.what();
        const std::size_t open = what.find('\'');
        const std::size_t close = what.rfind('\'');
        const std::size_t at = open < close ? text.find(what.substr(open + 1, close - open - 1))
                                            : std::string_view::npos;
        const auto [line, column] = LineAndColumn(text, at == std::string_view::npos ? 0 : at);
        load.Error = Format(Tr("%s, regel %d, kolom %d: geen geldige JSON (%s)"), fileName.c_str(),
                            line, column, Tr("een getal dat te groot is"));
        return load;
    }
    try {
        load.Rack = TReader().Rack(root);
        load.Ok = true;
    } catch (const TRefusal& refusal) {
        load.Error = refusal.Path.empty() ? Format("%s: %s", fileName.c_str(), refusal.What.c_str())
                                          : Format("%s: %s: %s", fileName.c_str(),
                                                   refusal.Path.c_str(), refusal.What.c_str());
    }
    return load;
}

TRackLoad ReadRackFile(const std::string& path) {
    std::string text;
    int error = 0;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        errno = 0;
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            text.append(buffer, got);
        if (std::ferror(file))
            error = errno != 0 ? errno : EIO;
        std::fclose(file);
    } else {
        error = errno;
    }
    if (error != 0) {
        TRackLoad load;
        load.Error =
            Format(Tr("Kan het rekbestand %s niet lezen: %s"), path.c_str(), std::strerror(error));
        return load;
    }
    return ReadRack(text, path);
}

const TRackDescription& DefaultRack() {
    static const TRackDescription rack = [] {
        TRackLoad load = ReadRack(DefaultRackText(), DefaultRackFileName);
        // The text is built in and read by the tests: it cannot be refused at run time.
        if (!load.Ok)
            std::abort();
        return load.Rack;
    }();
    return rack;
}

std::vector<std::string> DefaultRackFiles(const std::string& programFolder) {
    const std::filesystem::path installed =
        std::filesystem::path(programFolder) / MORVELPLINT_DATA_FROM_PROGRAM / DefaultRackFileName;
    return {programFolder + "/" + DefaultRackFileName, installed.lexically_normal().string()};
}

std::string FindDefaultRackFile(const std::string& programFolder) {
    for (const std::string& file : DefaultRackFiles(programFolder)) {
        std::error_code error;
        if (std::filesystem::is_regular_file(file, error))
            return file;
    }
    return {};
}

} // namespace sim
