#include "bus/Bus.h"

#include "bus/ParallelTransport.h"
#include "platform/EventPump.h"
#include "serial/ComBackend.h"
#include "platform/Tick.h"
#include "serial/ComError.h"
#include "serial/SerialCardLink.h"

#include <algorithm>
#include <thread>

namespace bus {

// Passes the serial card's handshake on to the capture.
class TBus::THandshakeTap : public tavo::THandshakeObserver {
public:
    explicit THandshakeTap(TBusRecorder& capture) : mCapture(capture) {}

    void OptionByteSent(std::uint8_t option) override {
        mCapture.RecordHandshake(TEventKind::OptionByte, option);
    }
    void EchoReceived(const std::string& echo) override {
        if (echo.size() == 1)
            mCapture.RecordHandshake(TEventKind::OptionEcho, static_cast<std::uint8_t>(echo[0]));
        else
            mCapture.RecordHandshake(TEventKind::OptionEcho, 0, TEventStatus::NoReply);
    }
    void SpeedChanged(int baud) override {
        mCapture.RecordHandshake(TEventKind::SpeedChange, baud / 100);
    }

private:
    TBusRecorder& mCapture;
};

TBus::TBus(TParTransport& parallel, std::unique_ptr<serial::TComBackend> serialLine)
    : mParallel(parallel), mLink(std::make_unique<tavo::TTavoCom>(nullptr, std::move(serialLine))),
      mSerialPath(MakeSerialTransport(*mLink,
                                      [this](const serial::EComPort& error) { LineLost(error); })),
      mParallelPath(MakeParallelTransport(parallel)), mDebugPath(MakeDebugTransport()),
      mNotConnectedPath(MakeNotConnectedTransport(
          [this] { Notify([](TBusListener& listener) { listener.BusNotConnected(); }); })) {
    ChoosePath();
    mLink->SetDigitaalSysteem(tavo::SerieleKaart);
    mLink->SetPort("COM2");
    mLink->KortsluitStop = false;
    mLink->TimeOut = true;
    mLink->KortsluitMelding = false;
    mLink->TestBedrijf = false;
    mLink->SetBaudRate(serial::br9600);
}

// Destroying the link closes an open port with its DTR pulse.
TBus::~TBus() {
    mLink->SetHandshakeObserver(nullptr);
}

void TBus::SetCapture(TBusRecorder* capture) {
    mCapture = capture;
    mHandshakeTap = capture ? std::make_unique<THandshakeTap>(*capture) : nullptr;
    mLink->SetHandshakeObserver(mHandshakeTap.get());
}

void TBus::ChoosePath() {
    mPath = mTransport == TTransport::Parallel ? mParallelPath.get()
            : mDebugMode                        ? mDebugPath.get()
            : mReady                            ? mSerialPath.get()
                                                : mNotConnectedPath.get();
}

void TBus::SetTransport(TTransport transport) {
    mTransport = transport;
    ChoosePath();
}

void TBus::SetDebugMode(bool on) {
    mDebugMode = on;
    ChoosePath();
}

void TBus::SetReady(bool ready) {
    mReady = ready;
    ChoosePath();
}

void TBus::RecordNoReply() {
    if (mCapture)
        mCapture->RecordReply(0, EventTransport(), TEventStatus::NoReply);
}

void TBus::Notify(const std::function<void(TBusListener&)>& event) {
    // A copy: a listener may come or go while it is told.
    const std::vector<TBusListener*> listeners = mListeners;
    for (TBusListener* listener : listeners)
        event(*listener);
}

void TBus::AddListener(TBusListener& listener) {
    mListeners.push_back(&listener);
}

void TBus::RemoveListener(TBusListener& listener) {
    std::erase(mListeners, &listener);
}

// ---- the bus operations ----

int TBus::SendBusWord(int word) {
    if (!mCapture)
        return mPath->Send(word);
    try {
        const int result = mPath->Send(word);
        mCapture->RecordWord(word, EventTransport(),
                             result == word                   ? TEventStatus::Ok
                             : result >= word + NotConnected ? TEventStatus::NotConnected
                                                              : TEventStatus::SendFailed);
        return result;
    } catch (const serial::EComPort&) {
        mCapture->RecordWord(word, EventTransport(), TEventStatus::LineLost);
        throw;
    }
}

int TBus::ReadBusFeedback() {
    if (!mCapture)
        return mPath->Read();
    try {
        const int result = mPath->Read();
        // A read that found nothing yet is no event: a wait that gives up records that once.
        if (result < NoDataYet)
            mCapture->RecordReply(result, EventTransport(), TEventStatus::Ok);
        else if (result == NotConnected)
            mCapture->RecordReply(0, EventTransport(), TEventStatus::NotConnected);
        return result;
    } catch (const serial::EComPort&) {
        mCapture->RecordReply(0, EventTransport(), TEventStatus::LineLost);
        throw;
    }
}

void TBus::LineLost(const serial::EComPort& error) {
    // The device failed (an adapter pulled out, a hang-up): the caller's handler shows the
    // error once; the bus counts as not connected until a set-up connects again, so that a
    // running test stops instead of raising the same error at every tick. A port the program
    // closed itself ("LED uit") is no device failure and keeps its errors.
    if (!mLink->Connected() || error.SystemCode == 0)
        return;
    SetReady(false);
    // Closed at once: a USB-serial driver gives a device that is still held open no new
    // node, so an adapter plugged in again would come back under another name.
    try {
        mLink->ClosePort();
    } catch (const serial::EComPort&) {
        // The device is gone; closing releases it all the same.
    }
    Notify([](TBusListener& listener) { listener.BusLineLost(); });
}

void TBus::CloseSerialLink() {
    mLink->ClosePort();
}

void TBus::CheckLine() {
    if (mTransport != TTransport::Serial || !mReady || mDebugMode || Busy())
        return;
    if (const std::int32_t code = mLink->LineFailure()) {
        const serial::EComPort error(serial::ceRead, code);
        LineLost(error);
        throw error;
    }
}

void TBus::WriteDataPort(int word) {
    platform::PortOut(platform::BusOutPort, static_cast<std::uint16_t>(word));
    if (mCapture)
        mCapture->RecordPort(TEventKind::DataPortWrite, word);
}

int TBus::ReadStatusPort() {
    const int value = platform::PortIn(platform::BusInPort);
    if (mCapture)
        mCapture->RecordPort(TEventKind::StatusPortRead, value);
    return value;
}

int TBus::AwaitFeedback(bool processEvents) {
    const std::uint32_t start = platform::GetTickCount();
    for (;;) {
        if (processEvents)
            platform::ProcessMessages();
        if (mClosing)
            return NoDataYet;
        const int reply = ReadBusFeedback();
        if (reply < NoDataYet || reply == NotConnected)
            return reply;
        if (platform::TicksPassed(start, AwaitBoundMs)) {
            RecordNoReply();
            return NoDataYet;
        }
        // The parallel transport answers at once; give its worker the processor meanwhile.
        std::this_thread::yield();
    }
}

void TBus::DrainFeedback(bool processEvents) {
    for (int replies = 0; replies < DrainBound && !mClosing; ++replies) {
        if (processEvents)
            platform::ProcessMessages();
        if (ReadBusFeedback() >= NoDataYet)
            return;
    }
}

// ---- exchanges ----

TBus::TExchange::TExchange(TBus& bus) : mBus(bus) {
    ++mBus.mDepth;
}

TBus::TExchange::~TExchange() {
    if (--mBus.mDepth > 0)
        return;
    // What was asked for while this exchange waited runs now, each as an exchange of its own.
    while (!mBus.mWaiting.empty()) {
        const auto work = std::move(mBus.mWaiting.front());
        mBus.mWaiting.pop_front();
        ++mBus.mDepth;
        work();
        --mBus.mDepth;
    }
}

void TBus::WhenIdle(std::function<void()> work) {
    if (Busy()) {
        mWaiting.push_back(std::move(work));
        return;
    }
    TExchange exchange(*this);
    work();
}

} // namespace bus
