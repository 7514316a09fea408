#pragma once

#include "platform/ChangeEvent.h"

#include <cstdint>
#include <functional>

namespace cards {

class TCardContext;

// The main window's pages, in their order.
enum class TPage { Intro, Sck, Pck, Slk, Xbk, Bk3, LkkEvl, Iok };

// A lamp's colour: yellow for a bit 1 (occupied, level "1") and, on a short-circuit lamp, for
// no valid reply; white for a bit 0; grey for a section not driven; green for no short
// circuit; red for a short circuit.
enum class TLamp : std::uint8_t { Yellow, White, Grey, Green, Red };

// The colour as the page names it to a screen reader.
constexpr const char* LampName(TLamp lamp) {
    switch (lamp) {
    case TLamp::Yellow:
        return "geel";
    case TLamp::White:
        return "wit";
    case TLamp::Grey:
        return "grijs";
    case TLamp::Green:
        return "groen";
    case TLamp::Red:
        return "rood";
    }
    return "";
}

// The model of one card page: the page's inputs and run state as typed fields, its actions,
// its share of the test timer's ticks, and what the page shows as a state value (each model's
// View()) with one change event. A view, on the desktop or in a browser, shows that value and
// forwards the user's actions; it decides nothing itself.
class TCardModel {
public:
    TCardModel(TCardContext& context, TPage page) : mContext(context), mPage(page) {}
    virtual ~TCardModel() = default;
    TCardModel(const TCardModel&) = delete;
    TCardModel& operator=(const TCardModel&) = delete;

    TPage Page() const { return mPage; }

    // The interval the test timer takes at the start of a tick on this page, or -1 when the
    // page has no timed test.
    virtual int TickInterval() const { return -1; }
    // The test timer's work while this page is active.
    virtual void Tick() {}
    // The page was left (the input focus moved off it).
    virtual void Leave() {}

    // Calls `listener` after every change of what the page shows; the number it returns
    // takes the listener off again.
    int Listen(std::function<void()> listener) { return mChanged.Listen(std::move(listener)); }
    void Unlisten(int id) { mChanged.Unlisten(id); }

protected:
    // Tells the listeners that the view changed.
    void Changed() { mChanged.Tell(); }

    TCardContext& mContext;

private:
    const TPage mPage;
    platform::TChangeEvent mChanged;
};

} // namespace cards
