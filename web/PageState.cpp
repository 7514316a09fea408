#include "web/PageState.h"

#include "cards/PageActions.h"
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

namespace {

// The card pages in the order of their keys: nlohmann's objects keep their keys sorted, and
// the frame keeps the order of the whole-frame JSON it stands for.
constexpr std::array<cards::TPage, 7> FramePages{
    cards::TPage::Bk3, cards::TPage::Iok, cards::TPage::LkkEvl, cards::TPage::Pck,
    cards::TPage::Sck, cards::TPage::Slk, cards::TPage::Xbk};

json PageJson(cards::TCardModels& models, cards::TPage page) {
    switch (page) {
    case cards::TPage::Sck:
        return BusWord(models.Sck);
    case cards::TPage::Pck:
        return BusWord(models.Pck);
    case cards::TPage::Slk:
        return Slk(models.Slk);
    case cards::TPage::Xbk:
        return Block(models.Xbk);
    case cards::TPage::Bk3:
        return Block(models.Bk3);
    case cards::TPage::LkkEvl:
        return Lkk(models.LkkEvl);
    case cards::TPage::Iok:
        return Iok(models.Iok);
    case cards::TPage::Intro:
        break;
    }
    return json::object();
}

} // namespace

std::string ActionsJson() {
    json actions = json::array();
    for (const cards::TPageAction& action : cards::PageActions()) {
        json fields = json::array();
        for (const cards::TActionField& field : action.Fields)
            if (field.Name)
                fields.push_back(
                    {{"name", field.Name}, {"minimum", field.Minimum}, {"maximum", field.Maximum}});
        actions.push_back({{"page", PageKey(action.Page)},
                           {"do", action.Do},
                           {"fields", fields},
                           {"ticked", action.Ticked}});
    }
    return json{{"type", "actions"}, {"actions", actions}}.dump();
}

std::string PagesJson(cards::TCardModels& models) {
    return TPagesFrame(models).Json();
}

void TPagesFrame::Changed(cards::TPage page) {
    for (std::size_t i = 0; i < FramePages.size(); ++i)
        if (FramePages[i] == page)
            mParts[i].clear();
}

std::string TPagesFrame::Json() {
    std::string frame = R"({"active":)";
    frame += json(PageKey(mModels.ActivePage())).dump();
    frame += R"(,"pages":{)";
    for (std::size_t i = 0; i < FramePages.size(); ++i) {
        if (mParts[i].empty())
            mParts[i] = PageJson(mModels, FramePages[i]).dump();
        if (i > 0)
            frame += ',';
        frame += '"';
        frame += PageKey(FramePages[i]);
        frame += R"(":)";
        frame += mParts[i];
    }
    frame += R"(},"running":)";
    frame += mModels.Context().TimerSpeed.Running() ? "true" : "false";
    frame += R"(,"type":"pages"})";
    return frame;
}

std::string SettingsJson(const session::TRackSession& session) {
    const bus::TConnectionSettings& model = session.Settings();
    const bus::TSettings& s = model.Settings();
    const session::TSettingsView view = session.SettingsView();
    json ports = json::array();
    for (const auto& port : model.Ports())
        ports.push_back({{"value", port.Value}, {"line", port.Line}});
    const json state = {
        {"type", "settings"},
        {"settings",
         {{"parallel", s.Parallel},
          {"port", model.PortValue()},
          {"clock", s.ClockIndex},
          {"kortsluitStop", s.KortsluitStop},
          {"timeOut", s.TimeOut},
          {"kortsluitMelding", s.KorsluitMelding},
          {"baud19200", s.Baudrate19200},
          {"testen", s.Testen},
          {"testTijd", s.TestTijd}}},
        {"ports", ports},
        {"clocks", bus::ClockEntries},
        {"enabled",
         {{"port", view.Enabled.Port},
          {"clock", view.Enabled.Clock},
          {"kortsluitStop", view.Enabled.KortsluitStop},
          {"timeOut", view.Enabled.TimeOut},
          {"baud19200", view.Enabled.Baudrate},
          {"ledUit", view.LedUitEnabled}}},
        {"testTijd",
         {{"minimum", view.TestTijdMinimum},
          {"maximum", view.TestTijdMaximum},
          {"step", view.TestTijdStep}}},
        {"notes", view.Notes},
        {"connected", view.Connected},
        {"transport", view.Parallel ? "parallel" : "serial"},
        {"settingUp", view.SettingUp},
        {"armed", view.Armed},
        {"reconnect", view.ReconnectNote},
    };
    return state.dump();
}

} // namespace web
