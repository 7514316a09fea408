#pragma once

#include "platform/Tick.h"
#include "sim/SimSerialCard.h"

#include <memory>
#include <string>
#include <vector>

// A new simulated serial card on the terminal number `pty`, once that number is free again
// (the program lets a lost terminal go when it finds it gone). Tests beside this one take and
// free numbers too: a lower number that is free is held meanwhile, as the system gives the
// lowest; none is given within three seconds when another program holds `pty`.
inline std::unique_ptr<sim::TSimSerialCard> SerialCardUnder(sim::TTrainBus& rack,
                                                            const std::string& pty) {
    const auto number = [](const std::string& path) {
        return std::stoi(path.substr(path.find_last_of('/') + 1));
    };
    const std::uint32_t start = platform::GetTickCount();
    std::vector<std::unique_ptr<sim::TSimSerialCard>> held;
    auto card = std::make_unique<sim::TSimSerialCard>(rack);
    while (card->SlavePath() != pty && !platform::TicksPassed(start, 3000)) {
        if (number(card->SlavePath()) < number(pty))
            held.push_back(std::move(card));
        else
            platform::Sleep(10);
        card = std::make_unique<sim::TSimSerialCard>(rack);
    }
    return card;
}
