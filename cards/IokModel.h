#pragma once

#include "cards/CardContext.h"
#include "cards/CardModel.h"

#include <array>

namespace cards {

// What the "IOK" page shows.
struct TIokView {
    int Address = 0;
    bool Testen = false;
    const char* Caption = "Versturen"; // "Versturen", or "Testen" / "Stop" with "Testen"
    bool ButtonEnabled = false;
    // The inputs' lamps, pin n at index n - 1: white for an input at "1", yellow for "0".
    std::array<TLamp, 16> Inputs{TLamp::White, TLamp::White, TLamp::White, TLamp::White,
                                 TLamp::White, TLamp::White, TLamp::White, TLamp::White,
                                 TLamp::White, TLamp::White, TLamp::White, TLamp::White,
                                 TLamp::White, TLamp::White, TLamp::White, TLamp::White};
};

// The "IOK" page: the input/output card's 16 outputs set and sent four at a time, its 16
// inputs on lamps, or, with "Testen" ticked, a square wave on every output set to "1".
class TIokModel final : public TCardModel {
public:
    // The interval of the first tick after a start.
    static constexpr int FirstTickMs = 250;

    explicit TIokModel(TCardContext& context) : TCardModel(context, TPage::Iok) {}

    const TIokView& View() const { return mView; }
    // The outputs (IokOutputs): a bit set while its pin's button shows "1"; the inputs as
    // taken in from the replies (IokInputs), and the last reply (IokFeedback).
    int Outputs() const { return mOutputs; }
    int Inputs() const { return mInputs; }
    int Feedback() const { return mFeedback; }
    bool Output(int pin) const;

    void SetAddress(int address);
    // An output button (pin 1 to 16): its caption flips, nothing is sent.
    void ClickOutput(int pin);
    // "Testen" ticked or not: the button reads "Testen" or "Versturen"; unticked, a running
    // square wave stops.
    void SetTesten(bool ticked);
    // The button: the address word first, always; then without "Testen" the outputs sent and
    // the inputs shown, with it "Testen" starts the square wave (its first tick after
    // FirstTickMs) and "Stop" ends it.
    void Click();
    void Enable(const TPageEnabling& enabling);
    // The page's test runs ("Stop" on its button).
    bool Testing() const { return mRun == TRun::Stop; }

    // Shifts the reply's four input levels into the inputs from below; a reply that is no
    // card feedback adds nothing.
    void TakeInReply(int reply);
    // The inputs on the lamps.
    void ShowInputs();
    // Sets the inputs as taken in (tests of the lamps).
    void SetInputs(int inputs) { mInputs = inputs & 0xFFFF; }

    int TickInterval() const override { return mContext.Settings.TestTijd; }
    void Tick() override;
    void Leave() override;

private:
    enum class TRun { Versturen, Testen, Stop } mRun = TRun::Versturen;
    void Show(TRun run);
    void TakeIn(const std::array<int, 4>& replies);

    int mOutputs = 0;
    int mInputs = 0;
    int mFeedback = 0;
    TIokView mView;
};

} // namespace cards
