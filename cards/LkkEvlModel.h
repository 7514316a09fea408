#pragma once

#include "cards/CardContext.h"
#include "cards/CardModel.h"

#include <array>

namespace cards {

// What the "LKK_EVL" page shows.
struct TLkkEvlView {
    int Address = 0; // the LKK's, 0 to 31
    int Evl = 0;     // 0 = "EVL A" to 3 = "EVL D"
    bool EvlEnabled = true;
    bool Tester = false;
    const char* Caption = "Versturen"; // "Versturen", or "Testen" / "Stop" with "Tester"
    bool ButtonEnabled = false;
};

// The "LKK_EVL" page: the 64 pins of one simple latch card (EVL A to D) behind the latch
// selection card, loaded as a whole, or, with "Tester" ticked, a square wave on every pin set
// to "1".
class TLkkEvlModel final : public TCardModel {
public:
    explicit TLkkEvlModel(TCardContext& context) : TCardModel(context, TPage::LkkEvl) {}

    const TLkkEvlView& View() const { return mView; }
    // The four pin words: a pin's bit holds the level sent to it, the inverse of its caption.
    const std::array<int, 4>& PinWords() const { return mPinWords; }
    // Whether pin `pin` (1 to 64) shows "1".
    bool Pin(int pin) const;

    void SetAddress(int address);
    void ChooseEvl(int evl);
    // A pin button: its caption flips, nothing is sent.
    void ClickPin(int pin);
    // "Tester" ticked or not: the button reads "Testen" or "Versturen"; unticked, a running
    // square wave stops and the EVL choice keeps its enabled state.
    void SetTester(bool ticked);
    // The button: the load without "Tester"; with it "Testen" starts the square wave with a
    // tick at once and "Stop" ends it.
    void Click();
    void Enable(const TPageEnabling& enabling);
    // The page's test runs ("Stop" on its button).
    bool Testing() const { return mRun == TRun::Stop; }

    int TickInterval() const override { return mContext.Settings.TestTijd; }
    void Tick() override;
    void Leave() override;

private:
    // The address word and the 16 steps; every pin at the level of a "0" caption unless
    // `pattern`.
    void SendSteps(bool pattern);

    enum class TRun { Versturen, Testen, Stop } mRun = TRun::Versturen;
    std::array<int, 4> mPinWords{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    TLkkEvlView mView;
    void Show(TRun run);
};

} // namespace cards
