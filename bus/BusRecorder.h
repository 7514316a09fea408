#pragma once

#include <cstdint>

namespace bus {

// What a recorded event is. The numbers are those of the capture files.
enum class TEventKind : std::uint8_t {
    Word = 0,           // a bus word sent
    Reply = 1,          // a reply read, or a wait for one given up
    DataPortWrite = 2,  // the parallel card's data port written by hand (PCK test mode)
    StatusPortRead = 3, // the parallel card's status port read by hand
    OptionByte = 4,     // the serial card's handshake: the option byte sent
    OptionEcho = 5,     // its echo (none: status NoReply)
    SpeedChange = 6,    // the line moved to another speed (Value: the baud rate / 100)
    Note = 7,           // a note of the user's
};

enum class TEventTransport : std::uint8_t { Serial = 0, Parallel = 1, Debug = 2 };

enum class TEventStatus : std::uint8_t {
    Ok = 0,
    NoReply = 1,      // no reply came
    NotConnected = 2, // the serial connection was never set up
    SendFailed = 3,   // the transport did not take the word
    LineLost = 4,     // the serial line failed
};

// Hears everything the bus does, on the bus's thread: the capture taps the bus through it.
class TBusRecorder {
public:
    virtual ~TBusRecorder() = default;
    virtual void RecordWord(int word, TEventTransport transport, TEventStatus status) = 0;
    virtual void RecordReply(int value, TEventTransport transport, TEventStatus status) = 0;
    virtual void RecordPort(TEventKind kind, int value) = 0;
    virtual void RecordHandshake(TEventKind kind, int value,
                                 TEventStatus status = TEventStatus::Ok) = 0;
};

} // namespace bus
