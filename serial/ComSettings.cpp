#include "serial/ComSettings.h"

#include "serial/ComPort.h"

namespace serial {

namespace {

// Stores `value` and reports whether it differs from what was stored.
template <typename T> bool Change(T& field, T value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

std::int32_t RoundQueueSize(std::int32_t size) {
    return size > 0 && size % 2 != 0 ? size - 1 : size;
}

} // namespace

std::int32_t BaudRateSpeed(TBaudRate rate) {
    static constexpr std::int32_t Speeds[] = {0,     110,    300,    600,   1200,  2400,
                                              4800,  9600,   14400,  19200, 38400, 56000,
                                              57600, 115200, 128000, 256000};
    return rate >= brCustom && rate <= br256000 ? Speeds[rate] : 0;
}

void TComParity::SetBits(TParityBits value) {
    if (Change(mBits, value))
        mComPort.ApplyLineSettings();
}

void TComParity::SetCheck(bool value) {
    if (Change(mCheck, value))
        mComPort.ApplyLineSettings();
}

void TComParity::SetReplace(bool value) {
    if (Change(mReplace, value))
        mComPort.ApplyLineSettings();
}

void TComParity::SetReplaceChar(std::uint8_t value) {
    if (Change(mReplaceChar, value))
        mComPort.ApplyLineSettings();
}

TFlowControl TComFlowControl::FlowControl() const {
    if (mControlRTS == rtsHandshake && mOutCTSFlow && !mXonXoffIn && !mXonXoffOut)
        return fcHardware;
    if (mControlRTS == rtsDisable && !mOutCTSFlow && mXonXoffIn && mXonXoffOut)
        return fcSoftware;
    if (mControlRTS == rtsDisable && !mOutCTSFlow && !mXonXoffIn && !mXonXoffOut)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
    switch (value) {
    case fcHardware:
        mControlRTS = rtsHandshake;
        mOutCTSFlow = true;
        mXonXoffIn = false;
        mXonXoffOut = false;
        break;
    case fcSoftware:
        mControlRTS = rtsDisable;
        mOutCTSFlow = false;
        mXonXoffIn = true;
        mXonXoffOut = true;
        break;
    case fcNone:
        mControlRTS = rtsDisable;
        mOutCTSFlow = false;
        mXonXoffIn = false;
        mXonXoffOut = false;
        break;
    case fcCustom:
        break;
    }
    mComPort.ApplyLineSettings();
}

void TComFlowControl::SetOutCTSFlow(bool value) {
    if (Change(mOutCTSFlow, value))
        mComPort.ApplyLineSettings();
}

void TComFlowControl::SetOutDSRFlow(bool value) {
    if (Change(mOutDSRFlow, value))
        mComPort.ApplyLineSettings();
}

void TComFlowControl::SetControlDTR(TDTRFlowControl value) {
    if (Change(mControlDTR, value))
        mComPort.ApplyLineSettings();
}

void TComFlowControl::SetControlRTS(TRTSFlowControl value) {
    if (Change(mControlRTS, value))
        mComPort.ApplyLineSettings();
}

void TComFlowControl::SetXonXoffOut(bool value) {
    if (Change(mXonXoffOut, value))
        mComPort.ApplyLineSettings();
}

void TComFlowControl::SetXonXoffIn(bool value) {
    if (Change(mXonXoffIn, value))
        mComPort.ApplyLineSettings();
}

void TComFlowControl::SetDSRSensitivity(bool value) {
    if (Change(mDSRSensitivity, value))
        mComPort.ApplyLineSettings();
}

void TComFlowControl::SetTxContinueOnXoff(bool value) {
    if (Change(mTxContinueOnXoff, value))
        mComPort.ApplyLineSettings();
}

void TComFlowControl::SetXonChar(std::uint8_t value) {
    if (Change(mXonChar, value))
        mComPort.ApplyLineSettings();
}

void TComFlowControl::SetXoffChar(std::uint8_t value) {
    if (Change(mXoffChar, value))
        mComPort.ApplyLineSettings();
}

void TComTimeouts::SetReadInterval(std::int32_t value) {
    if (Change(mReadInterval, value))
        mComPort.ApplyTimeoutSettings();
}

void TComTimeouts::SetReadTotalMultiplier(std::int32_t value) {
    if (Change(mReadTotalMultiplier, value))
        mComPort.ApplyTimeoutSettings();
}

void TComTimeouts::SetReadTotalConstant(std::int32_t value) {
    if (Change(mReadTotalConstant, value))
        mComPort.ApplyTimeoutSettings();
}

void TComTimeouts::SetWriteTotalMultiplier(std::int32_t value) {
    if (Change(mWriteTotalMultiplier, value))
        mComPort.ApplyTimeoutSettings();
}

void TComTimeouts::SetWriteTotalConstant(std::int32_t value) {
    if (Change(mWriteTotalConstant, value))
        mComPort.ApplyTimeoutSettings();
}

// The comparison is with the value as given, before rounding: 1025 over a stored 1024 still
// counts as a change and applies.
void TComBuffer::SetInputSize(std::int32_t value) {
    if (value == mInputSize)
        return;
    mInputSize = RoundQueueSize(value);
    mComPort.ApplyQueueSizes();
}

void TComBuffer::SetOutputSize(std::int32_t value) {
    if (value == mOutputSize)
        return;
    mOutputSize = RoundQueueSize(value);
    mComPort.ApplyQueueSizes();
}

} // namespace serial
