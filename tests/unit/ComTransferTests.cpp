// The port with the platform backend on pseudo-terminals: opening, line settings, the
// completion rules of reads and writes, purging, DTR and hang-ups.
#include "ComTestSupport.h"
#include "Pty.h"
#include "platform/Tick.h"
#include "serial/ComBackendPosix.h"
#include "serial/ComPort.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <thread>
#include <utility>

using namespace serial;

namespace {

std::uint32_t Since(std::uint32_t start) {
    return platform::GetTickCount() - start;
}

// Runs `action` on another thread after `ms`; joins when it goes out of scope.
std::jthread After(std::uint32_t ms, std::function<void()> action) {
    return std::jthread([ms, action] {
        platform::Sleep(ms);
        action();
    });
}

class PtyPortTest : public ::testing::Test {
protected:
    TPty Pty;
    TComPort Port;

    void SetUp() override { Port.SetPort(Pty.Path()); }

    void SetReadLimits(std::int32_t interval, std::int32_t multiplier, std::int32_t constant) {
        Port.Timeouts().SetReadInterval(interval);
        Port.Timeouts().SetReadTotalMultiplier(multiplier);
        Port.Timeouts().SetReadTotalConstant(constant);
    }

    // The limits of the serial-card link: 10 ms between bytes, 100 ms per read and write.
    void SetLinkLimits() {
        SetReadLimits(10, 0, 100);
        Port.Timeouts().SetWriteTotalMultiplier(0);
        Port.Timeouts().SetWriteTotalConstant(100);
    }

    termios Line() {
        termios line{};
        EXPECT_EQ(tcgetattr(static_cast<int>(Port.Handle()), &line), 0);
        return line;
    }

    std::string Read(std::int32_t count) {
        std::string text;
        const std::int32_t received = Port.ReadText(text, count);
        EXPECT_EQ(received, static_cast<std::int32_t>(text.size()));
        return text;
    }
};

} // namespace

TEST(PortDeviceName, PathsBareNamesAndComNames) {
    EXPECT_EQ(DeviceName("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(DeviceName("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(DeviceName("pts/3"), "/dev/pts/3");
    EXPECT_EQ(DeviceName("COM1"), "/dev/ttyS0");
    EXPECT_EQ(DeviceName("COM2"), "/dev/ttyS1");
    EXPECT_EQ(DeviceName("COM10"), "/dev/ttyS9");
    EXPECT_EQ(DeviceName("com2"), "/dev/ttyS1");
    EXPECT_EQ(DeviceName("COM0"), "/dev/COM0");
    EXPECT_EQ(DeviceName("COM"), "/dev/COM");
    EXPECT_EQ(DeviceName("COM2a"), "/dev/COM2a");
}

TEST_F(PtyPortTest, OpeningProgramsARawLine) {
    Port.OpenPort();
    ASSERT_TRUE(Port.Connected());
    const termios line = Line();
    EXPECT_EQ(cfgetospeed(&line), B9600);
    EXPECT_EQ(cfgetispeed(&line), B9600);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(line.c_cflag & (CREAD | CLOCAL), 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | INPCK | ISTRIP), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_cc[VMIN], 1);
    EXPECT_EQ(line.c_cc[VTIME], 0);
}

// A pseudo-terminal keeps 8 data bits without parity whatever it is asked (and glibc then
// refuses the change), so framing and parity are checked on the termios record alone.
TEST_F(PtyPortTest, ChangedLineSettingsReachTheOpenDevice) {
    Port.OpenPort();
    Port.SetBaudRate(br19200);
    Port.SetStopBits(sbTwoStopBits);
    Port.FlowControl().SetFlowControl(fcSoftware);
    Port.FlowControl().SetXonChar(0x01);
    Port.FlowControl().SetXoffChar(0x02);
    termios line = Line();
    EXPECT_EQ(cfgetospeed(&line), B19200);
    EXPECT_NE(line.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(line.c_cc[VSTART], 0x01);
    EXPECT_EQ(line.c_cc[VSTOP], 0x02);

    Port.FlowControl().SetFlowControl(fcHardware);
    Port.SetBaudRate(brCustom);
    Port.SetCustomBaudRate(115200);
    line = Line();
    EXPECT_EQ(cfgetospeed(&line), B115200);
    EXPECT_NE(line.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF), 0u);
}

TEST(PosixLine, FramingAndParityMapToTheControlFlags) {
    TComPort port;
    port.SetDataBits(dbSeven);
    port.Parity().SetBits(prOdd);
    termios line{};
    ASSERT_TRUE(MakeTermios(port.DeviceControlBlock(), line));
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(line.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB),
              static_cast<tcflag_t>(PARENB | PARODD));

    const std::pair<TParityBits, tcflag_t> parities[] = {{prNone, 0},
                                                         {prEven, PARENB},
                                                         {prMark, PARENB | CMSPAR | PARODD},
                                                         {prSpace, PARENB | CMSPAR}};
    for (const auto& [bits, flags] : parities) {
        port.Parity().SetBits(bits);
        ASSERT_TRUE(MakeTermios(port.DeviceControlBlock(), line));
        EXPECT_EQ(line.c_cflag & (PARENB | PARODD | CMSPAR), flags) << bits;
    }
    const std::pair<TDataBits, tcflag_t> sizes[] = {{dbFive, CS5}, {dbSix, CS6}, {dbEight, CS8}};
    for (const auto& [bits, flag] : sizes) {
        port.SetDataBits(bits);
        ASSERT_TRUE(MakeTermios(port.DeviceControlBlock(), line));
        EXPECT_EQ(line.c_cflag & CSIZE, flag) << bits;
    }
    port.SetStopBits(sbOne5StopBits);
    port.SetDataBits(dbFive);
    ASSERT_TRUE(MakeTermios(port.DeviceControlBlock(), line));
    EXPECT_NE(line.c_cflag & CSTOPB, 0u);
}

TEST(PosixLine, OnlyReplacingTurnsOnInputChecking) {
    TComPort port;
    port.Parity().SetBits(prEven);
    port.Parity().SetCheck(true);
    termios line{};
    ASSERT_TRUE(MakeTermios(port.DeviceControlBlock(), line));
    EXPECT_EQ(line.c_iflag & INPCK, 0u);
    port.Parity().SetReplace(true);
    ASSERT_TRUE(MakeTermios(port.DeviceControlBlock(), line));
    EXPECT_NE(line.c_iflag & INPCK, 0u);
    port.Parity().SetReplaceChar('?');
    EXPECT_FALSE(MakeTermios(port.DeviceControlBlock(), line))
        << "the kernel can only put in a 0 byte";
}

TEST_F(PtyPortTest, SettingsTheLineCannotDoAreRefusedWithReason7) {
    Port.OpenPort();
    const auto refused = [&](auto change) {
        const EComPort error = Raised(change);
        EXPECT_EQ(error.Reason, 7);
        EXPECT_EQ(error.SystemCode, EINVAL);
    };
    refused([&] { Port.SetBaudRate(br14400); });
    const termios line = Line();
    EXPECT_EQ(cfgetospeed(&line), B9600) << "the device keeps the old speed";
    Port.SetBaudRate(br9600);
    refused([&] { Port.FlowControl().SetControlDTR(dtrHandshake); });
    Port.FlowControl().SetControlDTR(dtrEnable);
    refused([&] { Port.FlowControl().SetControlRTS(rtsToggle); });
    Port.FlowControl().SetControlRTS(rtsDisable);
    refused([&] { Port.FlowControl().SetOutDSRFlow(true); });
    Port.FlowControl().SetOutDSRFlow(false);
    refused([&] { Port.FlowControl().SetOutCTSFlow(true); }); // CTS without RTS handshake
    Port.FlowControl().SetOutCTSFlow(false);
    refused([&] { Port.SetStopBits(sbOne5StopBits); }); // only with 5 data bits
}

TEST_F(PtyPortTest, AnUnsupportedStoredSettingFailsTheOpeningAndLeavesItClosed) {
    Port.SetBaudRate(br256000);
    EXPECT_EQ(Raised([&] { Port.OpenPort(); }).Reason, 7);
    EXPECT_FALSE(Port.Connected());
    EXPECT_EQ(Port.Handle(), -1);
    Port.SetBaudRate(br9600);
    EXPECT_NO_THROW(Port.OpenPort());
}

TEST_F(PtyPortTest, APortGivenByBareNameOpens) {
    Port.SetPort(Pty.Path().substr(5)); // "pts/N"
    EXPECT_NO_THROW(Port.OpenPort());
    EXPECT_TRUE(Port.Connected());
}

TEST(PtyPortOpen, AMissingDeviceRaisesReason1WithTheErrno) {
    TComPort port;
    bool afterOpen = false;
    port.OnAfterOpen = [&](TComponent*) { afterOpen = true; };
    port.SetPort("/dev/ttyMorvelplintNone");
    const EComPort error = Raised([&] { port.OpenPort(); });
    EXPECT_EQ(error.Reason, 1);
    EXPECT_EQ(error.SystemCode, ENOENT);
    EXPECT_STREQ(error.what(), "Unable to open com port (win error code: 2)");
    EXPECT_NE(UserExplanation(error).find("bestaat niet"), std::string::npos);
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(afterOpen);
}

TEST(PtyPortOpen, AFileThatIsNoTtyIsRefused) {
    TComPort port;
    port.SetPort("/dev/null");
    const EComPort error = Raised([&] { port.OpenPort(); });
    EXPECT_EQ(error.Reason, 1);
    EXPECT_EQ(error.SystemCode, ENOTTY);
}

TEST(PtyPortOpen, ASecondOpeningOfTheSameTtyIsRefused) {
    TPty pty;
    TComPort first;
    TComPort second;
    first.SetPort(pty.Path());
    second.SetPort(pty.Path());
    first.OpenPort();
    const EComPort error = Raised([&] { second.OpenPort(); });
    EXPECT_EQ(error.Reason, 1);
    EXPECT_EQ(error.SystemCode, EBUSY);
    EXPECT_NE(UserExplanation(error).find("in gebruik door een ander programma"),
              std::string::npos);
    EXPECT_FALSE(second.Connected());

    // Another program that asks for the lock is kept out as well.
    const int other = open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (other >= 0) { // root passes TIOCEXCL; the lock still says no
        EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
        close(other);
    } else {
        EXPECT_EQ(errno, EBUSY);
    }

    first.ClosePort();
    EXPECT_NO_THROW(second.OpenPort());
}

TEST_F(PtyPortTest, EveryByteValueTravelsBothWays) {
    SetLinkLimits();
    Port.OpenPort();
    std::string all;
    for (int value = 0; value < 256; ++value)
        all.push_back(static_cast<char>(value));
    EXPECT_EQ(Port.WriteText(all), 256);
    EXPECT_EQ(Pty.Receive(256), all);

    const std::string zeros("\0\xFF\0", 3);
    Pty.Send(zeros);
    EXPECT_EQ(Read(3), zeros);
}

TEST_F(PtyPortTest, WithLinkLimitsASilentLineGivesNothingAfterAbout100Ms) {
    SetLinkLimits();
    Port.OpenPort();
    const std::uint32_t start = platform::GetTickCount();
    std::string text = "old";
    EXPECT_EQ(Port.ReadText(text, 1), 0);
    const std::uint32_t elapsed = Since(start);
    EXPECT_EQ(text, "");
    EXPECT_GE(elapsed, 90u);
    EXPECT_LT(elapsed, 1000u);
}

TEST_F(PtyPortTest, TimeLimitsHoldAcrossTheTickCounterWrap) {
    SetLinkLimits();
    Port.OpenPort();
    platform::SetTickCount(0xFFFFFFFFu - 40);
    const std::uint32_t start = platform::GetTickCount();
    std::string text;
    EXPECT_EQ(Port.ReadText(text, 1), 0);
    const std::uint32_t elapsed = Since(start);
    platform::SetTickCount(0);
    EXPECT_GE(elapsed, 90u);
    EXPECT_LT(elapsed, 1000u);
}

// A thread that loses the processor after it took the read's start and gets it back past the
// deadline: each look at the clock is 150 ms after the one before.
class TJumpingClock final : public platform::TClock {
public:
    std::uint64_t NowMs() override { return mNow += 150; }
    void Sleep(std::uint32_t ms) override { mNow += ms; }

private:
    std::uint64_t mNow = 1'000'000;
};

TEST_F(PtyPortTest, AnAnswerThatWasThereBeforeTheDeadlineCountsThoughTheReaderLooksLate) {
    SetLinkLimits();
    Port.OpenPort();
    Pty.Send("K");
    // The byte has crossed the pseudo-terminal before the read begins.
    pollfd waiting{static_cast<int>(Port.Handle()), POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 5000), 1);
    TJumpingClock clock;
    platform::TClock* const before = platform::SetClock(&clock);
    std::string text;
    const std::int32_t received = Port.ReadText(text, 1);
    platform::SetClock(before);
    EXPECT_EQ(received, 1);
    EXPECT_EQ(text, "K");
}

TEST_F(PtyPortTest, WithLinkLimitsAByteEndsTheReadWhenItArrives) {
    SetLinkLimits();
    Port.OpenPort();
    auto sender = After(30, [&] { Pty.Send("K"); });
    EXPECT_EQ(Read(1), "K");
}

TEST_F(PtyPortTest, WithLinkLimitsThreeOfFiveBytesAndAPauseGiveThoseThree) {
    SetLinkLimits();
    Port.OpenPort();
    auto sender = After(20, [&] { Pty.Send("abc"); });
    EXPECT_EQ(Read(5), "abc");
}

TEST_F(PtyPortTest, TheIntervalLimitEndsAReadOnceBytesHaveStopped) {
    SetReadLimits(10, 0, 5000);
    Port.OpenPort();
    auto sender = After(20, [&] { Pty.Send("abc"); });
    const std::uint32_t start = platform::GetTickCount();
    EXPECT_EQ(Read(5), "abc");
    EXPECT_LT(Since(start), 1000u) << "the 5000 ms total limit ended the read";
}

TEST_F(PtyPortTest, TheIntervalLimitDoesNotRunBeforeTheFirstByte) {
    SetReadLimits(10, 0, 0);
    Port.OpenPort();
    const std::uint32_t start = platform::GetTickCount();
    auto sender = After(100, [&] { Pty.Send("z"); });
    EXPECT_EQ(Read(4), "z");
    EXPECT_GE(Since(start), 90u);
}

TEST_F(PtyPortTest, TheTotalLimitCountsPerRequestedByte) {
    SetReadLimits(0, 20, 0);
    Port.OpenPort();
    const std::uint32_t start = platform::GetTickCount();
    EXPECT_EQ(Read(5), "");
    const std::uint32_t elapsed = Since(start);
    EXPECT_GE(elapsed, 90u);
    EXPECT_LT(elapsed, 1000u);
}

TEST_F(PtyPortTest, WithDefaultLimitsAReadTakesWhatIsWaitingAtOnce) {
    Port.OpenPort();
    // Nothing but the "return at once" rule can end these reads.
    EXPECT_EQ(Read(5), "");
    Pty.Send("xy");
    platform::Sleep(50);
    EXPECT_EQ(Read(5), "xy");
}

TEST_F(PtyPortTest, WithoutAnyLimitAReadWaitsForAllBytes) {
    SetReadLimits(0, 0, 0);
    Port.OpenPort();
    // One thread sends both, in their order, however late it runs.
    auto sender = After(30, [&] {
        Pty.Send("1");
        platform::Sleep(120);
        Pty.Send("23");
    });
    EXPECT_EQ(Read(3), "123");
}

TEST_F(PtyPortTest, DiscardNullDropsZeroBytes) {
    SetLinkLimits();
    Port.SetDiscardNull(true);
    Port.OpenPort();
    Pty.Send(std::string("a\0b\0\0c", 6));
    EXPECT_EQ(Read(3), "abc");
}

TEST_F(PtyPortTest, PurgingBothQueuesLeavesOnlyLaterBytesToRead) {
    SetLinkLimits();
    Port.OpenPort();
    Pty.Send("stale");
    platform::Sleep(50);
    Port.PurgeQueues(true, true);
    auto sender = After(20, [&] { Pty.Send("A"); });
    EXPECT_EQ(Read(1), "A");
    EXPECT_EQ(Read(1), "");
}

TEST_F(PtyPortTest, APurgeWithoutFlagsKeepsWhatWaits) {
    SetLinkLimits();
    Port.OpenPort();
    Pty.Send("kept");
    platform::Sleep(50);
    Port.PurgeQueues(false, false);
    Port.PurgeQueues(false, true);
    EXPECT_EQ(Read(4), "kept");
}

TEST_F(PtyPortTest, AWriteHeldBackPastItsLimitReturnsFewerBytesWithoutAnError) {
    SetLinkLimits();
    Port.OpenPort();
    const std::string big(1 << 20, 'w');
    const std::uint32_t start = platform::GetTickCount();
    const std::int32_t written = Port.WriteText(big);
    EXPECT_LT(Since(start), 1000u);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<std::int32_t>(big.size()));
}

TEST_F(PtyPortTest, AWriteWithoutALimitWaitsUntilEverythingIsTaken) {
    Port.Timeouts().SetWriteTotalMultiplier(0);
    Port.Timeouts().SetWriteTotalConstant(0);
    Port.OpenPort();
    const std::string big(256 * 1024, 'v');
    std::size_t drained = 0;
    auto reader = After(0, [&] { drained = Pty.Receive(big.size(), 10000).size(); });
    EXPECT_EQ(Port.WriteText(big), static_cast<std::int32_t>(big.size()));
    reader.join();
    EXPECT_EQ(drained, big.size());
}

TEST_F(PtyPortTest, AHangUpDuringAReadFailsItPromptly) {
    SetReadLimits(0, 0, 0); // would wait for ever
    Port.OpenPort();
    auto hangUp = After(50, [&] { Pty.CloseMaster(); });
    const std::uint32_t start = platform::GetTickCount();
    const EComPort error = Raised([&] { Read(1); });
    EXPECT_EQ(error.Reason, 3);
    EXPECT_EQ(error.SystemCode, EIO);
    EXPECT_STREQ(error.what(), "ReadFile function failed (win error code: 5)");
    EXPECT_LT(Since(start), 1000u);
}

TEST_F(PtyPortTest, AWriteAfterAHangUpFails) {
    SetLinkLimits();
    Port.OpenPort();
    Pty.CloseMaster();
    const EComPort error = Raised([&] { Port.WriteText("x"); });
    EXPECT_EQ(error.Reason, 2);
    EXPECT_EQ(error.SystemCode, EIO);
}

TEST_F(PtyPortTest, ALineWithoutModemLinesTakesDtrChangesAndReadsItsLinesOff) {
    std::vector<bool> reported;
    Port.OnCTSChange = [&](TComponent*, bool on) { reported.push_back(on); };
    Port.OnDSRChange = Port.OnCTSChange;
    Port.OnRLSDChange = Port.OnCTSChange;
    Port.FlowControl().SetControlDTR(dtrEnable);
    Port.OpenPort();
    EXPECT_EQ(reported, (std::vector<bool>{false, false, false}));
    EXPECT_NO_THROW(Port.SetDtrLine(false));
    EXPECT_NO_THROW(Port.SetDtrLine(true));
    const TModemLines lines = Port.ReadModemLines();
    EXPECT_FALSE(lines.CTS || lines.DSR || lines.RING || lines.RLSD);
    Port.ClosePort(); // before `reported` goes
    EXPECT_EQ(reported.size(), 6u);
}

TEST(PtyPortClosed, EveryOperationThatNeedsTheDeviceFailsWithItsReason) {
    TComPort port;
    const auto reason = [](auto action) { return Raised(action).Reason; };
    std::string text;
    EXPECT_EQ(reason([&] { port.WriteText("x"); }), 2);
    EXPECT_EQ(reason([&] { port.ReadText(text, 1); }), 3);
    EXPECT_EQ(reason([&] { port.PurgeQueues(true, true); }), 5);
    EXPECT_EQ(reason([&] { port.PurgeQueues(false, false); }), 5);
    EXPECT_EQ(reason([&] { port.CancelTransfers(); }), 5);
    EXPECT_EQ(reason([&] { port.ReadModemLines(); }), 11);
    const EComPort dtr = Raised([&] { port.SetDtrLine(true); });
    EXPECT_EQ(dtr.Reason, 12);
    EXPECT_EQ(dtr.SystemCode, EBADF);
    EXPECT_STREQ(dtr.what(), "EscapeCommFunction function failed (win error code: 9)");
}

TEST(PtyPortClosed, AClosedPortReleasesTheTty) {
    TPty pty;
    {
        TComPort port;
        port.SetPort(pty.Path());
        port.OpenPort();
        port.ClosePort();
        EXPECT_EQ(port.Handle(), -1);
        TComPort again;
        again.SetPort(pty.Path());
        EXPECT_NO_THROW(again.OpenPort());
    }
}

TEST_F(PtyPortTest, PurgingBetweenWritesLosesNoWrittenByte) {
    // A bus word per write with both queues purged before each, as the bus path sends a
    // load of back-to-back words: a write that has returned is on its way and stays so.
    SetLinkLimits();
    Port.OpenPort();
    std::string all;
    for (int i = 0; i < 64; ++i) {
        const std::string word(1, static_cast<char>(0xC0 + i % 32));
        Port.PurgeQueues(true, true);
        EXPECT_EQ(Port.WriteText(word), 1);
        all += word;
    }
    EXPECT_EQ(Pty.Receive(all.size()), all);
}
