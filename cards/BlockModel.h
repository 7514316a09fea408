#pragma once

#include "cards/CardContext.h"
#include "cards/CardModel.h"

#include <array>
#include <string>

namespace cards {

// What a block-card page shows. The three-rail page uses the first group only.
struct TBlockView {
    std::array<int, 3> Address{};
    int AddressMaximum = 127;
    bool AddressesEnabled = true;
    std::array<bool, 12> Section{true, true, true, true, true, true,
                                 true, true, true, true, true, true};
    bool SectionsEnabled = true;
    std::array<TLamp, 12> S{TLamp::White, TLamp::White, TLamp::White, TLamp::White,
                            TLamp::White, TLamp::White, TLamp::White, TLamp::White,
                            TLamp::White, TLamp::White, TLamp::White, TLamp::White};
    std::array<TLamp, 3> Kort{TLamp::Yellow, TLamp::Yellow, TLamp::Yellow};
    // The speed track bar's position, 0 (full speed) at the top to 15 (stop) at the bottom.
    int SpeedPosition = 15;
    const char* Caption = "Go"; // "Go" or "Stop"
    bool ButtonEnabled = false;
    // Card 1's last reply in decimal while the test runs (two-rail page).
    std::string Label9 = "Label9";
};

// The block-card pages: "(?)BK" with up to three two-rail block cards (2BK, ABK, DBK) of four
// sections each, and "3BK" with one three-rail block card. A locomotive shuttles between the
// lowest and the highest ticked section at the chosen speed, slowed to half speed in the last
// third of each run as judged by the run before, and reverses when it occupies the section at
// the far end.
class TBlockModel final : public TCardModel {
public:
    enum class TKind { TwoRail, ThreeRail };
    static constexpr int IntervalMs = 100;

    TBlockModel(TCardContext& context, TKind kind);

    const TBlockView& View() const { return mView; }
    TKind Kind() const { return mKind; }
    // The cards this page drives: three on the two-rail page, one on the three-rail page.
    int Groups() const { return mKind == TKind::TwoRail ? 3 : 1; }
    // The cards the two-rail test drives: those with a ticked section when it started.
    const std::array<bool, 3>& GroupActive() const { return mGroupActive; }

    void SetAddress(int group, int address);
    // Section n (0 to 11; 0 to 3 on the three-rail page) ticked or not. On the two-rail page
    // its lamp turns white, or grey while the section is not driven.
    void SetSection(int n, bool ticked);
    void SetSpeedPosition(int position);
    // "Go" (while the test timer is off) or "Stop" (while it runs, for whichever page).
    void Click();
    // A card's lamps (group 0 to 2) for reply r on the two-rail page; a short circuit stops
    // the test when the settings ask for it.
    void ShowReply(int group, int reply);
    void Enable(const TPageEnabling& enabling);

    int TickInterval() const override { return IntervalMs; }
    void Tick() override;
    void Leave() override;

private:
    void Go();
    void Stop();
    // Addresses the card at `a` and sends its speed word for speed `s`; the reply to it.
    int DriveCard(int a, int s);
    void ReverseAtEnd(int occupancy);
    bool ShortCircuitReporting() const { return mContext.Settings.KorsluitMelding; }
    void SetRunning(bool running);

    const TKind mKind;
    std::array<bool, 3> mGroupActive{};
    TBlockView mView;
};

} // namespace cards
