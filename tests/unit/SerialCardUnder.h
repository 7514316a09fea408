#pragma once

#include "platform/Tick.h"
#include "sim/SimSerialCard.h"

#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

// A new simulated serial card on the terminal number `pty`, once that number is free again
// (the program lets a lost terminal go when it finds it gone). Tests beside this one take and
// free numbers too: a lower number that is free is held meanwhile, as the system gives the
// lowest. Another program that took `pty` in the moment it was free (a card or a browser
// test's rack beside this test) holds it for seconds: none is given only when it keeps it for
// twenty.
inline std::unique_ptr<sim::TSimSerialCard> SerialCardUnder(sim::TTrainBus& rack,
                                                            const std::string& pty) {
    const auto number = [](const std::string& path) {
        return std::stoi(path.substr(path.find_last_of('/') + 1));
    };
    const std::uint32_t start = platform::GetTickCount();
    std::vector<std::unique_ptr<sim::TSimSerialCard>> held;
    auto card = std::make_unique<sim::TSimSerialCard>(rack);
    while (card->SlavePath() != pty && !platform::TicksPassed(start, 20000)) {
        if (number(card->SlavePath()) < number(pty))
            held.push_back(std::move(card));
        else
            platform::Sleep(10);
        card = std::make_unique<sim::TSimSerialCard>(rack);
    }
    return card;
}

// The inode number of the entry at `path` itself (a link, not what it leads to); 0 for none.
inline ino_t InodeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Makes the link at `link` again to `target` as unlink and symlink make it where the file
// system gives the freed inode number back at once (a quiet /dev or /run): gone for a moment,
// then an entry under the same inode number with the same target and a new change time. A
// second name keeps the number meanwhile: on a busy disk any file made near it may take it.
inline void Relink(const std::string& link, const std::string& target) {
    if (std::filesystem::read_symlink(link) != target) {
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target, link);
        return;
    }
    const std::string aside = link + ".aside";
    std::filesystem::create_hard_link(link, aside);
    std::filesystem::remove(link);
    std::filesystem::create_hard_link(aside, link);
    std::filesystem::remove(aside);
}
