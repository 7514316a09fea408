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

// Makes the link at `link` again by unlink and symlink, to `target`, under its old inode
// number. The file system gives a new file the lowest number free near its folder: where
// another file's number came free below the link's (tests beside this one make and remove
// files), the link takes that one, and is kept aside to fill it until it takes its own.
inline void Relink(const std::string& link, const std::string& target, ino_t inode) {
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
    for (int filler = 0; InodeOf(link) != inode && filler < 500; ++filler) {
        std::filesystem::rename(link, link + ".filler" + std::to_string(filler));
        std::filesystem::create_symlink(target, link);
    }
}
