#pragma once

#include "cards/CardModel.h"

#include <array>
#include <span>
#include <string_view>

namespace cards {

class TCardModels;

// What an action takes beyond its name: a bit, strobe item, group, section or pin in Index;
// an address, rack, EVL or speed position in Value; a box's state in Ticked.
struct TActionArgs {
    int Index = 0;
    int Value = 0;
    bool Ticked = false;
};

// A number an action takes, by its name in a command, with its range.
struct TActionField {
    const char* Name = nullptr; // none: the action takes no number here
    int Minimum = 0;
    int Maximum = 0;
    int TActionArgs::*Into = nullptr;
};

// One action of a card page, written once for every front-end: its page and name, what it
// takes, whether the page shows its control enabled now (a disabled control takes no click),
// and what it does to the models.
struct TPageAction {
    TPage Page;
    const char* Do;
    std::array<TActionField, 2> Fields;
    bool Ticked; // takes a box's state
    bool (*Enabled)(TCardModels& models, const TActionArgs& args);
    void (*Call)(TCardModels& models, const TActionArgs& args);
};

// Every card page's actions.
std::span<const TPageAction> PageActions();
// The action `name` of `page`; none when the page has no such action.
const TPageAction* FindPageAction(TPage page, std::string_view name);

} // namespace cards
