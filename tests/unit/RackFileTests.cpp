#include "sim/RackFile.h"
#include "sim/SimRack.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using sim::TCardKind;
using sim::TRackDescription;

namespace {

struct TRefusal {
    const char* Text;
    const char* Message;
};

// Each refusal names the file, the place in the file and what is wrong.
const TRefusal Refusals[] = {
    {"", "rek.json, regel 1, kolom 1: geen geldige JSON (de tekst houdt te vroeg op)"},
    {"{\"cards\": [\n  {\"place\": 3,, \"kind\": \"test\"}]}",
     "rek.json, regel 2, kolom 15: geen geldige JSON (onverwacht teken)"},
    {"{\"cards\": [{\"place\": 3", "rek.json, regel 1, kolom 23: geen geldige JSON (de tekst "
                                   "houdt te vroeg op)"},
    {"{\"cards\": [{\"place\": 1e999}]}",
     "rek.json, regel 1, kolom 22: geen geldige JSON (een getal dat te groot is)"},
    {"[]", "rek.json: hier hoort een object {...}"},
    {"{}", "rek.json: cards: ontbreekt"},
    {"{\"cards\": [], \"rack\": 1}",
     "rek.json: rack: onbekende sleutel; hier kunnen staan: cards"},
    {"{\"cards\": {}}", "rek.json: cards: hier hoort een lijst [...]"},
    {"{\"cards\": [{\"place\": 1, \"kind\": \"relay\"}]}",
     "rek.json: cards[0].kind: onbekende soort \"relay\"; bekend zijn: test, selection, "
     "two-rail, three-rail, latch, io"},
    {"{\"cards\": [{\"place\": 1}]}", "rek.json: cards[0].kind: ontbreekt"},
    {"{\"cards\": [{\"place\": 1, \"kind\": 2}]}", "rek.json: cards[0].kind: hier hoort een tekst"},
    {"{\"cards\": [{\"place\": 64, \"kind\": \"test\"}]}",
     "rek.json: cards[0].place: 64 ligt niet tussen 0 en 63"},
    {"{\"cards\": [{\"place\": -1, \"kind\": \"test\"}]}",
     "rek.json: cards[0].place: -1 ligt niet tussen 0 en 63"},
    {"{\"cards\": [{\"place\": \"3\", \"kind\": \"test\"}]}",
     "rek.json: cards[0].place: hier hoort een geheel getal"},
    {"{\"cards\": [{\"place\": 3.5, \"kind\": \"test\"}]}",
     "rek.json: cards[0].place: hier hoort een geheel getal"},
    {"{\"cards\": [{\"kind\": \"test\"}]}", "rek.json: cards[0].place: ontbreekt (of places)"},
    {"{\"cards\": [{\"place\": 1, \"places\": [2], \"kind\": \"test\"}]}",
     "rek.json: cards[0]: place en places samen; kies er een"},
    {"{\"cards\": [{\"place\": 4, \"kind\": \"test\"}, {\"places\": [0, 4], \"kind\": "
     "\"two-rail\"}]}",
     "rek.json: cards[1].places[1]: plaats 4 is al bezet (cards[0].place)"},
    {"{\"cards\": [{\"places\": [], \"kind\": \"two-rail\"}]}",
     "rek.json: cards[0].places: de lijst is leeg"},
    {"{\"cards\": [{\"place\": 1, \"kind\": \"test\", \"plug\": true}]}",
     "rek.json: cards[0].plug: onbekende sleutel; hier kunnen staan: kind, place, places, "
     "lines, short, faults"},
    {"{\"cards\": [{\"place\": 1, \"kind\": \"test\", \"lines\": 16}]}",
     "rek.json: cards[0].lines: 16 ligt niet tussen 0 en 15"},
    {"{\"cards\": [{\"place\": 1, \"kind\": \"test\", \"short\": 1}]}",
     "rek.json: cards[0].short: hier hoort true of false"},
    {"{\"cards\": [{\"place\": 9, \"kind\": \"io\", \"faults\": {\"stuck\": [{\"input\": 17, "
     "\"level\": 0}]}}]}",
     "rek.json: cards[0].faults.stuck[0].input: 17 ligt niet tussen 1 en 16"},
    {"{\"cards\": [{\"place\": 9, \"kind\": \"io\", \"faults\": {\"stuck\": [{\"input\": 3}]}}]}",
     "rek.json: cards[0].faults.stuck[0].level: ontbreekt"},
    {"{\"cards\": [{\"place\": 9, \"kind\": \"io\", \"faults\": {\"shorted\": [[4, 4]]}}]}",
     "rek.json: cards[0].faults.shorted[0]: een ingang is niet met zichzelf te verbinden"},
    {"{\"cards\": [{\"place\": 1, \"kind\": \"test\", \"a\\nb\": 1}]}",
     "rek.json: cards[0].\"a\\nb\": onbekende sleutel; hier kunnen staan: kind, place, places, "
     "lines, short, faults"},
    {"{\"cards\": [{\"place\": 9, \"kind\": \"io\", \"faults\": {\"short\": true}}]}",
     "rek.json: cards[0].faults.short: onbekende sleutel; hier kunnen staan: silent, stuck, "
     "shorted, intermittent"},
    {"{\"cards\": [{\"places\": [0, 4], \"kind\": \"two-rail\", \"faults\": {\"short\": [5]}}]}",
     "rek.json: cards[0].faults.short[0]: plaats 5 hoort niet bij deze kaart"},
    {"{\"cards\": [{\"place\": 0, \"kind\": \"two-rail\", \"section_ms\": 0}]}",
     "rek.json: cards[0].section_ms: 0 ligt niet tussen 1 en 600000"},
};

} // namespace

TEST(RackFile, RefusesABadFileWithWhereAndWhatIsWrong) {
    for (const TRefusal& refusal : Refusals) {
        const sim::TRackLoad load = sim::ReadRack(refusal.Text, "rek.json");
        EXPECT_FALSE(load.Ok) << refusal.Text;
        EXPECT_EQ(load.Error, refusal.Message) << refusal.Text;
    }
    const sim::TRackLoad missing = sim::ReadRackFile("/nonexistent/rek.json");
    EXPECT_FALSE(missing.Ok);
    EXPECT_EQ(missing.Error,
              "Kan het rekbestand /nonexistent/rek.json niet lezen: No such file or directory");
}

TEST(RackFile, ReadsEveryKindWithItsSettingsAndFaults) {
    const sim::TRackLoad load = sim::ReadRack(
        R"({"cards": [{"place": 12, "kind": "test", "lines": 10, "short": true},
                      {"place": 9, "kind": "io", "plug": false,
                       "faults": {"stuck": [{"input": 3, "level": 0}], "shorted": [[4, 5]],
                                  "intermittent": [{"input": 7, "every": 3}]}},
                      {"places": [0, 4, 7], "kind": "two-rail", "section_ms": 250,
                       "faults": {"short": [4], "silent": true}},
                      {"place": 6, "kind": "three-rail"},
                      {"place": 5, "kind": "latch", "faults": {"silent": false}},
                      {"place": 63, "kind": "selection"}]})",
        "rek.json");
    ASSERT_TRUE(load.Ok) << load.Error;
    const auto entry = [](TCardKind kind, std::vector<int> places) {
        sim::TCardEntry card;
        card.Kind = kind;
        card.Places = std::move(places);
        return card;
    };
    TRackDescription expected;
    expected.Cards = {entry(TCardKind::Test, {12}),         entry(TCardKind::Io, {9}),
                      entry(TCardKind::TwoRail, {0, 4, 7}), entry(TCardKind::ThreeRail, {6}),
                      entry(TCardKind::Latch, {5}),         entry(TCardKind::Selection, {63})};
    expected.Cards[0].Lines = 10;
    expected.Cards[0].Short = true;
    expected.Cards[1].Plug = false;
    // Inputs are named by their pins; the card model keeps bits: pin 3 is bit 13, pins 4
    // and 5 bits 9 and 14, pin 7 bit 15.
    expected.Cards[1].Faults.Stuck = {{13, false}};
    expected.Cards[1].Faults.Shorted = {{9, 14}};
    expected.Cards[1].Faults.Intermittent = {{15, 3}};
    expected.Cards[2].SectionMs = 250;
    expected.Cards[2].Faults.Short = {4};
    expected.Cards[2].Faults.Silent = {0, 4, 7};
    EXPECT_EQ(load.Rack, expected);
}

// The default rack file is the rack /sim always had, and the program's built-in copy is that
// file.
TEST(RackFile, DefaultRackIsTheShippedFileWithTheCardsInTheirPlaces) {
    std::ifstream in(MORVELPLINT_DEFAULT_RACK_FILE);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(sim::DefaultRackText(), text.str());

    sim::TSimRack rack(sim::DefaultRack(), sim::TSimRack::TSerialLine::None);
    using Rack = sim::TSimRack;
    for (int place : Rack::TwoRailPlaces)
        EXPECT_EQ(rack.KindAt(place), TCardKind::TwoRail) << place;
    EXPECT_EQ(rack.KindAt(Rack::ThreeRailPlace), TCardKind::ThreeRail);
    EXPECT_EQ(rack.KindAt(Rack::LatchPlace), TCardKind::Latch);
    EXPECT_EQ(rack.KindAt(Rack::IoPlace), TCardKind::Io);
    EXPECT_EQ(rack.KindAt(Rack::SelectionPlace), TCardKind::Selection);
    ASSERT_EQ(rack.Lines.size(), 2u);
    EXPECT_EQ(rack.Lines[0].Cards.Line->Sections(), 12);
    EXPECT_EQ(rack.Lines[0].Places,
              std::vector<int>(Rack::TwoRailPlaces.begin(), Rack::TwoRailPlaces.end()));
    ASSERT_TRUE(rack.IoCard);
    EXPECT_TRUE(rack.IoCard->TestPlug);
    for (int place : {1, 2, 3}) {
        rack.Bus.ApplyWord(static_cast<std::uint8_t>(0x80 + place));
        EXPECT_EQ(rack.Bus.ApplyWord(0x40), 0x40 + (1 << place)) << place;
    }
    for (int place = 10; place < 63; ++place)
        EXPECT_FALSE(rack.KindAt(place)) << place;
    EXPECT_EQ(rack.Summary(),
              "(?)BK 0, 4, 7 \u00b7 3BK 6 \u00b7 LKK 5 \u00b7 IOK 9 \u00b7 SLK 63 \u00b7 "
              "testkaarten 1, 2, 3");
}

TEST(RackFile, DefaultFileIsLookedForBesideTheProgramThenInTheInstalledTree) {
    EXPECT_EQ(sim::DefaultRackFiles("/opt/zelm/bin"),
              (std::vector<std::string>{"/opt/zelm/bin/default-rack.json",
                                        "/opt/zelm/share/morvelplint/default-rack.json"}));
}
