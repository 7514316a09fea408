#include "serial/ComPort.h"

#include <limits>
#include <utility>

namespace serial {

TCustomComPort::TCustomComPort(TComponent* owner, std::unique_ptr<TComBackend> backend)
    : TComponent(owner), mBackend(backend ? std::move(backend) : CreatePlatformComBackend()) {}

TCustomComPort::~TCustomComPort() {
    try {
        ClosePort();
    } catch (const std::exception& error) {
        ShowException(error);
    }
    // A close that failed still releases the device, with the backend.
}

bool TCustomComPort::CanApply() const {
    return mConnected && mConfigurationDepth == 0 && !Loading();
}

void TCustomComPort::SetPort(const std::string& value) {
    if (value == mPort)
        return;
    mPort = value;
    if (mConnected && !Loading()) {
        ClosePort();
        OpenPort();
    }
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
    if (value == mBaudRate)
        return;
    mBaudRate = value;
    ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(std::int32_t value) {
    if (value == mCustomBaudRate)
        return;
    mCustomBaudRate = value;
    ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits value) {
    if (value == mDataBits)
        return;
    mDataBits = value;
    ApplyLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits value) {
    if (value == mStopBits)
        return;
    mStopBits = value;
    ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value) {
    if (value == mDiscardNull)
        return;
    mDiscardNull = value;
    ApplyLineSettings();
}

void TCustomComPort::SetEventChar(std::uint8_t value) {
    if (value == mEventChar)
        return;
    mEventChar = value;
    ApplyLineSettings();
}

void TCustomComPort::SetEvents(TComEvents value) {
    mEvents = value;
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
    if (value == mSyncMethod)
        return;
    if (mConnected && !Loading())
        throw EComPort(ceChangeWhileConnected);
    mSyncMethod = value;
}

void TCustomComPort::SetConnected(bool value) {
    if (Loading()) {
        mConnectWhenLoaded = value;
        return;
    }
    if (value == mConnected)
        return;
    if (value)
        OpenPort();
    else
        ClosePort();
}

void TCustomComPort::Loaded() {
    TComponent::Loaded();
    if (!mConnectWhenLoaded || mConnected)
        return;
    // An error here must not end the building of the window that owns the port.
    try {
        OpenPort();
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

void TCustomComPort::BeginConfiguration() {
    ++mConfigurationDepth;
}

void TCustomComPort::EndConfiguration() {
    if (mConfigurationDepth == 0)
        return;
    if (--mConfigurationDepth == 0)
        ApplyAllSettings();
}

void TCustomComPort::OpenPort() {
    if (mConnected)
        return;
    NotifyBeforeOpen();
    OpenDevice();
    mConnected = true;
    try {
        ApplyAllSettings();
    } catch (...) {
        CloseDevice();
        mConnected = false;
        throw;
    }
    // Line events are not watched (see SetEvents), so nothing is started here.
    NotifyAfterOpen();
    const TModemLines lines = ReadModemLines();
    NotifyCTSChange(lines.CTS);
    NotifyDSRChange(lines.DSR);
    NotifyRLSDChange(lines.RLSD);
}

void TCustomComPort::ClosePort() {
    if (!mConnected)
        return;
    NotifyCTSChange(false);
    NotifyDSRChange(false);
    NotifyRLSDChange(false);
    NotifyBeforeClose();
    CancelTransfers();
    CloseDevice();
    mConnected = false;
    NotifyAfterClose();
}

void TCustomComPort::OpenDevice() {
    if (const int code = mBackend->Open(mPort))
        throw EComPort(ceOpen, code);
}

void TCustomComPort::CloseDevice() {
    mBackend->Close();
}

void TCustomComPort::ApplyAllSettings() {
    ApplyQueueSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

void TCustomComPort::ApplyQueueSizes() {
    if (!CanApply())
        return;
    if (const int code = mBackend->SetQueueSizes(mBuffer.InputSize(), mBuffer.OutputSize()))
        throw EComPort(ceSetupComm, code);
}

void TCustomComPort::ApplyLineSettings() {
    if (!CanApply())
        return;
    if (const int code = mBackend->SetLine(DeviceControlBlock()))
        throw EComPort(ceSetState, code);
}

void TCustomComPort::ApplyTimeoutSettings() {
    if (!CanApply())
        return;
    if (const int code = mBackend->SetTimeouts(CommTimeouts()))
        throw EComPort(ceSetTimeouts, code);
}

TDcb TCustomComPort::DeviceControlBlock() const {
    const bool replace = mParity.Check() && mParity.Replace();
    TDcb dcb;
    dcb.BaudRate = static_cast<std::uint32_t>(mBaudRate == brCustom ? mCustomBaudRate
                                                                    : BaudRateSpeed(mBaudRate));
    dcb.fBinary = true;
    dcb.fParity = mParity.Check();
    dcb.fOutxCtsFlow = mFlowControl.OutCTSFlow();
    dcb.fOutxDsrFlow = mFlowControl.OutDSRFlow();
    dcb.fDtrControl = static_cast<std::uint8_t>(mFlowControl.ControlDTR());
    dcb.fDsrSensitivity = mFlowControl.DSRSensitivity();
    dcb.fTXContinueOnXoff = mFlowControl.TxContinueOnXoff();
    dcb.fOutX = mFlowControl.XonXoffOut();
    dcb.fInX = mFlowControl.XonXoffIn();
    dcb.fErrorChar = replace;
    dcb.fNull = mDiscardNull;
    dcb.fRtsControl = static_cast<std::uint8_t>(mFlowControl.ControlRTS());
    dcb.fAbortOnError = false;
    dcb.XonLim = static_cast<std::uint16_t>(mBuffer.InputSize() / 4);
    dcb.XoffLim = dcb.XonLim;
    dcb.ByteSize = static_cast<std::uint8_t>(5 + mDataBits);
    dcb.Parity = static_cast<std::uint8_t>(mParity.Bits());
    dcb.StopBits = static_cast<std::uint8_t>(mStopBits);
    dcb.XonChar = mFlowControl.XonChar();
    dcb.XoffChar = mFlowControl.XoffChar();
    dcb.ErrorChar = replace ? mParity.ReplaceChar() : 0;
    dcb.EvtChar = mEventChar;
    return dcb;
}

TCommTimeouts TCustomComPort::CommTimeouts() const {
    return {static_cast<std::uint32_t>(mTimeouts.ReadInterval()),
            static_cast<std::uint32_t>(mTimeouts.ReadTotalMultiplier()),
            static_cast<std::uint32_t>(mTimeouts.ReadTotalConstant()),
            static_cast<std::uint32_t>(mTimeouts.WriteTotalMultiplier()),
            static_cast<std::uint32_t>(mTimeouts.WriteTotalConstant())};
}

TModemLines TCustomComPort::ReadModemLines() {
    std::uint32_t status = 0;
    if (const int code = mBackend->ModemStatus(status))
        throw EComPort(ceModemStatus, code);
    return {(status & ModemCtsOn) != 0, (status & ModemDsrOn) != 0, (status & ModemRingOn) != 0,
            (status & ModemRlsdOn) != 0};
}

void TCustomComPort::CancelTransfers() {
    if (const int code = mBackend->Purge(PurgeTxAbort | PurgeRxAbort))
        throw EComPort(cePurge, code);
}

std::int32_t TCustomComPort::WriteText(const std::string& text) {
    if (text.empty())
        return 0;
    // The count is signed 32-bit; a longer text is written up to that many bytes.
    constexpr std::size_t most = std::numeric_limits<std::int32_t>::max();
    const auto count = static_cast<std::int32_t>(text.size() < most ? text.size() : most);
    std::int32_t written = 0;
    if (const int code = mBackend->Write(text.data(), count, written))
        throw EComPort(ceWrite, code);
    return written;
}

std::int32_t TCustomComPort::ReadText(std::string& text, std::int32_t count) {
    if (count <= 0) {
        text.clear();
        return 0;
    }
    text.resize(static_cast<std::size_t>(count));
    std::int32_t received = 0;
    const int code = mBackend->Read(text.data(), count, received);
    text.resize(static_cast<std::size_t>(received));
    if (code)
        throw EComPort(ceRead, code);
    return received;
}

void TCustomComPort::PurgeQueues(bool input, bool output) {
    const std::uint32_t flags = (input ? PurgeRxClear : 0) | (output ? PurgeTxClear : 0);
    if (const int code = mBackend->Purge(flags))
        throw EComPort(cePurge, code);
}

void TCustomComPort::SetDtrLine(bool on) {
    if (const int code = mBackend->SetDtr(on))
        throw EComPort(ceEscape, code);
}

void TCustomComPort::NotifyAfterClose() {
    if (OnAfterClose)
        OnAfterClose(this);
}

void TCustomComPort::NotifyAfterOpen() {
    if (OnAfterOpen)
        OnAfterOpen(this);
}

void TCustomComPort::NotifyBeforeClose() {
    if (OnBeforeClose)
        OnBeforeClose(this);
}

void TCustomComPort::NotifyBeforeOpen() {
    if (OnBeforeOpen)
        OnBeforeOpen(this);
}

void TCustomComPort::NotifyCTSChange(bool onOff) {
    if (OnCTSChange)
        OnCTSChange(this, onOff);
}

void TCustomComPort::NotifyDSRChange(bool onOff) {
    if (OnDSRChange)
        OnDSRChange(this, onOff);
}

void TCustomComPort::NotifyRLSDChange(bool onOff) {
    if (OnRLSDChange)
        OnRLSDChange(this, onOff);
}

} // namespace serial
