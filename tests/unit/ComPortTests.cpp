// The port component against a recording backend: defaults, the apply rules, batches, and
// the order of notifications and device operations when opening and closing.
#include "ComTestSupport.h"
#include "FakeComBackend.h"
#include "serial/ComPort.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace serial;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class ComPortTest : public ::testing::Test {
protected:
    TFakeDevice Device;
    std::vector<std::string>& Log = Device.Log;
    TComPort Port{nullptr, MakeFakeBackend(Device)};

    // Every notification goes into the device's log, between the device operations.
    void Watch() {
        auto note = [this](const char* what) {
            return [this, what](TComponent* sender) {
                EXPECT_EQ(sender, &Port);
                Log.push_back(what);
            };
        };
        auto signal = [this](const char* what) {
            return [this, what](TComponent* sender, bool onOff) {
                EXPECT_EQ(sender, &Port);
                Log.push_back(std::string(what) + (onOff ? " on" : " off"));
            };
        };
        Port.OnBeforeOpen = note("BeforeOpen");
        Port.OnAfterOpen = note("AfterOpen");
        Port.OnBeforeClose = note("BeforeClose");
        Port.OnAfterClose = note("AfterClose");
        Port.OnCTSChange = signal("CTS");
        Port.OnDSRChange = signal("DSR");
        Port.OnRLSDChange = signal("RLSD");
    }

    void OpenQuietly() {
        Port.OpenPort();
        Log.clear();
    }
};

} // namespace

TEST_F(ComPortTest, TheDefaultsProgramA9600BaudRawLineWithoutFlowControl) {
    // Settings files and window descriptions store these ordinals.
    static_assert(br9600 == 7 && br19200 == 9 && fcNone == 2 && dbEight == 3 && prSpace == 4);
    EXPECT_EQ(Port.Port(), "COM1");
    EXPECT_TRUE(Port.Events() == TComEvents::All());
    EXPECT_EQ(Port.SyncMethod(), smThreadSync);
    EXPECT_EQ(Port.FlowControl().FlowControl(), fcNone);
    EXPECT_FALSE(Port.Connected());
    EXPECT_EQ(Port.Handle(), -1);
    EXPECT_THAT(Log, IsEmpty());
    Port.OpenPort();
    EXPECT_EQ(Device.Dcb, (TDcb{.BaudRate = 9600,
                                .fBinary = true,
                                .XonLim = 256,
                                .XoffLim = 256,
                                .ByteSize = 8,
                                .XonChar = 17,
                                .XoffChar = 19}));
    EXPECT_EQ(Device.Timeouts, (TCommTimeouts{0xFFFFFFFFu, 0, 0, 100, 1000}));
    EXPECT_EQ(Device.InputSize, 1024);
    EXPECT_EQ(Device.OutputSize, 1024);
}

TEST_F(ComPortTest, EverySettingHasItsPlaceInTheDeviceControlBlock) {
    Port.SetBaudRate(brCustom);
    Port.SetCustomBaudRate(250000);
    Port.SetDataBits(dbSeven);
    Port.SetStopBits(sbTwoStopBits);
    Port.Parity().SetBits(prMark);
    Port.Parity().SetReplace(true);
    Port.Parity().SetReplaceChar('?');
    TComFlowControl& flow = Port.FlowControl();
    flow.SetControlDTR(dtrHandshake);
    flow.SetControlRTS(rtsToggle);
    flow.SetOutDSRFlow(true);
    flow.SetDSRSensitivity(true);
    flow.SetTxContinueOnXoff(true);
    flow.SetXonXoffIn(true);
    flow.SetXonChar(1);
    flow.SetXoffChar(2);
    Port.SetDiscardNull(true);
    Port.SetEventChar('\n');
    Port.Buffer().SetInputSize(1000);
    // Replacing without checking replaces nothing.
    EXPECT_EQ(Port.DeviceControlBlock(), (TDcb{.BaudRate = 250000,
                                               .fBinary = true,
                                               .fOutxDsrFlow = true,
                                               .fDtrControl = 2,
                                               .fDsrSensitivity = true,
                                               .fTXContinueOnXoff = true,
                                               .fInX = true,
                                               .fNull = true,
                                               .fRtsControl = 3,
                                               .XonLim = 250,
                                               .XoffLim = 250,
                                               .ByteSize = 7,
                                               .Parity = 3,
                                               .StopBits = 2,
                                               .XonChar = 1,
                                               .XoffChar = 2,
                                               .EvtChar = '\n'}));
    Port.Parity().SetCheck(true);
    const TDcb dcb = Port.DeviceControlBlock();
    EXPECT_TRUE(dcb.fParity && dcb.fErrorChar);
    EXPECT_EQ(dcb.ErrorChar, '?');
}

TEST_F(ComPortTest, TimeoutsGoOverInOrderWithMinusOneAsAllOnes) {
    Port.Timeouts().SetReadTotalMultiplier(2);
    Port.Timeouts().SetReadTotalConstant(3);
    Port.Timeouts().SetWriteTotalMultiplier(4);
    Port.Timeouts().SetWriteTotalConstant(5);
    OpenQuietly();
    EXPECT_EQ(Device.Timeouts, (TCommTimeouts{0xFFFFFFFFu, 2, 3, 4, 5}));
}

TEST_F(ComPortTest, ASettingOnAClosedPortIsOnlyStoredAndReachesTheDeviceAtOpening) {
    Port.SetBaudRate(br19200);
    Port.Timeouts().SetReadInterval(10);
    Port.Buffer().SetOutputSize(512);
    EXPECT_THAT(Log, IsEmpty());
    Port.OpenPort();
    EXPECT_EQ(Device.Dcb.BaudRate, 19200u);
    EXPECT_EQ(Device.Timeouts.ReadIntervalTimeout, 10u);
    EXPECT_EQ(Device.OutputSize, 512);
}

TEST_F(ComPortTest, ASettingOnAnOpenPortReachesTheDeviceAtOnce) {
    OpenQuietly();
    Port.SetBaudRate(br19200);
    Port.Parity().SetBits(prEven);
    Port.Timeouts().SetReadInterval(10);
    Port.Buffer().SetInputSize(2048);
    EXPECT_THAT(Log, ElementsAre("line 19200", "line 19200", "timeouts", "queues 2048 1024"));
    EXPECT_EQ(Device.Dcb.Parity, 2);
}

TEST_F(ComPortTest, TheStoredValueAgainAppliesNothingExceptTheFlowControlPreset) {
    OpenQuietly();
    Port.SetBaudRate(br9600);
    Port.SetCustomBaudRate(9600);
    Port.SetDataBits(dbEight);
    Port.SetStopBits(sbOneStopBit);
    Port.SetDiscardNull(false);
    Port.SetEventChar(0);
    Port.SetPort("COM1");
    Port.SetSyncMethod(smThreadSync);
    Port.Parity().SetCheck(false);
    Port.FlowControl().SetControlRTS(rtsDisable);
    Port.FlowControl().SetXonChar(17);
    Port.Timeouts().SetWriteTotalConstant(1000);
    Port.Buffer().SetInputSize(1024);
    EXPECT_THAT(Log, IsEmpty());

    Port.FlowControl().SetFlowControl(fcNone);
    Port.FlowControl().SetFlowControl(fcNone);
    EXPECT_THAT(Log, ElementsAre("line 9600", "line 9600"));
}

TEST_F(ComPortTest, ThePresetSetsItsFourMembersAndLeavesTheOthers) {
    TComFlowControl& flow = Port.FlowControl();
    flow.SetControlDTR(dtrEnable);
    flow.SetOutDSRFlow(true);
    flow.SetDSRSensitivity(true);
    flow.SetTxContinueOnXoff(true);
    flow.SetXonChar(5);
    flow.SetXoffChar(6);
    auto othersKept = [&] {
        EXPECT_EQ(flow.ControlDTR(), dtrEnable);
        EXPECT_TRUE(flow.OutDSRFlow() && flow.DSRSensitivity() && flow.TxContinueOnXoff());
        EXPECT_EQ(flow.XonChar(), 5);
        EXPECT_EQ(flow.XoffChar(), 6);
    };

    flow.SetFlowControl(fcHardware);
    EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(flow.OutCTSFlow());
    EXPECT_FALSE(flow.XonXoffIn() || flow.XonXoffOut());
    EXPECT_EQ(flow.FlowControl(), fcHardware);
    othersKept();

    flow.SetFlowControl(fcCustom);
    EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(flow.OutCTSFlow());
    EXPECT_EQ(flow.FlowControl(), fcHardware);

    flow.SetFlowControl(fcSoftware);
    EXPECT_EQ(flow.ControlRTS(), rtsDisable);
    EXPECT_FALSE(flow.OutCTSFlow());
    EXPECT_TRUE(flow.XonXoffIn() && flow.XonXoffOut());
    EXPECT_EQ(flow.FlowControl(), fcSoftware);
    othersKept();

    flow.SetControlRTS(rtsHandshake);
    flow.SetFlowControl(fcNone);
    EXPECT_EQ(flow.ControlRTS(), rtsDisable);
    EXPECT_FALSE(flow.OutCTSFlow() || flow.XonXoffIn() || flow.XonXoffOut());
    othersKept();
    // OutDSRFlow is not one of the four, so the preset still reads fcNone.
    EXPECT_EQ(flow.FlowControl(), fcNone);
}

TEST_F(ComPortTest, ThePresetReadsCustomForAnyOtherMix) {
    TComFlowControl& flow = Port.FlowControl();
    flow.SetControlRTS(rtsEnable);
    EXPECT_EQ(flow.FlowControl(), fcCustom);
    flow.SetControlRTS(rtsDisable);
    flow.SetXonXoffIn(true);
    EXPECT_EQ(flow.FlowControl(), fcCustom);
    flow.SetFlowControl(fcHardware);
    flow.SetXonXoffOut(true);
    EXPECT_EQ(flow.FlowControl(), fcCustom);
}

TEST_F(ComPortTest, PositiveOddQueueSizesAreStoredOneSmaller) {
    OpenQuietly();
    Port.Buffer().SetInputSize(1025);
    EXPECT_EQ(Port.Buffer().InputSize(), 1024);
    EXPECT_EQ(Port.DeviceControlBlock().XonLim, 256);
    EXPECT_EQ(Port.DeviceControlBlock().XoffLim, 256);
    // 1025 differs from the stored 1024 before rounding, so it is applied.
    EXPECT_THAT(Log, ElementsAre("queues 1024 1024"));

    Port.Buffer().SetOutputSize(1);
    EXPECT_EQ(Port.Buffer().OutputSize(), 0);
    Port.Buffer().SetOutputSize(-3);
    EXPECT_EQ(Port.Buffer().OutputSize(), -3);
    Port.Buffer().SetInputSize(0);
    EXPECT_EQ(Port.Buffer().InputSize(), 0);
    Port.Buffer().SetInputSize(4096);
    EXPECT_EQ(Port.Buffer().InputSize(), 4096);
}

TEST_F(ComPortTest, AFailedSetterKeepsTheNewValue) {
    OpenQuietly();
    Device.LineError = EINVAL;
    const EComPort error = Raised([&] { Port.SetBaudRate(br128000); });
    EXPECT_EQ(error.Reason, 7);
    EXPECT_EQ(error.SystemCode, EINVAL);
    EXPECT_EQ(Port.BaudRate(), br128000);
    EXPECT_TRUE(Port.Connected());

    Device.TimeoutError = EIO;
    EXPECT_EQ(Raised([&] { Port.Timeouts().SetReadInterval(5); }).Reason, 8);
    Device.QueueError = EIO;
    EXPECT_EQ(Raised([&] { Port.Buffer().SetInputSize(10); }).Reason, 9);
    EXPECT_EQ(Port.Buffer().InputSize(), 10);
}

TEST_F(ComPortTest, SyncMethodCannotChangeWhileOpen) {
    Port.SetSyncMethod(smWindowSync);
    EXPECT_EQ(Port.SyncMethod(), smWindowSync);
    OpenQuietly();
    const EComPort error = Raised([&] { Port.SetSyncMethod(smNone); });
    EXPECT_EQ(error.Reason, 14);
    EXPECT_EQ(error.SystemCode, -1);
    EXPECT_STREQ(error.what(), "Cannot set property while connected");
    EXPECT_EQ(Port.SyncMethod(), smWindowSync);
    EXPECT_NO_THROW(Port.SetSyncMethod(smWindowSync));
}

TEST_F(ComPortTest, ABatchOnAnOpenPortAppliesEverythingOnceAtItsEnd) {
    OpenQuietly();
    Port.BeginConfiguration();
    Port.SetBaudRate(br19200);
    Port.Timeouts().SetReadInterval(10);
    Port.Buffer().SetInputSize(2048);
    Port.FlowControl().SetFlowControl(fcNone);
    EXPECT_THAT(Log, IsEmpty());
    Port.EndConfiguration();
    EXPECT_THAT(Log, ElementsAre("queues 2048 1024", "line 19200", "timeouts"));
}

TEST_F(ComPortTest, OnlyTheOutermostEndOfNestedBatchesApplies) {
    OpenQuietly();
    Port.BeginConfiguration();
    Port.BeginConfiguration();
    Port.SetBaudRate(br19200);
    Port.EndConfiguration();
    EXPECT_THAT(Log, IsEmpty());
    Port.EndConfiguration();
    EXPECT_THAT(Log, ElementsAre("queues 1024 1024", "line 19200", "timeouts"));
}

TEST_F(ComPortTest, AnEndWithoutABeginDoesNothing) {
    OpenQuietly();
    Port.EndConfiguration();
    EXPECT_THAT(Log, IsEmpty());
    // The depth did not go below zero: one begin is undone by one end.
    Port.BeginConfiguration();
    Port.SetBaudRate(br19200);
    Port.EndConfiguration();
    EXPECT_THAT(Log, ElementsAre("queues 1024 1024", "line 19200", "timeouts"));
}

TEST_F(ComPortTest, ABatchOnAClosedPortOnlyStores) {
    Port.BeginConfiguration();
    Port.SetBaudRate(br19200);
    Port.EndConfiguration();
    EXPECT_THAT(Log, IsEmpty());
    EXPECT_EQ(Port.BaudRate(), br19200);
}

TEST_F(ComPortTest, AFailureInABatchEndStopsTheLaterSettings) {
    OpenQuietly();
    Device.QueueError = EIO;
    Port.BeginConfiguration();
    Port.SetBaudRate(br19200);
    EXPECT_EQ(Raised([&] { Port.EndConfiguration(); }).Reason, 9);
    EXPECT_THAT(Log, ElementsAre("queues 1024 1024"));
}

TEST_F(ComPortTest, OpeningNotifiesAndProgramsInOrder) {
    Watch();
    Device.ModemStatus = ModemCtsOn | ModemRlsdOn | ModemRingOn;
    Port.OpenPort();
    EXPECT_TRUE(Port.Connected());
    EXPECT_THAT(Log, ElementsAre("BeforeOpen", "open COM1", "queues 1024 1024", "line 9600",
                                 "timeouts", "AfterOpen", "modem", "CTS on", "DSR off", "RLSD on"));
    Log.clear();
    Port.OpenPort();
    EXPECT_THAT(Log, IsEmpty());
    EXPECT_TRUE(Port.ReadModemLines().RING);
}

TEST_F(ComPortTest, ClosingReportsTheLinesOffThenNotifiesAndReleases) {
    Watch();
    OpenQuietly();
    Port.ClosePort();
    EXPECT_FALSE(Port.Connected());
    EXPECT_THAT(Log, ElementsAre("CTS off", "DSR off", "RLSD off", "BeforeClose",
                                 "purge " + std::to_string(PurgeTxAbort | PurgeRxAbort), "close",
                                 "AfterClose"));
    Log.clear();
    Port.ClosePort();
    EXPECT_THAT(Log, IsEmpty());
}

TEST_F(ComPortTest, ChangingThePortWhileOpenClosesAndReopensWithEveryNotification) {
    Watch();
    OpenQuietly();
    Port.SetPort("com1");
    EXPECT_TRUE(Port.Connected());
    EXPECT_THAT(Log, ElementsAre("CTS off", "DSR off", "RLSD off", "BeforeClose", "purge 3",
                                 "close", "AfterClose", "BeforeOpen", "open com1",
                                 "queues 1024 1024", "line 9600", "timeouts", "AfterOpen", "modem",
                                 "CTS off", "DSR off", "RLSD off"));
}

TEST_F(ComPortTest, APortThatCannotBeReopenedEndsClosedWithTheNewName) {
    Watch();
    OpenQuietly();
    Device.OpenError = ENOENT;
    EXPECT_EQ(Raised([&] { Port.SetPort("COM9"); }).Reason, 1);
    EXPECT_FALSE(Port.Connected());
    EXPECT_EQ(Port.Port(), "COM9");
    EXPECT_EQ(Log.back(), "open COM9");
}

TEST_F(ComPortTest, ABaudRateSetBeforeOpenIsTheOneTheDeviceOpensWith) {
    Port.OnBeforeOpen = [this](TComponent*) { Port.SetBaudRate(br19200); };
    Port.OpenPort();
    EXPECT_EQ(Device.Dcb.BaudRate, 19200u);
    EXPECT_THAT(Log,
                ElementsAre("open COM1", "queues 1024 1024", "line 19200", "timeouts", "modem"));
}

TEST_F(ComPortTest, AFailedOpeningRunsBeforeOpenOnlyAndLeavesThePortClosed) {
    Watch();
    Device.OpenError = ENOENT;
    const EComPort error = Raised([&] { Port.OpenPort(); });
    EXPECT_EQ(error.Reason, 1);
    EXPECT_EQ(error.SystemCode, ENOENT);
    EXPECT_FALSE(Port.Connected());
    EXPECT_THAT(Log, ElementsAre("BeforeOpen", "open COM1"));
}

TEST_F(ComPortTest, ASettingRefusedAtOpeningReleasesTheDevice) {
    Watch();
    Device.LineError = EINVAL;
    EXPECT_EQ(Raised([&] { Port.OpenPort(); }).Reason, 7);
    EXPECT_FALSE(Port.Connected());
    EXPECT_FALSE(Device.Open);
    EXPECT_THAT(Log,
                ElementsAre("BeforeOpen", "open COM1", "queues 1024 1024", "line 9600", "close"));
}

TEST_F(ComPortTest, AModemLineFailureAtOpeningLeavesThePortOpen) {
    Watch();
    Device.ModemError = EIO;
    const EComPort error = Raised([&] { Port.OpenPort(); });
    EXPECT_EQ(error.Reason, 11);
    EXPECT_EQ(error.SystemCode, EIO);
    EXPECT_TRUE(Port.Connected());
    EXPECT_EQ(Log.back(), "modem");
    EXPECT_NE(std::find(Log.begin(), Log.end(), "AfterOpen"), Log.end());
}

TEST_F(ComPortTest, ACancelFailureAtClosingLeavesThePortOpen) {
    Watch();
    OpenQuietly();
    Device.PurgeError = EIO;
    EXPECT_EQ(Raised([&] { Port.ClosePort(); }).Reason, 5);
    EXPECT_TRUE(Port.Connected());
    EXPECT_TRUE(Device.Open);
    EXPECT_EQ(Log.back(), "purge 3");
    EXPECT_NE(std::find(Log.begin(), Log.end(), "BeforeClose"), Log.end());
}

TEST_F(ComPortTest, TheBeforeCloseHandlerCanStillDriveDtr) {
    Port.OnBeforeClose = [this](TComponent*) {
        Port.SetDtrLine(false);
        Port.SetDtrLine(true);
    };
    OpenQuietly();
    Port.ClosePort();
    EXPECT_THAT(Log, ElementsAre("dtr off", "dtr on", "purge 3", "close"));
}

TEST_F(ComPortTest, ConnectedOpensAndCloses) {
    Watch();
    Port.SetConnected(false);
    EXPECT_THAT(Log, IsEmpty());
    Port.SetConnected(true);
    EXPECT_TRUE(Port.Connected());
    Log.clear();
    Port.SetConnected(true);
    EXPECT_THAT(Log, IsEmpty());
    Port.SetConnected(false);
    EXPECT_FALSE(Port.Connected());
    EXPECT_EQ(Log.back(), "AfterClose");
}

TEST_F(ComPortTest, WhileLoadingConnectedWaitsForTheEndOfLoading) {
    Watch();
    Port.BeginLoading();
    Port.SetConnected(true);
    Port.SetBaudRate(br19200);
    EXPECT_FALSE(Port.Connected());
    EXPECT_THAT(Log, IsEmpty());
    Port.EndLoading();
    EXPECT_TRUE(Port.Connected());
    EXPECT_EQ(Device.Dcb.BaudRate, 19200u);
}

TEST_F(ComPortTest, WhileLoadingAnOpenPortAppliesAndReopensNothing) {
    OpenQuietly();
    Port.BeginLoading();
    Port.SetBaudRate(br19200);
    Port.SetPort("COM3");
    Port.SetSyncMethod(smNone);
    EXPECT_THAT(Log, IsEmpty());
    EXPECT_EQ(Port.SyncMethod(), smNone);
    Port.EndLoading();
    EXPECT_THAT(Log, IsEmpty());
}

TEST_F(ComPortTest, AnOpeningFailureAtTheEndOfLoadingGoesToTheExceptionDisplay) {
    std::vector<std::string> shown;
    auto previous =
        SetExceptionHandler([&](const std::exception& e) { shown.push_back(e.what()); });
    Device.OpenError = EACCES;
    Port.BeginLoading();
    Port.SetConnected(true);
    EXPECT_NO_THROW(Port.EndLoading());
    SetExceptionHandler(previous);
    EXPECT_THAT(shown, ElementsAre("Unable to open com port (win error code: 13)"));
    EXPECT_FALSE(Port.Connected());
}

TEST_F(ComPortTest, TransfersAndLineControlReachTheDevice) {
    OpenQuietly();
    EXPECT_EQ(Port.WriteText(std::string("\0ab", 3)), 3);
    std::string text = "old";
    EXPECT_EQ(Port.ReadText(text, 4), 0);
    EXPECT_EQ(text, "");
    Port.PurgeQueues(true, false);
    Port.PurgeQueues(false, true);
    Port.PurgeQueues(false, false);
    Port.SetDtrLine(true);
    EXPECT_THAT(Log, ElementsAre("write 3", "read 4", "purge 8", "purge 4", "purge 0", "dtr on"));
}

TEST_F(ComPortTest, EmptyTransfersTouchNothingEvenWhenClosed) {
    EXPECT_EQ(Port.WriteText(""), 0);
    std::string text = "old";
    EXPECT_EQ(Port.ReadText(text, 0), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(Port.ReadText(text, -5), 0);
    EXPECT_THAT(Log, IsEmpty());
}

TEST_F(ComPortTest, ADtrFailureRaisesReason12) {
    OpenQuietly();
    Device.DtrError = EIO;
    const EComPort error = Raised([&] { Port.SetDtrLine(false); });
    EXPECT_EQ(error.Reason, 12);
    EXPECT_EQ(error.SystemCode, EIO);
}

TEST(ComPortLifetime, DestroyingAnOpenPortRunsBeforeCloseWhileTheDeviceIsOpen) {
    TFakeDevice device;
    {
        TComPort port(nullptr, MakeFakeBackend(device));
        port.OpenPort();
        port.OnBeforeClose = [&](TComponent*) {
            device.Log.push_back(device.Open ? "BeforeClose open" : "BeforeClose closed");
        };
        device.Log.clear();
    }
    EXPECT_THAT(device.Log, ElementsAre("BeforeClose open", "purge 3", "close"));
}

TEST(ComPortLifetime, TheOwnerDestroysItsPort) {
    TFakeDevice device;
    {
        TComponent owner;
        auto* port = new TComPort(&owner, MakeFakeBackend(device));
        EXPECT_EQ(port->Owner(), &owner);
        EXPECT_EQ(owner.ComponentCount(), 1);
        port->OpenPort();
        device.Log.clear();
    }
    EXPECT_THAT(device.Log, ElementsAre("purge 3", "close"));
}

TEST(ComPortLifetime, AComponentDeletedFirstLeavesItsOwner) {
    TComponent owner;
    auto* child = new TComponent(&owner);
    delete child;
    EXPECT_EQ(owner.ComponentCount(), 0);
}
