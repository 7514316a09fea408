#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// Ways in which the simulated serial card can be told to misbehave. All off by default.
struct TSerialFaults {
    // The card hears nothing: no answer, no bus word reaches the rack, and a connection
    // waiting for its option byte keeps waiting (as a rack that is switched off).
    bool Silent = false;
    // The option byte comes back inverted (every bit flipped), so no bit of it matches.
    bool WrongEcho = false;
    // The echo of the option byte leaves this long after the option byte was taken.
    std::uint32_t EchoDelayMs = 0;
    // The answer to every bus word leaves this long after the word was taken.
    std::uint32_t ReplyDelayMs = 0;
    // Every answer is followed by this many more bytes, each the inverse of the answer.
    int ExtraBytes = 0;
    // The card answers this many more bus words and hangs up when the next one comes, instead
    // of answering it; negative: never. Counts down as words are answered. (Hanging up right
    // after an answer would lose it: the hang-up discards what the client has not read.)
    int HangUpAfterWords = -1;
    // The card answers this many more bus words and falls silent (as Silent) when the next
    // one comes; negative: never. Counts down as words are answered.
    int SilentAfterWords = -1;
};

// One byte the card took from the line, and the line speed at that moment (baud; 0 for a
// speed the card does not know).
struct TLineByte {
    std::uint8_t Byte;
    int Baud;

    bool operator==(const TLineByte&) const = default;
};

// The serial interface card in front of a simulated rack, whatever line it sits on: a
// pseudo-terminal (TSimSerialCard), or the program's own process (TInProcessSerialCard). A
// connection starts when the program opens its end of the line; its first byte taken at 9600
// baud is the option byte, which the card echoes; from then on it takes bus words at 19200
// baud when bit 3 of the option byte asked for it, else at 9600, and answers each with exactly
// one byte: the addressed card's feedback value for a data strobe, the echo of the word
// otherwise. A byte at another speed would be garbage on a real line and gets no answer.
class TSerialCard {
public:
    virtual ~TSerialCard() = default;

    // The port the program opens to reach the card.
    virtual const std::string& SlavePath() const = 0;
    virtual void SetFaults(const TSerialFaults& faults) = 0;
    virtual TSerialFaults Faults() const = 0;
    // Every byte taken from the line so far, in order, including those that got no answer.
    virtual std::vector<TLineByte> Received() const = 0;
    // Waits until at least `count` bytes were taken; false when `timeoutMs` passed first.
    virtual bool WaitForReceived(std::size_t count, std::uint32_t timeoutMs) const = 0;
    // The option byte of the present connection, none before the handshake.
    virtual std::optional<std::uint8_t> Options() const = 0;
    // Closes the card's end of the line at once, so that the program's end sees a hang-up.
    virtual void HangUp() = 0;
    // True once the card has hung up; it serves nothing after that.
    virtual bool HungUp() const = 0;
    // Every byte takes its time on the line (where the line has a time of its own).
    virtual void SetWireTiming(bool /*on*/) {}
};

} // namespace sim
