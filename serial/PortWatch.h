#pragma once

#include "serial/PortNames.h"

#include <cstdint>
#include <optional>
#include <string>

namespace serial {

// A file as the system tells one from another: the file system and inode, and for a device
// node the device number it stands for.
struct TDeviceNode {
    std::uint64_t FileSystem = 0;
    std::uint64_t Inode = 0;
    std::uint64_t Device = 0;
    // When the entry last changed, in ns: an entry made anew under a freed inode number
    // differs by it.
    std::int64_t Changed = 0;
    bool PseudoTerminal = false; // the slave end of a pseudo-terminal

    bool operator==(const TDeviceNode&) const = default;
};

// The device node `path` leads to (through symbolic links); none when it leads nowhere.
std::optional<TDeviceNode> DeviceNodeOf(const std::string& path);
// The path's own entry: a symbolic link itself, not what it leads to; none when there is none.
std::optional<TDeviceNode> EntryOf(const std::string& path);

// Watches for a serial port that was lost (an adapter pulled out, a far end that hung up) to
// come back: under the same by-id name, or as the same adapter (USB identity and serial
// number) under any path, or under the same path when nothing there says it is another
// adapter. It looks only when asked, so the caller chooses how often; a look reads the port
// list and stats a path or two, and opens nothing.
class TPortWatch {
public:
    // Watches for `port`, as the port list knew it while it was in use, whose device node was
    // `node` and whose path's own entry was `entry` then. Looks at once whether it is gone, so
    // that a port already gone counts as gone; a port already back under another node is
    // found by the first Look.
    void Start(const TPortInfo& port, std::optional<TDeviceNode> node,
               std::optional<TDeviceNode> entry);
    void Stop() { mWatching = false; }
    bool Watching() const { return mWatching; }
    const TPortInfo& Port() const { return mPort; }

    // One look: the path under which the port is back, which ends the watch; empty while it
    // is not back. A port that still shows the node it had when it was lost has not come back
    // until it was seen gone: a line can fail while its device stays (a hang-up without a
    // pull). A pseudo-terminal never comes back: its number, once free, is given to the next
    // program that asks, so a path that still leads there unchanged may well lead to another
    // program's terminal. It is back only under a symbolic link made anew (laid to the new
    // terminal), never under its own name.
    std::string Look();

private:
    std::string Candidate() const;

    TPortInfo mPort;
    std::optional<TDeviceNode> mLostNode;
    std::optional<TDeviceNode> mLostEntry;
    bool mSeenGone = false;
    bool mWatching = false;
};

} // namespace serial
