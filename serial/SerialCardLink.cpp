#include "serial/SerialCardLink.h"

#include "platform/EventPump.h"
#include "platform/Tick.h"

namespace tavo {

TTavoCom::TTavoCom(serial::TComponent* owner, std::unique_ptr<serial::TComBackend> backend)
    : serial::TComPort(owner, std::move(backend)) {
    OnBeforeOpen = [this](serial::TComponent*) { VoorOpenen(); };
    OnBeforeClose = [this](serial::TComponent*) { VoorSluiten(); };
}

TTavoCom::~TTavoCom() {
    try {
        ClosePort();
    } catch (const std::exception& error) {
        serial::ShowException(error);
    }
}

void TTavoCom::SetDigitaalSysteem(std::uint8_t system) {
    BeginConfiguration();
    mDigitaalSysteem = system;
    if (system == SerieleKaart) {
        SetBaudRate(serial::br9600);
        SetDataBits(serial::dbEight);
        SetStopBits(serial::sbOneStopBit);
        Parity().SetCheck(false);
        SetEvents(serial::TComEvents());
        Buffer().SetInputSize(1024);
        Buffer().SetOutputSize(1024);
        FlowControl().SetFlowControl(serial::fcNone);
        FlowControl().SetControlDTR(serial::dtrEnable);
        Timeouts().SetReadInterval(10);
        Timeouts().SetReadTotalMultiplier(0);
        Timeouts().SetReadTotalConstant(100);
        Timeouts().SetWriteTotalMultiplier(0);
        Timeouts().SetWriteTotalConstant(100);
    }
    EndConfiguration();
}

std::uint8_t TTavoCom::OptionByte() const {
    return static_cast<std::uint8_t>((KortsluitStop ? 0x01 : 0) | (TimeOut ? 0x02 : 0) |
                                     (KortsluitMelding ? 0x04 : 0) | (mHogeBaudrate ? 0x08 : 0) |
                                     (TestBedrijf ? 0x10 : 0));
}

bool TTavoCom::CheckVerbinding() {
    if (mDigitaalSysteem != SerieleKaart)
        return false;
    if (mKaartOk)
        return true;
    mKaartOk = InitSerieleKaart();
    return mKaartOk;
}

bool TTavoCom::InitSerieleKaart() {
    // The card needs time after DTR went high; the window keeps running meanwhile.
    platform::WaitWithEvents(1000);
    const std::uint8_t option = OptionByte();
    PurgeQueues(true, true);
    Verstuur(std::string(1, static_cast<char>(option)));
    if (mObserver)
        mObserver->OptionByteSent(option);
    std::string echo;
    ReadText(echo, 1);
    if (mObserver)
        mObserver->EchoReceived(echo);
    if (echo.size() != 1 || static_cast<std::uint8_t>(echo[0]) != option)
        return false;
    // The card changes speed right after its echo, so nothing may go out before this.
    if (mHogeBaudrate) {
        SetBaudRate(serial::br19200);
        if (mObserver)
            mObserver->SpeedChanged(19200);
    }
    return true;
}

void TTavoCom::Verstuur(const std::string& text) {
    if (Connected())
        WriteText(text);
}

void TTavoCom::VoorOpenen() {
    if (mDigitaalSysteem == SerieleKaart && BaudRate() == serial::br19200) {
        SetBaudRate(serial::br9600);
        mHogeBaudrate = true;
    } else {
        mHogeBaudrate = false;
    }
    mKaartOk = false;
}

void TTavoCom::VoorSluiten() {
    mKaartOk = false;
    if (mDigitaalSysteem == SerieleKaart) {
        try {
            SetDtrLine(false);
            platform::DesignedSleep(250); // the card resets on a DTR pulse of this length
            SetDtrLine(true);
        } catch (const serial::EComPort&) {
            // The line is gone (hung up, adapter pulled out): there is no card to reset, and
            // the port must still close so that it, or another one, can be opened again.
        }
    }
}

} // namespace tavo
