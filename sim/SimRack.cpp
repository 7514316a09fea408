#include "sim/SimRack.h"

#include "platform/Messages.h"
#include "sim/SimTestCard.h"

#include <algorithm>
#include <system_error>

namespace sim {

namespace {

std::unique_ptr<TSerialCard> NewPtyCard(TTrainBus& bus, std::string& why) {
    try {
        why.clear();
        return std::make_unique<TSimSerialCard>(bus);
    } catch (const std::system_error& error) {
        why = error.what();
        return nullptr;
    }
}

bool Contains(const std::vector<int>& places, int place) {
    return std::find(places.begin(), places.end(), place) != places.end();
}

} // namespace

TSimRack::TSimRack(const TRackDescription& rack, TSerialLine line, TSimBlockLine::TClock clock)
    : mLine(line) {
    for (const TCardEntry& entry : rack.Cards) {
        std::vector<std::shared_ptr<TSimCard>> cards;
        switch (entry.Kind) {
        case TCardKind::TwoRail:
        case TCardKind::ThreeRail: {
            const auto kind = entry.Kind == TCardKind::TwoRail ? TSimBlockLine::TKind::TwoRail
                                                               : TSimBlockLine::TKind::ThreeRail;
            TLine line{
                TSimBlockCards(kind, static_cast<int>(entry.Places.size()), entry.SectionMs, clock),
                entry.Places};
            for (std::size_t i = 0; i < entry.Places.size(); ++i) {
                const auto& card = line.Cards.Cards[i];
                card->SetShortCircuit(Contains(entry.Faults.Short, entry.Places[i]));
                cards.push_back(card);
            }
            Lines.push_back(std::move(line));
            break;
        }
        default:
            for (std::size_t i = 0; i < entry.Places.size(); ++i)
                cards.push_back(MakeCard(entry));
            break;
        }
        for (std::size_t i = 0; i < entry.Places.size(); ++i) {
            const int place = entry.Places[i];
            cards[i]->Silent = Contains(entry.Faults.Silent, place);
            mKinds[static_cast<std::size_t>(place)] = entry.Kind;
            Bus.Plug(place, cards[i]);
        }
    }
    for (int place = TTrainBus::Places - 1; place >= 0; --place) {
        if (CardAs<TSimSelectionCard>(place))
            SelectionCard = std::static_pointer_cast<TSimSelectionCard>(Bus.CardAt(place));
        if (CardAs<TSimLatchCard>(place))
            LatchCard = std::static_pointer_cast<TSimLatchCard>(Bus.CardAt(place));
        if (CardAs<TSimIoCard>(place))
            IoCard = std::static_pointer_cast<TSimIoCard>(Bus.CardAt(place));
    }
    ReplaceSerialCard();
}

TSimRack::~TSimRack() = default;

std::unique_ptr<serial::TComBackend> TSimRack::SerialLine() {
    if (mLine != TSerialLine::InProcess)
        return nullptr;
    return TInProcessSerialCard::Line([this](const std::string& port) {
        auto* card = dynamic_cast<TInProcessSerialCard*>(SerialCard.get());
        return card && card->SlavePath() == port ? card : nullptr;
    });
}

std::shared_ptr<TSimCard> TSimRack::MakeCard(const TCardEntry& entry) const {
    switch (entry.Kind) {
    case TCardKind::Test: {
        auto card = std::make_shared<TSimTestCard>();
        card->Lines = static_cast<std::uint8_t>(entry.Lines);
        card->Short = entry.Short;
        return card;
    }
    case TCardKind::Selection:
        return std::make_shared<TSimSelectionCard>();
    case TCardKind::Latch:
        return std::make_shared<TSimLatchCard>();
    case TCardKind::Io: {
        auto card = std::make_shared<TSimIoCard>();
        card->TestPlug = entry.Plug;
        for (const TStuckInput& stuck : entry.Faults.Stuck)
            card->SetStuck(stuck.Input, stuck.Level);
        card->Shorted = entry.Faults.Shorted;
        card->SetIntermittent(entry.Faults.Intermittent);
        return card;
    }
    case TCardKind::TwoRail:
    case TCardKind::ThreeRail:
        break;
    }
    return nullptr;
}

std::optional<TCardKind> TSimRack::KindAt(int place) const {
    if (place < 0 || place >= TTrainBus::Places)
        return std::nullopt;
    return mKinds[static_cast<std::size_t>(place)];
}

void TSimRack::SetSilent(int place, bool silent) {
    if (!KindAt(place))
        return;
    Bus.Locked([&] { Bus.CardAt(place)->Silent = silent; });
}

void TSimRack::SetStuck(int place, int input, std::optional<bool> level) {
    if (TSimIoCard* card = CardAs<TSimIoCard>(place))
        Bus.Locked([&] { card->SetStuck(input, level); });
}

void TSimRack::SetShortCircuit(int place, bool shortCircuit) {
    if (TSimBlockCard* card = CardAs<TSimBlockCard>(place))
        Bus.Locked([&] { card->SetShortCircuit(shortCircuit); });
}

void TSimRack::SetInput(int place, int input, bool level) {
    if (TSimIoCard* card = CardAs<TSimIoCard>(place))
        Bus.Locked([&] {
            const auto bit = static_cast<std::uint16_t>(1 << (input & 15));
            card->ExternalInputs = static_cast<std::uint16_t>(level ? card->ExternalInputs | bit
                                                                    : card->ExternalInputs & ~bit);
        });
}

bool TSimRack::ReplaceSerialCard() {
    // The old card goes first: its thread must not serve the bus beside the new one's.
    SerialCard.reset();
    switch (mLine) {
    case TSerialLine::PseudoTerminal:
        SerialCard = NewPtyCard(Bus, NoSerialCard);
        break;
    case TSerialLine::InProcess:
        // A new name for every card, as a new terminal has.
        SerialCard = std::make_unique<TInProcessSerialCard>(
            // A path below a file, which no real port can ever have.
            Bus, "/dev/null/zelm-card-" + std::to_string(++mCardsMade));
        break;
    case TSerialLine::None:
        break;
    }
    return SerialCard != nullptr;
}

TRackState TSimRack::State() const {
    TRackState state;
    Bus.Locked([&] {
        state.Selected = Bus.SelectedPlace();
        for (int place = 0; place < TTrainBus::Places; ++place) {
            TPlaceState& at = state.Places[static_cast<std::size_t>(place)];
            at.Kind = mKinds[static_cast<std::size_t>(place)];
            const auto card = Bus.CardAt(place);
            if (!card)
                continue;
            at.Silent = card->Silent;
            if (!card->Silent) {
                at.Lines = card->FeedbackLines() & 15;
                at.Short = card->ShortCircuit();
            }
        }
        for (const TLine& line : Lines) {
            TLineState shown;
            shown.Kind = line.Cards.Line->Kind() == TSimBlockLine::TKind::TwoRail
                             ? TCardKind::TwoRail
                             : TCardKind::ThreeRail;
            shown.Places = line.Places;
            shown.Sections = line.Cards.Line->Sections();
            shown.Position = line.Cards.Line->Position();
            shown.Occupied = line.Cards.Line->Occupied();
            const auto middle = shown.Position + TSimBlockLine::LocomotiveLength / 2;
            const int powering =
                std::min(static_cast<int>(middle) / 4, static_cast<int>(line.Places.size()) - 1);
            const std::uint8_t word = line.Cards.Line->DriveWord(powering);
            shown.Speed = word & 15;
            shown.Down = (word & 16) != 0;
            for (std::size_t i = 0; i < line.Places.size(); ++i)
                shown.Shorts.push_back(line.Cards.Line->ShortCircuit(static_cast<int>(i)));
            state.Lines.push_back(std::move(shown));
        }
        for (int place = TTrainBus::Places - 1; place >= 0; --place) {
            if (const TSimLatchCard* latch = CardAs<TSimLatchCard>(place)) {
                state.Latch.Place = place;
                for (int evl = 0; evl < 4; ++evl)
                    state.Latch.Pins[static_cast<std::size_t>(evl)] = latch->Pins(evl);
            }
            if (const TSimIoCard* io = CardAs<TSimIoCard>(place)) {
                state.Io.Place = place;
                state.Io.Plug = io->TestPlug;
                state.Io.Outputs = io->Outputs();
                state.Io.Inputs = io->Inputs();
                state.Io.External = io->ExternalInputs;
                state.Io.StuckMask = 0;
                state.Io.StuckLevels = 0;
                for (int input = 0; input < 16; ++input) {
                    const auto level = io->Stuck(input);
                    const auto bit = static_cast<std::uint16_t>(1 << input);
                    if (level)
                        state.Io.StuckMask = static_cast<std::uint16_t>(state.Io.StuckMask | bit);
                    if (level && *level)
                        state.Io.StuckLevels =
                            static_cast<std::uint16_t>(state.Io.StuckLevels | bit);
                }
            }
        }
    });
    if (SerialCard) {
        state.Serial.Present = true;
        state.Serial.Path = SerialCard->SlavePath();
        state.Serial.HungUp = SerialCard->HungUp();
        state.Serial.Connected = SerialCard->Options().has_value();
        state.Serial.Faults = SerialCard->Faults();
    }
    return state;
}

} // namespace sim

namespace sim {

std::string TSimRack::Summary() const {
    struct TGroup {
        TCardKind Kind;
        const char* Name;
    };
    const TGroup groups[] = {{TCardKind::TwoRail, "(?)BK"}, {TCardKind::ThreeRail, "3BK"},
                             {TCardKind::Latch, "LKK"},     {TCardKind::Io, "IOK"},
                             {TCardKind::Selection, "SLK"}, {TCardKind::Test, nullptr}};
    std::string text;
    for (const TGroup& group : groups) {
        std::vector<int> places;
        if (group.Kind == TCardKind::TwoRail || group.Kind == TCardKind::ThreeRail) {
            for (const TLine& line : Lines)
                if (KindAt(line.Places.front()) == group.Kind)
                    places.insert(places.end(), line.Places.begin(), line.Places.end());
        } else {
            for (int place = 0; place < TTrainBus::Places; ++place)
                if (KindAt(place) == group.Kind)
                    places.push_back(place);
        }
        if (places.empty())
            continue;
        text += text.empty() ? "" : " \u00b7 ";
        text += group.Name ? group.Name : platform::Tr("testkaarten");
        for (std::size_t i = 0; i < places.size(); ++i)
            text += (i == 0 ? " " : ", ") + std::to_string(places[i]);
    }
    return text;
}

} // namespace sim
