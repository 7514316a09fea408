#pragma once

#include "bus/Bus.h"
#include "cards/CardModel.h"
#include "cards/TickSource.h"
#include "serial/ComError.h"
#include "settings/SettingsFile.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace cards {

// What the card models need of the front-end that shows them.
class TCardFrontEnd {
public:
    virtual ~TCardFrontEnd() = default;
    // A page's message box with one OK button: plain ("Seriele kaart selecteren") or with the
    // error icon ("Onvoldoende secties geselecteerd"); `text` is in the user's language.
    virtual void Message(TPage page, bool error, const std::string& text) = 0;
    // An error that ended an action or a tick (a serial port's, most often), as the general
    // error message box shows it.
    virtual void Error(const std::string& text) = 0;
};

// The state the card tests share for the life of the program: the last tick's reply, the
// phase of the square waves (LKK/EVL and IOK), and the shuttle's direction, ends and run
// timing (both block-card pages).
struct TCardTestState {
    int TickFeedback = 0;
    bool SquareWavePhase = false;
    int Direction = 0;
    int FirstSection = 0;
    int LastSection = 0;
    std::int32_t LegDuration = 0;   // ms
    std::uint32_t LastReversal = 0; // system tick count
};

// Which card-page controls the user may operate: it follows the method, the test mode (in
// which the user gives every strobe by hand on the SCK and PCK pages and every other card test
// is blocked) and whether the rack connection came up. Before the settings are first applied
// every send and start button is off and the strobe groups are on.
struct TPageEnabling {
    bool SckVersturen = false;
    bool PckVersturen = false;
    // SLK, (?)BK, 3BK, LKK_EVL and IOK: their send and start buttons.
    bool CardTests = false;
    // The "Data Strobe" and "Adres Strobe" buttons and labels of the SCK and PCK pages.
    bool StrobeButtons = false;
    bool StrobeGroups = true;
    // The D5 labels read "D5/ Latch Strobe".
    bool TestMode = false;

    bool operator==(const TPageEnabling&) const = default;
};
TPageEnabling PageEnabling(bool connected, bool parallel, bool testMode);

// What every card model reaches: the bus, the test timer, the front-end, the shared state,
// the settings as the front-end holds them now, and the enabling rules' outcome.
class TCardContext {
public:
    TCardContext(bus::TBus& bus, TTickSource& timer) : Bus(bus), TimerSpeed(timer) {}

    bus::TBus& Bus;
    TTickSource& TimerSpeed;
    // The front-end that shows the pages; none shows nothing.
    TCardFrontEnd* FrontEnd = nullptr;
    TCardTestState State;
    bus::TSettings Settings;
    TPageEnabling Enabling;

    // A user's action that talks to the rack runs as an exchange of its own: now, or once the
    // exchange under way (an action or a tick waiting for replies, a set-up) has ended. An
    // error it raises ends it and goes to the front-end.
    void Action(std::function<void()> action) {
        Bus.WhenIdle([this, action = std::move(action)] { Guarded(action); });
    }
    // A tick runs as an exchange unless one is under way; false when it was skipped.
    bool Tick(const std::function<void()>& tick) {
        if (Bus.Busy())
            return false;
        bus::TBus::TExchange exchange(Bus);
        Guarded(tick);
        return true;
    }
    // Runs `work`, an error it raises going to the front-end.
    void Guarded(const std::function<void()>& work) {
        try {
            work();
        } catch (const serial::EComPort& error) {
            Error(serial::ExplainedMessage(error));
        } catch (const std::exception& error) {
            Error(error.what());
        }
    }
    // A page's message box, and an error, through the front-end.
    void Message(TPage page, bool error, const std::string& text);
    void Error(const std::string& text);

    // Why no card test may talk to the rack now (another kind of test has the bus: the card
    // diagnostics); empty when one may. Set by whoever runs those other tests.
    std::function<std::string()> Refusal;
    // A page's send or start button is refused, with its reason in the page's message box,
    // while Refusal gives one.
    bool Refused(TPage page) {
        const std::string reason = Refusal ? Refusal() : std::string();
        if (!reason.empty())
            Message(page, true, reason);
        return !reason.empty();
    }

    // The tick's work for the active page at once, for a page that starts its test so.
    std::function<void()> TickNow;
};

} // namespace cards
