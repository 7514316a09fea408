// The connection set-up: the chosen transport prepared, the serial card's handshake, and the
// initialisation sequence.
#include "bus/Bus.h"
#include "bus/ParallelTransport.h"
#include "platform/EventPump.h"
#include "platform/Tick.h"
#include "serial/ComError.h"
#include "serial/SerialCardLink.h"

#include <thread>

namespace bus {

namespace {

// A card that stops answering in the middle of the initialisation sequence: after this many
// reads in a row without an answer (a second each) the set-up gives up.
constexpr int SilentReadsBeforeGivingUp = 3;

} // namespace

TSetUpResult TBus::SetUp(const TSetUpChoice& choice) {
    TExchange exchange(*this);
    mLastChoice = choice;
    mSetUpRunning = true;
    Notify([](TBusListener& listener) { listener.SetUpStarted(); });
    SetReady(false);
    SetTransport(choice.Parallel ? TTransport::Parallel : TTransport::Serial);
    TSetUpResult result = choice.Parallel ? SetUpParallel(choice) : SetUpSerial(choice);
    result.Transport = mTransport;
    result.Ready = mReady;
    result.Automatic = choice.Automatic;
    mSetUpRunning = false;
    Notify([&result](TBusListener& listener) { listener.SetUpFinished(result); });
    return result;
}

TSetUpResult TBus::SetUpParallel(const TSetUpChoice& choice) {
    TSetUpResult result;
    if (!mParallelAccess.Granted) {
        result.Outcome = TSetUpOutcome::ParallelRefused;
        result.Reason = platform::AccessReasonText(mParallelAccess);
        return result;
    }
    mParallel.ResetTransport(choice.Clock);
    SetReady(true);
    // Its port accesses cannot fail in a way the program sees: every word has its answer.
    SendInitialisationSequence(false);
    return result;
}

TSetUpResult TBus::SetUpSerial(const TSetUpChoice& choice) {
    TSetUpResult result;
    try {
        mLink->ClosePort();
        mBaud19200 = choice.Baud19200;
        mLink->SetBaudRate(mBaud19200 ? serial::br19200 : serial::br9600);
        mLink->SetPort(choice.Port);
        result.Port = mLink->Port();
        mLink->KortsluitStop = choice.KortsluitStop;
        mLink->TimeOut = choice.TimeOut;
        mLink->KortsluitMelding = choice.KortsluitMelding;
        mLink->TestBedrijf = choice.TestBedrijf;
        mLink->OpenPort();
        mLink->SetDtrLine(true);
        platform::WaitWithEvents(1000);
        if (mClosing) {
            result.Outcome = TSetUpOutcome::Closing;
            return result;
        }
        if (!mLink->CheckVerbinding() && !mDebugMode) {
            result.Outcome = TSetUpOutcome::CardSilent;
            return result;
        }
        SetReady(true);
        if (!SendInitialisationSequence(true)) {
            SetReady(false);
            result.Outcome = mClosing ? TSetUpOutcome::Closing : TSetUpOutcome::CardSilent;
        }
    } catch (const serial::EComPort& error) {
        SetReady(false); // a line lost in the middle of the initialisation sequence
        result.Outcome = TSetUpOutcome::PortUnusable;
        result.Reason = serial::ExplainedMessage(error);
    } catch (const std::exception& error) {
        SetReady(false);
        result.Outcome = TSetUpOutcome::PortUnusable;
        result.Reason = error.what();
    }
    result.Port = mLink->Port();
    return result;
}

bool TBus::SendInitialisationSequence(bool serial) {
    for (int place = 0; place < 64; ++place) {
        for (const int word : {AddressWord(place), DataWord(0x20), DataWord(0)}) {
            SendBusWord(word);
            int silentReads = 0;
            const std::uint32_t start = platform::GetTickCount();
            for (;;) {
                if (serial)
                    platform::ProcessMessages();
                if (mClosing)
                    return false;
                const int result = ReadBusFeedback();
                if (result < NoDataYet || result == NotConnected)
                    break;
                if (serial) {
                    if (++silentReads >= SilentReadsBeforeGivingUp) {
                        RecordNoReply();
                        return false;
                    }
                } else if (platform::TicksPassed(start, 3000)) {
                    return false; // a worker that never answers; cannot happen with a card
                } else {
                    std::this_thread::yield();
                }
            }
        }
    }
    return true;
}

} // namespace bus
