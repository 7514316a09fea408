#pragma once

#include "bus/BusRecorder.h"

#include <memory>

#include <functional>

namespace tavo {
class TTavoCom;
}
namespace serial {
class EComPort;
}

namespace bus {

class TParTransport;

// One way to the rack as the bus uses it: the serial card through its link, the parallel
// card through the transport's queues, debug mode's stand-in for a serial card, or a serial
// connection that was never set up. The bus sends through the one its state chooses.
class TBusTransport {
public:
    virtual ~TBusTransport() = default;
    // The way as the capture names it.
    virtual TEventTransport EventTransport() const = 0;
    // Puts one word on the bus: the word, word + SendFailed when the way did not take it, or
    // word + NotConnected when nothing could be sent.
    virtual int Send(int word) = 0;
    // The next reply: a byte, NoDataYet or NotConnected.
    virtual int Read() = 0;
};

// The serial card: the port's queues purged and one byte written; a read waits up to a
// second for one byte. A failed line goes to `lineLost` before the error is raised.
std::unique_ptr<TBusTransport>
MakeSerialTransport(tavo::TTavoCom& link, std::function<void(const serial::EComPort&)> lineLost);
// The parallel card: the word into the transport's queue, the oldest result out of it.
std::unique_ptr<TBusTransport> MakeParallelTransport(TParTransport& parallel);
// Debug mode: nothing is sent, every read answers 72 ("H") at once.
std::unique_ptr<TBusTransport> MakeDebugTransport();
// A serial connection never set up: nothing is sent, `notConnected` hears of every attempt.
std::unique_ptr<TBusTransport> MakeNotConnectedTransport(std::function<void()> notConnected);

} // namespace bus
