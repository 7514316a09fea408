#pragma once

#include "bus/Bus.h"
#include "serial/PortWatch.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace bus {

// Brings the serial connection back by itself after its line was lost (an adapter pulled
// out): it watches for the same port to come back (serial::TPortWatch) and then runs the
// connection set-up once, with the last set-up's choice on the path the port came back
// under. It never runs inside an exchange, and it starts no test: the loss stopped the test
// that ran, and it stays stopped. A set-up by hand (OK) may come first at any time.
//
// While connected over the serial card it also looks for a line that hung up while nothing
// was sent, so that an adapter pulled out while the user only looks is missed no longer than
// one look. Whoever drives it calls Look every LookIntervalMs while Active(): the program
// from a timer of its main window, which shows the Note in its title.
class TReconnect : public TBusListener {
public:
    explicit TReconnect(TBus& bus);
    ~TReconnect() override;
    TReconnect(const TReconnect&) = delete;
    TReconnect& operator=(const TReconnect&) = delete;

    // Often enough that a plugged-in adapter is in use again before the user reaches for
    // the settings window; rare enough that watching costs nothing to speak of.
    static constexpr std::uint32_t LookIntervalMs = 500;

    bool Watching() const { return mWatch.Watching(); }
    // Connected over the serial card, or watching: there is something to look at.
    bool Active() const;
    // One look, unless an exchange runs or the program closes. A line that hung up is lost
    // and its EComPort raised (TBus::CheckLine), for the caller to show as a failed transfer
    // is shown; a port that is back gets its set-up here and now.
    void Look();

    // What the watch does or last did, in a few words for a title or status line; empty when
    // there is nothing to say.
    const std::string& Note() const { return mNote; }
    // Called whenever Active(), Watching() or Note() may have changed.
    std::function<void()> OnChange;

    void BusLineLost() override;
    void SetUpFinished(const TSetUpResult& result) override;

private:
    void Changed(std::string note);

    TBus& mBus;
    serial::TPortWatch mWatch;
    // The serial port of the last connection, as the port list knew it then.
    serial::TPortInfo mPort;
    std::optional<serial::TDeviceNode> mNode;
    std::optional<serial::TDeviceNode> mEntry;
    std::string mNote;
};

} // namespace bus
