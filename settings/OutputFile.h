#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace bus {

// Every file the program writes (the settings file, a report, a capture, a window's save)
// goes by one rule:
// - "-" is standard output, and a name of an open descriptor (/dev/stdout, /dev/stderr,
//   /dev/fd/N) is that descriptor;
// - a regular file, a link to one, or a name that does not exist yet is replaced in one step
//   (ReplaceFile);
// - anything else that exists (a FIFO, a character device, a terminal) is opened and written
//   where it is, never replaced.
// Every write is checked to its end: short writes, the flush to the disc and the close.

// Whether `path` names standard output.
bool IsStandardOutput(const std::string& path);

// Checks, writing nothing, that a file can be written at `path`: for a new or regular file,
// its folder exists and may be written (or the file itself, where the folder may not); the
// name is not a folder. False with the reason.
bool CheckOutputFile(const std::string& path, std::string& error);

// Writes the whole of `bytes` to `path` by the rule above. On failure a file that was to be
// replaced stays as it was, and `error` holds the reason. A FIFO without a reader, or one
// whose reader takes nothing, is given up after StallLimitMs.
bool SaveFile(const std::string& path, std::string_view bytes, std::string& error);

// How long a write waits for a FIFO's reader, or for room in a pipe, before it gives up.
inline constexpr int StallLimitMs = 10000;

// Replaces a file with `bytes` so that the old file or the new one is there, never a mix:
// the bytes go to a temporary file in the same folder, are flushed to the disc, and the
// temporary file is renamed over the old one. A symbolic link stays a link: the file at the
// end of its chain is replaced, in that file's own folder, and a dangling link gets the file
// it names. The new file keeps the old one's permissions and, as far as the process may set
// them, its owner and group. In a folder where no temporary file can be made (no right to
// write it, a read-only mount), a file the user may write is rewritten in place instead,
// without the promise of old or new. On failure the old file stays as it was, save when the
// in-place rewrite itself fails, and `error` holds the system's reason.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& error);

// A file written as it goes (a capture streamed during a run), by the same rule: a regular
// file is replaced at once by a new one that holds `head` (so that a stream that cannot
// start leaves the old file as it was) and grows from there; a FIFO is opened when its reader
// comes, which may be after the stream began.
class TOutputStream {
public:
    virtual ~TOutputStream() = default;
    // Writes what it can of `bytes` within `waitMs` (waiting for a FIFO's reader, or for room
    // in a pipe): the number of bytes written, 0 when none could be in that time, -1 on an
    // error, with its reason. A regular file takes everything at once.
    virtual std::ptrdiff_t WriteSome(std::string_view bytes, int waitMs, std::string& error) = 0;
    // Flushes a file to the disc and closes it; false with the reason.
    virtual bool Close(std::string& error) = 0;
};

// Opens a stream at `path` whose first bytes are `head`; nullptr with the reason.
std::unique_ptr<TOutputStream> OpenOutputStream(const std::string& path, std::string_view head,
                                                std::string& error);

} // namespace bus
