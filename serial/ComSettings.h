#pragma once

#include <cstdint>
#include <initializer_list>

namespace serial {

class TCustomComPort;

// The ordinals are part of the interface (settings windows store them); keep the order.
enum TBaudRate : int {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TStopBits : int { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : int { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : int { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : int { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : int { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : int { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : int {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
enum TSyncMethod : int { smThreadSync, smWindowSync, smNone };

// Bits per second of a TBaudRate other than brCustom; 0 for brCustom.
std::int32_t BaudRateSpeed(TBaudRate rate);

// A set of TComEvent.
class TComEvents {
public:
    constexpr TComEvents() = default;
    constexpr TComEvents(std::initializer_list<TComEvent> events) {
        for (TComEvent event : events)
            mBits |= Bit(event);
    }
    static constexpr TComEvents All() {
        TComEvents all;
        all.mBits = (1u << (evRx80Full + 1)) - 1;
        return all;
    }

    constexpr bool Contains(TComEvent event) const { return (mBits & Bit(event)) != 0; }
    constexpr bool Empty() const { return mBits == 0; }
    constexpr void Include(TComEvent event) { mBits |= Bit(event); }
    constexpr void Exclude(TComEvent event) { mBits &= ~Bit(event); }
    constexpr bool operator==(const TComEvents&) const = default;

private:
    static constexpr std::uint16_t Bit(TComEvent event) {
        return static_cast<std::uint16_t>(1u << event);
    }
    std::uint16_t mBits = 0;
};

// The four settings objects belong to one port, which makes them, and apply a changed value
// through it (see TCustomComPort). Assigning the stored value again applies nothing, except
// for the flow-control preset.
class TComParity {
public:
    explicit TComParity(TCustomComPort& comPort) : mComPort(comPort) {}
    TComParity(const TComParity&) = delete;
    TComParity& operator=(const TComParity&) = delete;

    TParityBits Bits() const { return mBits; }
    bool Check() const { return mCheck; }
    bool Replace() const { return mReplace; }
    std::uint8_t ReplaceChar() const { return mReplaceChar; }

    void SetBits(TParityBits value);
    void SetCheck(bool value);
    void SetReplace(bool value);
    void SetReplaceChar(std::uint8_t value);

private:
    TCustomComPort& mComPort;
    TParityBits mBits = prNone;
    bool mCheck = false;
    bool mReplace = false;
    std::uint8_t mReplaceChar = 0;
};

class TComFlowControl {
public:
    explicit TComFlowControl(TCustomComPort& comPort) : mComPort(comPort) {}
    TComFlowControl(const TComFlowControl&) = delete;
    TComFlowControl& operator=(const TComFlowControl&) = delete;

    bool OutCTSFlow() const { return mOutCTSFlow; }
    bool OutDSRFlow() const { return mOutDSRFlow; }
    TDTRFlowControl ControlDTR() const { return mControlDTR; }
    TRTSFlowControl ControlRTS() const { return mControlRTS; }
    bool XonXoffOut() const { return mXonXoffOut; }
    bool XonXoffIn() const { return mXonXoffIn; }
    bool DSRSensitivity() const { return mDSRSensitivity; }
    bool TxContinueOnXoff() const { return mTxContinueOnXoff; }
    std::uint8_t XonChar() const { return mXonChar; }
    std::uint8_t XoffChar() const { return mXoffChar; }
    // The preset that ControlRTS, OutCTSFlow, XonXoffIn and XonXoffOut amount to.
    TFlowControl FlowControl() const;

    void SetOutCTSFlow(bool value);
    void SetOutDSRFlow(bool value);
    void SetControlDTR(TDTRFlowControl value);
    void SetControlRTS(TRTSFlowControl value);
    void SetXonXoffOut(bool value);
    void SetXonXoffIn(bool value);
    void SetDSRSensitivity(bool value);
    void SetTxContinueOnXoff(bool value);
    void SetXonChar(std::uint8_t value);
    void SetXoffChar(std::uint8_t value);
    // Sets the four members of the preset (fcCustom none) and applies, every time.
    void SetFlowControl(TFlowControl value);

private:
    TCustomComPort& mComPort;
    bool mOutCTSFlow = false;
    bool mOutDSRFlow = false;
    TDTRFlowControl mControlDTR = dtrDisable;
    TRTSFlowControl mControlRTS = rtsDisable;
    bool mXonXoffOut = false;
    bool mXonXoffIn = false;
    bool mDSRSensitivity = false;
    bool mTxContinueOnXoff = false;
    std::uint8_t mXonChar = 17;
    std::uint8_t mXoffChar = 19;
};

// Time limits of transfers, in ms; their meaning is in TCustomComPort::ReadText / WriteText.
class TComTimeouts {
public:
    explicit TComTimeouts(TCustomComPort& comPort) : mComPort(comPort) {}
    TComTimeouts(const TComTimeouts&) = delete;
    TComTimeouts& operator=(const TComTimeouts&) = delete;

    std::int32_t ReadInterval() const { return mReadInterval; }
    std::int32_t ReadTotalMultiplier() const { return mReadTotalMultiplier; }
    std::int32_t ReadTotalConstant() const { return mReadTotalConstant; }
    std::int32_t WriteTotalMultiplier() const { return mWriteTotalMultiplier; }
    std::int32_t WriteTotalConstant() const { return mWriteTotalConstant; }

    void SetReadInterval(std::int32_t value);
    void SetReadTotalMultiplier(std::int32_t value);
    void SetReadTotalConstant(std::int32_t value);
    void SetWriteTotalMultiplier(std::int32_t value);
    void SetWriteTotalConstant(std::int32_t value);

private:
    TCustomComPort& mComPort;
    std::int32_t mReadInterval = -1;
    std::int32_t mReadTotalMultiplier = 0;
    std::int32_t mReadTotalConstant = 0;
    std::int32_t mWriteTotalMultiplier = 100;
    std::int32_t mWriteTotalConstant = 1000;
};

// Driver queue sizes in bytes. A positive odd size is stored one smaller.
class TComBuffer {
public:
    explicit TComBuffer(TCustomComPort& comPort) : mComPort(comPort) {}
    TComBuffer(const TComBuffer&) = delete;
    TComBuffer& operator=(const TComBuffer&) = delete;

    std::int32_t InputSize() const { return mInputSize; }
    std::int32_t OutputSize() const { return mOutputSize; }

    void SetInputSize(std::int32_t value);
    void SetOutputSize(std::int32_t value);

private:
    TCustomComPort& mComPort;
    std::int32_t mInputSize = 1024;
    std::int32_t mOutputSize = 1024;
};

} // namespace serial
