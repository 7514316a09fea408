#pragma once

#include "cards/CardContext.h"
#include "cards/CardModel.h"

#include <array>

namespace cards {

// What the "SCK/ MCK" or "PCK" page shows.
struct TBusWordView {
    // The bit buttons' captions, true for "1": D0 to D5, then "Data Strobe" and "Adres
    // Strobe" (the weights 1 to 128).
    std::array<bool, 8> Bits{};
    int Strobe = 0; // "Adres Strobe", "Data Stobe", "Latchadres Strobe", "Latchdata Strobe"
    bool D5Enabled = true;
    bool StrobeButtonsEnabled = false;
    bool StrobeGroupEnabled = true;
    const char* D5Caption = "D5";
    bool VersturenEnabled = false;
    std::array<TLamp, 4> S{TLamp::White, TLamp::White, TLamp::White, TLamp::White};
    TLamp Kort = TLamp::Yellow;
};

// The "SCK/ MCK" and "PCK" pages: one bus word set line by line, a strobe, a send, and the
// reply on the section and short-circuit lamps. The PCK page also reaches the parallel
// card's ports directly, and in test mode gives the strobes by hand.
class TBusWordModel final : public TCardModel {
public:
    enum class TKind { SCK, PCK };
    static constexpr const char* StrobeItems[] = {"Adres Strobe", "Data Stobe", "Latchadres Strobe",
                                                  "Latchdata Strobe"};

    TBusWordModel(TCardContext& context, TKind kind);

    const TBusWordView& View() const { return mView; }
    // The page's stored word (SckWord, PckWord). A send in normal mode rewrites its bits 5 to
    // 7, while the captions stay as they were: a later click adds or subtracts its weight by
    // its caption alone.
    int Word() const { return mWord; }
    // The last reply the PCK page showed (PckFeedback).
    int Feedback() const { return mFeedback; }

    // A bit button (0 to 7, weight 1 << bit): "0" becomes "1" and adds its weight to the word,
    // "1" becomes "0" and subtracts it. Nothing is sent.
    void ClickBit(int bit);
    // The strobe choice: the latch strobes carry D0 to D4 only, so D5 is off for them.
    void ChooseStrobe(int item);
    // "Versturen".
    void Send();
    // A reply on the lamps: feedback (64 to 127) lights the lines and the short circuit;
    // anything else turns the short-circuit lamp yellow and leaves the others.
    void ShowReply(int reply);
    // The controls as the settings and the set-up allow them.
    void Enable(const TPageEnabling& enabling);

    // The word with the chosen strobe in place of its bits 5 to 7.
    int ApplyStrobe(int word) const;

private:
    void SendSerial();
    void SendParallel();

    const TKind mKind;
    int mWord = 0;
    int mFeedback = 0;
    TBusWordView mView;
};

} // namespace cards
