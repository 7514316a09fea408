#include "web/PageState.h"

#include "web/Commands.h"

#include <nlohmann/json.hpp>

namespace web {

namespace {

using cards::TLamp;
using nlohmann::json;

template <std::size_t N> json Lamps(const std::array<TLamp, N>& lamps, std::size_t count = N) {
    json names = json::array();
    for (std::size_t i = 0; i < count; ++i)
        names.push_back(cards::LampName(lamps[i]));
    return names;
}

json BusWord(const cards::TBusWordModel& model) {
    const cards::TBusWordView& v = model.View();
    return {{"bits", v.Bits},
            {"strobe", v.Strobe},
            {"d5Enabled", v.D5Enabled},
            {"strobeButtonsEnabled", v.StrobeButtonsEnabled},
            {"strobeGroupEnabled", v.StrobeGroupEnabled},
            {"d5Caption", v.D5Caption},
            {"sendEnabled", v.VersturenEnabled},
            {"s", Lamps(v.S)},
            {"kort", cards::LampName(v.Kort)}};
}

json Slk(const cards::TSlkModel& model) {
    const cards::TSlkView& v = model.View();
    return {{"rackMode", v.RackMode},    {"label", v.Label},     {"value", v.Value},
            {"minimum", v.Minimum},      {"maximum", v.Maximum}, {"caption", v.Caption},
            {"enabled", v.ButtonEnabled}};
}

json Block(const cards::TBlockModel& model) {
    const cards::TBlockView& v = model.View();
    const auto groups = static_cast<std::size_t>(model.Groups());
    json addresses = json::array();
    json sections = json::array();
    for (std::size_t g = 0; g < groups; ++g)
        addresses.push_back(v.Address[g]);
    for (std::size_t n = 0; n < 4 * groups; ++n)
        sections.push_back(v.Section[n]);
    return {{"addresses", addresses},
            {"addressMaximum", v.AddressMaximum},
            {"addressesEnabled", v.AddressesEnabled},
            {"sections", sections},
            {"sectionsEnabled", v.SectionsEnabled},
            {"s", Lamps(v.S, 4 * groups)},
            {"kort", Lamps(v.Kort, groups)},
            {"speedPosition", v.SpeedPosition},
            {"caption", v.Caption},
            {"enabled", v.ButtonEnabled},
            {"label9", v.Label9}};
}

json Lkk(const cards::TLkkEvlModel& model) {
    const cards::TLkkEvlView& v = model.View();
    json pins = json::array();
    for (int pin = 1; pin <= 64; ++pin)
        pins.push_back(model.Pin(pin));
    return {{"address", v.Address}, {"evl", v.Evl},         {"evlEnabled", v.EvlEnabled},
            {"tester", v.Tester},   {"caption", v.Caption}, {"enabled", v.ButtonEnabled},
            {"pins", pins}};
}

json Iok(const cards::TIokModel& model) {
    const cards::TIokView& v = model.View();
    json outputs = json::array();
    for (int pin = 1; pin <= 16; ++pin)
        outputs.push_back(model.Output(pin));
    return {{"address", v.Address},       {"testen", v.Testen}, {"caption", v.Caption},
            {"enabled", v.ButtonEnabled}, {"outputs", outputs}, {"inputs", Lamps(v.Inputs)}};
}

} // namespace

std::string PagesJson(cards::TCardModels& models) {
    const json state = {
        {"type", "pages"},
        {"active", PageKey(models.ActivePage())},
        {"running", models.Context().TimerSpeed.Running()},
        {"pages",
         {{"sck", BusWord(models.Sck)},
          {"pck", BusWord(models.Pck)},
          {"slk", Slk(models.Slk)},
          {"xbk", Block(models.Xbk)},
          {"bk3", Block(models.Bk3)},
          {"lkk", Lkk(models.LkkEvl)},
          {"iok", Iok(models.Iok)}}},
    };
    return state.dump();
}

std::string SettingsJson(const bus::TConnectionSettings& settings, const bus::TBus& bus) {
    const bus::TSettings& s = settings.Settings();
    json ports = json::array();
    for (const auto& port : settings.Ports())
        ports.push_back({{"value", port.Value}, {"line", port.Line}});
    const json state = {
        {"type", "settings"},
        {"settings",
         {{"parallel", s.Parallel},
          {"port", s.PortIndex},
          {"clock", s.ClockIndex},
          {"kortsluitStop", s.KortsluitStop},
          {"timeOut", s.TimeOut},
          {"kortsluitMelding", s.KorsluitMelding},
          {"baud19200", s.Baudrate19200},
          {"testen", s.Testen},
          {"testTijd", s.TestTijd}}},
        {"ports", ports},
        {"clocks", bus::ClockEntries},
        {"testTijdMin", bus::TestTijdMin},
        {"testTijdMax", bus::TestTijdMax},
        {"connected", bus.Ready()},
        {"transport", bus.Transport() == bus::TTransport::Parallel ? "parallel" : "serial"},
        {"settingUp", bus.SetUpRunning()},
    };
    return state.dump();
}

} // namespace web
