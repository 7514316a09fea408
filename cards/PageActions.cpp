#include "cards/PageActions.h"

#include "cards/CardModels.h"

namespace cards {

namespace {

using A = TActionArgs;
using M = TCardModels;

constexpr TActionField None{};
constexpr TActionField Index(const char* name, int minimum, int maximum) {
    return {name, minimum, maximum, &A::Index};
}
constexpr TActionField Value(const char* name, int minimum, int maximum) {
    return {name, minimum, maximum, &A::Value};
}

bool Always(M&, const A&) {
    return true;
}

TBusWordModel& BusWord(M& m, TPage page) {
    return page == TPage::Sck ? m.Sck : m.Pck;
}
template <TPage P> bool BitEnabled(M& m, const A& a) {
    const TBusWordView& v = BusWord(m, P).View();
    return a.Index == 5 ? v.D5Enabled : a.Index >= 6 ? v.StrobeButtonsEnabled : true;
}
template <TPage P> bool StrobeEnabled(M& m, const A&) {
    return BusWord(m, P).View().StrobeGroupEnabled;
}
template <TPage P> bool SendEnabled(M& m, const A&) {
    return BusWord(m, P).View().VersturenEnabled;
}
template <TPage P> void Bit(M& m, const A& a) {
    BusWord(m, P).ClickBit(a.Index);
}
template <TPage P> void Strobe(M& m, const A& a) {
    BusWord(m, P).ChooseStrobe(a.Index);
}
template <TPage P> void Send(M& m, const A&) {
    BusWord(m, P).Send();
}

TBlockModel& Block(M& m, TPage page) {
    return page == TPage::Xbk ? m.Xbk : m.Bk3;
}
template <TPage P> bool AddressesEnabled(M& m, const A&) {
    return Block(m, P).View().AddressesEnabled;
}
template <TPage P> bool SectionsEnabled(M& m, const A&) {
    return Block(m, P).View().SectionsEnabled;
}
template <TPage P> bool BlockButtonEnabled(M& m, const A&) {
    return Block(m, P).View().ButtonEnabled;
}
template <TPage P> void BlockAddress(M& m, const A& a) {
    Block(m, P).SetAddress(P == TPage::Xbk ? a.Index : 0, a.Value);
}
template <TPage P> void Section(M& m, const A& a) {
    Block(m, P).SetSection(a.Index, a.Ticked);
}
template <TPage P> void Speed(M& m, const A& a) {
    Block(m, P).SetSpeedPosition(a.Value);
}
template <TPage P> void BlockClick(M& m, const A&) {
    Block(m, P).Click();
}

constexpr auto Sck = TPage::Sck;
constexpr auto Pck = TPage::Pck;
constexpr auto Xbk = TPage::Xbk;
constexpr auto Bk3 = TPage::Bk3;

constexpr std::array<TPageAction, 28> Actions{{
    {Sck, "bit", {Index("bit", 0, 7), None}, false, BitEnabled<Sck>, Bit<Sck>},
    {Sck, "strobe", {Index("item", 0, 3), None}, false, StrobeEnabled<Sck>, Strobe<Sck>},
    {Sck, "send", {None, None}, false, SendEnabled<Sck>, Send<Sck>},
    {Pck, "bit", {Index("bit", 0, 7), None}, false, BitEnabled<Pck>, Bit<Pck>},
    {Pck, "strobe", {Index("item", 0, 3), None}, false, StrobeEnabled<Pck>, Strobe<Pck>},
    {Pck, "send", {None, None}, false, SendEnabled<Pck>, Send<Pck>},
    {TPage::Slk, "cardMode", {None, None}, false, Always,
     [](M& m, const A&) { m.Slk.ChooseCardMode(); }},
    {TPage::Slk, "rackMode", {None, None}, false, Always,
     [](M& m, const A&) { m.Slk.ChooseRackMode(); }},
    {TPage::Slk, "value", {Value("value", 0, 63), None}, false, Always,
     [](M& m, const A& a) { m.Slk.SetValue(a.Value); }},
    {TPage::Slk, "leaveButton", {None, None}, false, Always,
     [](M& m, const A&) { m.Slk.LeaveButton(); }},
    {TPage::Slk, "click", {None, None}, false,
     [](M& m, const A&) { return m.Slk.View().ButtonEnabled; },
     [](M& m, const A&) { m.Slk.Click(); }},
    {Xbk, "address", {Index("group", 0, 2), Value("value", 0, 127)}, false, AddressesEnabled<Xbk>,
     BlockAddress<Xbk>},
    {Xbk, "section", {Index("section", 0, 11), None}, true, SectionsEnabled<Xbk>, Section<Xbk>},
    {Xbk, "speed", {Value("position", 0, 15), None}, false, Always, Speed<Xbk>},
    {Xbk, "click", {None, None}, false, BlockButtonEnabled<Xbk>, BlockClick<Xbk>},
    {Bk3, "address", {Value("value", 0, 63), None}, false, AddressesEnabled<Bk3>,
     BlockAddress<Bk3>},
    {Bk3, "section", {Index("section", 0, 3), None}, true, SectionsEnabled<Bk3>, Section<Bk3>},
    {Bk3, "speed", {Value("position", 0, 15), None}, false, Always, Speed<Bk3>},
    {Bk3, "click", {None, None}, false, BlockButtonEnabled<Bk3>, BlockClick<Bk3>},
    {TPage::LkkEvl, "address", {Value("value", 0, 31), None}, false, Always,
     [](M& m, const A& a) { m.LkkEvl.SetAddress(a.Value); }},
    {TPage::LkkEvl, "evl", {Value("value", 0, 3), None}, false,
     [](M& m, const A&) { return m.LkkEvl.View().EvlEnabled; },
     [](M& m, const A& a) { m.LkkEvl.ChooseEvl(a.Value); }},
    {TPage::LkkEvl, "pin", {Index("pin", 1, 64), None}, false, Always,
     [](M& m, const A& a) { m.LkkEvl.ClickPin(a.Index); }},
    {TPage::LkkEvl, "tester", {None, None}, true, Always,
     [](M& m, const A& a) { m.LkkEvl.SetTester(a.Ticked); }},
    {TPage::LkkEvl, "click", {None, None}, false,
     [](M& m, const A&) { return m.LkkEvl.View().ButtonEnabled; },
     [](M& m, const A&) { m.LkkEvl.Click(); }},
    {TPage::Iok, "address", {Value("value", 0, 63), None}, false, Always,
     [](M& m, const A& a) { m.Iok.SetAddress(a.Value); }},
    {TPage::Iok, "output", {Index("pin", 1, 16), None}, false, Always,
     [](M& m, const A& a) { m.Iok.ClickOutput(a.Index); }},
    {TPage::Iok, "testen", {None, None}, true, Always,
     [](M& m, const A& a) { m.Iok.SetTesten(a.Ticked); }},
    {TPage::Iok, "click", {None, None}, false,
     [](M& m, const A&) { return m.Iok.View().ButtonEnabled; },
     [](M& m, const A&) { m.Iok.Click(); }},
}};

} // namespace

std::span<const TPageAction> PageActions() {
    return Actions;
}

const TPageAction* FindPageAction(TPage page, std::string_view name) {
    for (const TPageAction& action : Actions)
        if (action.Page == page && name == action.Do)
            return &action;
    return nullptr;
}

} // namespace cards
