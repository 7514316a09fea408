#pragma once

#include "serial/ComBackend.h"
#include "serial/ComError.h"
#include "serial/ComSettings.h"
#include "serial/Component.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace serial {

// The present states of the modem input lines.
struct TModemLines {
    bool CTS = false;
    bool DSR = false;
    bool RING = false;
    bool RLSD = false;
};

using TNotifyEvent = std::function<void(TComponent* sender)>;
using TComSignalEvent = std::function<void(TComponent* sender, bool onOff)>;

// The serial port. It holds a complete set of line settings that may be changed at any time.
// A changed setting reaches the device at once when the port is open, no configuration batch
// runs and the port is not loading; otherwise it is only stored and reaches the device with
// the next opening or at the end of the outermost batch. Every failure of the device raises
// EComPort. Used from one thread only; it starts no thread of its own.
class TCustomComPort : public TComponent {
public:
    // Without a backend the port uses the platform's own (CreatePlatformComBackend).
    explicit TCustomComPort(TComponent* owner = nullptr,
                            std::unique_ptr<TComBackend> backend = nullptr);
    // Closes an open port with every step of ClosePort. The virtual operations reached from
    // here are this class's own, so a descendant whose handlers use its own members closes the
    // port in its own destructor. An error of that close goes to ShowException.
    ~TCustomComPort() override;

    const std::string& Port() const { return mPort; }
    TBaudRate BaudRate() const { return mBaudRate; }
    std::int32_t CustomBaudRate() const { return mCustomBaudRate; }
    TDataBits DataBits() const { return mDataBits; }
    TStopBits StopBits() const { return mStopBits; }
    TComParity& Parity() { return mParity; }
    const TComParity& Parity() const { return mParity; }
    TComFlowControl& FlowControl() { return mFlowControl; }
    const TComFlowControl& FlowControl() const { return mFlowControl; }
    TComTimeouts& Timeouts() { return mTimeouts; }
    const TComTimeouts& Timeouts() const { return mTimeouts; }
    TComBuffer& Buffer() { return mBuffer; }
    const TComBuffer& Buffer() const { return mBuffer; }
    bool DiscardNull() const { return mDiscardNull; }
    std::uint8_t EventChar() const { return mEventChar; }
    TComEvents Events() const { return mEvents; }
    TSyncMethod SyncMethod() const { return mSyncMethod; }
    bool Connected() const { return mConnected; }

    // A new name while open closes the port and opens the new device, with every step and
    // notification of both; the name compares with letter case significant.
    void SetPort(const std::string& value);
    void SetBaudRate(TBaudRate value);
    void SetCustomBaudRate(std::int32_t value);
    void SetDataBits(TDataBits value);
    void SetStopBits(TStopBits value);
    void SetDiscardNull(bool value);
    void SetEventChar(std::uint8_t value);
    // Line events are not watched: the set is kept and nothing is started for it.
    void SetEvents(TComEvents value);
    // Refused with reason 14 while open (and not loading).
    void SetSyncMethod(TSyncMethod value);
    // True opens, false closes; while loading the wish is kept for the end of loading.
    void SetConnected(bool value);

    // Batches nest; the end of the outermost batch applies every setting at once.
    void BeginConfiguration();
    void EndConfiguration();

    void OpenPort();
    void ClosePort();
    TModemLines ReadModemLines();
    // Aborts any transfer in progress, both ways.
    void CancelTransfers();

    // Writes `text` and returns the number of bytes written: all of them, or fewer when the
    // write limit (WriteTotalMultiplier x length + WriteTotalConstant ms; none when both are
    // 0) ran out first. An empty text returns 0 without touching the device.
    std::int32_t WriteText(const std::string& text);
    // Reads up to `count` bytes into `text` (any byte value, zero included) and returns how
    // many; `text` is then exactly that long. The read ends at the first of: `count` bytes
    // there; ReadInterval > 0 ms without a further byte once one has come; the total limit
    // ReadTotalMultiplier x count + ReadTotalConstant ms, when above 0; and at once, with what
    // is waiting, when ReadInterval is -1 and both total members are 0. With ReadInterval 0
    // and both total members 0 it waits for `count` bytes.
    std::int32_t ReadText(std::string& text, std::int32_t count);
    // Discards received bytes not yet read (`input`) and bytes not yet sent (`output`).
    void PurgeQueues(bool input, bool output);
    void SetDtrLine(bool on);

    // What the line settings program into the device, and the time-limit record.
    TDcb DeviceControlBlock() const;
    TCommTimeouts CommTimeouts() const;
    // The platform's handle of the open device, -1 while closed.
    std::intptr_t Handle() const { return mBackend->Handle(); }
    // 0 while the open port's line is there, else the platform's error number that the next
    // transfer would meet; 0 while closed. Reads nothing.
    std::int32_t LineFailure() { return mConnected ? mBackend->LineFailure() : 0; }
    // The driver refused to hand on received bytes at once when the port was last opened.
    bool LowLatencyRefused() const { return mBackend->LowLatencyRefused(); }

    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnBeforeClose;
    TNotifyEvent OnAfterClose;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;

protected:
    virtual void OpenDevice();
    virtual void CloseDevice();
    virtual void ApplyAllSettings();
    virtual void NotifyAfterClose();
    virtual void NotifyAfterOpen();
    virtual void NotifyBeforeClose();
    virtual void NotifyBeforeOpen();
    virtual void NotifyCTSChange(bool onOff);
    virtual void NotifyDSRChange(bool onOff);
    virtual void NotifyRLSDChange(bool onOff);
    // Each of these reaches the device only while the port is open, no batch runs and the
    // port is not loading; otherwise it returns at once.
    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ApplyQueueSizes();

    void Loaded() override;

private:
    friend class TComParity;
    friend class TComFlowControl;
    friend class TComTimeouts;
    friend class TComBuffer;

    bool CanApply() const;

    std::unique_ptr<TComBackend> mBackend;
    std::string mPort = "COM1";
    TBaudRate mBaudRate = br9600;
    std::int32_t mCustomBaudRate = 9600;
    TDataBits mDataBits = dbEight;
    TStopBits mStopBits = sbOneStopBit;
    TComParity mParity{*this};
    TComFlowControl mFlowControl{*this};
    TComTimeouts mTimeouts{*this};
    TComBuffer mBuffer{*this};
    bool mDiscardNull = false;
    std::uint8_t mEventChar = 0;
    TComEvents mEvents = TComEvents::All();
    TSyncMethod mSyncMethod = smThreadSync;
    bool mConnected = false;
    bool mConnectWhenLoaded = false;
    int mConfigurationDepth = 0;
};

// The port with its settings published; it adds no behaviour.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};

} // namespace serial
