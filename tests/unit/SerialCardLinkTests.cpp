#include "FakeComBackend.h"
#include "platform/Tick.h"
#include "serial/SerialCardLink.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"

#include <gtest/gtest.h>
#include <termios.h>

using tavo::TTavoCom;

namespace {

// The link on a real pseudo-terminal with the simulated serial card at the far end. Its
// subject is the line (the option byte, the echo, the speeds): the card's wake-up waits, which
// the bus's tests assert on a stepped clock, pass at once.
class TavoComTest : public ::testing::Test {
protected:
    sim::TTrainBus Rack;
    sim::TSimSerialCard Card{Rack};
    TTavoCom Link;
    bool SkippedBefore = platform::DesignedWaitsSkipped();

    void SetUp() override {
        platform::SkipDesignedWaits(true);
        Link.SetDigitaalSysteem(tavo::SerieleKaart);
        Link.SetPort(Card.SlavePath());
    }
    void TearDown() override { platform::SkipDesignedWaits(SkippedBefore); }

    void SetOptions(bool stop, bool timeOut, bool melding, bool test, bool fast) {
        Link.KortsluitStop = stop;
        Link.TimeOut = timeOut;
        Link.KortsluitMelding = melding;
        Link.TestBedrijf = test;
        Link.SetBaudRate(fast ? serial::br19200 : serial::br9600);
    }

    speed_t LineSpeed() const {
        termios line{};
        EXPECT_EQ(::tcgetattr(static_cast<int>(Link.Handle()), &line), 0);
        return ::cfgetospeed(&line);
    }
};

} // namespace

TEST_F(TavoComTest, OptionByteCarriesTheOptionsAndTheSpeedWish) {
    struct TCase {
        bool Stop, TimeOut, Melding, Test, Fast;
        std::uint8_t Expected;
    };
    for (const TCase c : {TCase{false, false, false, false, false, 0x00},
                          TCase{false, true, false, false, false, 0x02},
                          TCase{false, true, false, false, true, 0x0A},
                          TCase{true, true, true, true, true, 0x1F}}) {
        SetOptions(c.Stop, c.TimeOut, c.Melding, c.Test, c.Fast);
        const std::size_t before = Card.Received().size();
        Link.OpenPort();
        EXPECT_EQ(Link.HogeBaudrate(), c.Fast);
        EXPECT_EQ(Link.BaudRate(), serial::br9600) << "the device always opens at 9600";
        ASSERT_TRUE(Link.CheckVerbinding()) << int(c.Expected);
        EXPECT_TRUE(Link.KaartOk());
        const auto received = Card.Received();
        ASSERT_EQ(received.size(), before + 1);
        EXPECT_EQ(received.back().Byte, c.Expected) << "a zero byte is data too";
        EXPECT_EQ(received.back().Baud, 9600);
        EXPECT_EQ(Link.BaudRate(), c.Fast ? serial::br19200 : serial::br9600);
        EXPECT_EQ(LineSpeed(), c.Fast ? B19200 : B9600);
        Link.ClosePort();
        EXPECT_FALSE(Link.KaartOk());
    }
}

TEST_F(TavoComTest, AfterAFastHandshakeTheFirstWordGoesAtNineteenTwoHundred) {
    Rack.Plug(3, std::make_shared<sim::TSimTestCard>());
    SetOptions(false, true, false, false, true);
    Link.OpenPort();
    ASSERT_TRUE(Link.CheckVerbinding());
    Link.PurgeQueues(true, true);
    ASSERT_EQ(Link.WriteText(std::string(1, static_cast<char>(128 + 3))), 1);
    std::string reply;
    const std::uint32_t start = platform::GetTickCount();
    while (reply.empty() && !platform::TicksPassed(start, 2000))
        Link.ReadText(reply, 1);
    EXPECT_EQ(reply, std::string(1, static_cast<char>(131)));
    EXPECT_EQ(Card.Received().back().Baud, 19200);
}

TEST_F(TavoComTest, WrongMissingOrLateEchoLeavesTheLineAtNinetySixHundred) {
    sim::TSerialFaults wrong;
    wrong.WrongEcho = true;
    sim::TSerialFaults silent;
    silent.Silent = true;
    sim::TSerialFaults late;
    late.EchoDelayMs = 400; // well past the 100 ms, however busy the machine
    for (const auto& faults : {wrong, silent, late}) {
        Card.SetFaults(faults);
        SetOptions(false, true, false, false, true);
        Link.OpenPort();
        EXPECT_FALSE(Link.CheckVerbinding());
        EXPECT_FALSE(Link.KaartOk());
        EXPECT_TRUE(Link.Connected()) << "the port stays open";
        EXPECT_EQ(Link.BaudRate(), serial::br9600);
        EXPECT_EQ(LineSpeed(), B9600);
        Link.ClosePort();
    }
}

TEST_F(TavoComTest, ConfirmedLinkChecksWithoutTrafficUntilItIsReopened) {
    SetOptions(false, true, false, false, false);
    Link.OpenPort();
    ASSERT_TRUE(Link.CheckVerbinding());
    const std::size_t after = Card.Received().size();
    Link.KortsluitStop = true; // takes effect with the next handshake only
    const std::uint32_t start = platform::GetTickCount();
    EXPECT_TRUE(Link.CheckVerbinding());
    EXPECT_LT(platform::GetTickCount() - start, 500u) << "no wait, no handshake";
    EXPECT_EQ(Card.Received().size(), after);

    Link.ClosePort();
    Link.OpenPort();
    ASSERT_TRUE(Link.CheckVerbinding());
    EXPECT_EQ(Card.Received().back().Byte, 0x03);
}

TEST_F(TavoComTest, VerstuurOnAClosedPortSendsNothingAndRaisesNothing) {
    EXPECT_NO_THROW(Link.Verstuur("x"));
    EXPECT_TRUE(Card.Received().empty());
}

namespace {

// The same link on a recording device: DTR cannot be seen on a pseudo-terminal.
class TavoComDeviceTest : public ::testing::Test {
protected:
    TFakeDevice Device;
    std::unique_ptr<TTavoCom> Link = std::make_unique<TTavoCom>(nullptr, MakeFakeBackend(Device));

    void SetUp() override {
        Link->SetDigitaalSysteem(tavo::SerieleKaart);
        Link->SetPort("COM2");
    }
};

} // namespace

TEST_F(TavoComDeviceTest, SerialCardConfigurationArrivesInOneBatch) {
    Link->OpenPort();
    Device.Log.clear();
    Link->SetDigitaalSysteem(tavo::SerieleKaart);
    EXPECT_EQ(Device.Log, (std::vector<std::string>{"queues 1024 1024", "line 9600", "timeouts"}));
    EXPECT_EQ(Link->DataBits(), serial::dbEight);
    EXPECT_EQ(Link->StopBits(), serial::sbOneStopBit);
    EXPECT_FALSE(Link->Parity().Check());
    EXPECT_EQ(Link->FlowControl().FlowControl(), serial::fcNone);
    EXPECT_EQ(Link->FlowControl().ControlDTR(), serial::dtrEnable);
    EXPECT_EQ(Link->Timeouts().ReadInterval(), 10);
    EXPECT_EQ(Link->Timeouts().ReadTotalMultiplier(), 0);
    EXPECT_EQ(Link->Timeouts().ReadTotalConstant(), 100);
    EXPECT_EQ(Link->Timeouts().WriteTotalMultiplier(), 0);
    EXPECT_EQ(Link->Timeouts().WriteTotalConstant(), 100);
    EXPECT_TRUE(Link->Events().Empty());
}

TEST_F(TavoComDeviceTest, ConstructionValues) {
    TFakeDevice device;
    TTavoCom fresh(nullptr, MakeFakeBackend(device));
    EXPECT_EQ(fresh.DigitaalSysteem(), 0);
    EXPECT_TRUE(fresh.KortsluitMelding);
    EXPECT_TRUE(fresh.TimeOut);
    EXPECT_TRUE(fresh.KortsluitStop);
    EXPECT_FALSE(fresh.TestBedrijf);
    EXPECT_FALSE(fresh.HogeBaudrate());
    EXPECT_FALSE(fresh.KaartOk());
    EXPECT_EQ(fresh.OptionByte(), 0x07);
}

TEST_F(TavoComDeviceTest, OpeningWithAWishForNineteenTwoHundredOpensAtNinetySixHundred) {
    Link->SetBaudRate(serial::br19200);
    Link->OpenPort();
    EXPECT_TRUE(Link->HogeBaudrate());
    EXPECT_EQ(Device.Dcb.BaudRate, 9600u);
}

TEST_F(TavoComDeviceTest, CloseOfAClosedPortTouchesNothing) {
    Link->ClosePort();
    EXPECT_TRUE(Device.Log.empty());
}

TEST_F(TavoComDeviceTest, CloseOfALineThatIsGoneSkipsThePulseAndStillCloses) {
    Link->OpenPort();
    Device.Log.clear();
    Device.DtrError = EIO; // hung up: the adapter was pulled out
    EXPECT_NO_THROW(Link->ClosePort());
    EXPECT_FALSE(Link->Connected());
    EXPECT_FALSE(Device.Open);
    EXPECT_EQ(Device.Log.back(), "close");
    Device.DtrError = 0;
    Link->OpenPort();
    EXPECT_TRUE(Link->Connected()) << "the port opens again once the line is back";
}

TEST_F(TavoComDeviceTest, ClosePulsesDtrLowForAQuarterSecondBeforeTheDeviceGoes) {
    Link->OpenPort();
    Device.Log.clear();
    platform::TSteppedClock clock;
    platform::TClock* previous = platform::SetClock(&clock);
    const std::uint64_t start = clock.NowMs();
    Link->ClosePort();
    EXPECT_EQ(clock.NowMs() - start, 250u);
    platform::SetClock(previous);
    EXPECT_EQ(Device.Log, (std::vector<std::string>{"dtr off", "dtr on", "purge 3", "close"}));
    EXPECT_FALSE(Link->KaartOk());
}

TEST_F(TavoComDeviceTest, DestructionOfAnOpenLinkPulsesDtrToo) {
    Link->OpenPort();
    Device.Log.clear();
    Link.reset();
    EXPECT_EQ(Device.Log, (std::vector<std::string>{"dtr off", "dtr on", "purge 3", "close"}));
}

TEST_F(TavoComDeviceTest, OtherSystemsConfigureNothingAndAreNeverConfirmed) {
    TFakeDevice device;
    TTavoCom other(nullptr, MakeFakeBackend(device));
    other.SetDigitaalSysteem(1);
    EXPECT_EQ(other.DigitaalSysteem(), 1);
    EXPECT_EQ(other.Timeouts().ReadInterval(), -1) << "the port's own defaults stay";
    other.OpenPort();
    device.Log.clear();
    EXPECT_FALSE(other.CheckVerbinding());
    EXPECT_TRUE(device.Log.empty());
    other.ClosePort();
    EXPECT_EQ(device.Log, (std::vector<std::string>{"purge 3", "close"})) << "no DTR pulse";
}
