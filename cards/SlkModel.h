#pragma once

#include "cards/CardContext.h"
#include "cards/CardModel.h"

namespace cards {

// What the "SLK" page shows.
struct TSlkView {
    bool RackMode = false;       // "Rek testen" chosen, else "Kaart selecteren"
    const char* Label = "Adres"; // "Adres" or "Rek"
    int Value = 0;
    int Minimum = 0;
    int Maximum = 63;
    const char* Caption = "Versturen"; // "Versturen", or "Testen" / "Stop" in rack mode
    bool ButtonEnabled = false;
};

// The "SLK" page: select one card place ("Kaart selecteren"), or sweep the 16 places of one
// rack every 400 ms ("Rek testen").
class TSlkModel final : public TCardModel {
public:
    static constexpr int IntervalMs = 400;

    explicit TSlkModel(TCardContext& context) : TCardModel(context, TPage::Slk) {}

    const TSlkView& View() const { return mView; }

    // "Kaart selecteren": address 0 to 63, starting at 0; "Rek testen": rack 1 to 4, starting
    // at 1. Either stops the test timer.
    void ChooseCardMode();
    void ChooseRackMode();
    // A new address or rack, kept within the range; a running sweep stops.
    void SetValue(int value);
    // The input focus left the button: a running sweep stops.
    void LeaveButton();
    // The button: the address word in card mode; "Testen" starts the sweep with a tick at
    // once, "Stop" ends it.
    void Click();
    void Enable(const TPageEnabling& enabling);
    // The page's test runs ("Stop" on its button).
    bool Testing() const { return mRun == TRun::Stop; }

    int TickInterval() const override { return IntervalMs; }
    void Tick() override;

private:
    // The caption for the mode, and the timer off.
    void Reset();

    enum class TRun { Versturen, Testen, Stop } mRun = TRun::Versturen;
    TSlkView mView;
    void Show();
};

} // namespace cards
