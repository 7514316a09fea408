// The rack session on its own, without a front-end's windows or pages.
#include "SerialCardUnder.h"
#include "TestTimers.h"
#include "bus/ParallelTransport.h"
#include "platform/Tick.h"
#include "serial/PortNames.h"
#include "session/RackSession.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A serial card on a pseudo-terminal reached through a symbolic link, as a udev rule or a
// script names an adapter; the session knows the port only by the link.
class ReplugTest : public ::testing::Test {
protected:
    sim::TTrainBus Rack;
    std::unique_ptr<sim::TSimSerialCard> Card = std::make_unique<sim::TSimSerialCard>(Rack);
    std::filesystem::path Link = std::filesystem::current_path() /
                                 ("morvelplint-replug-" + std::to_string(::getpid()));
    serial::TPortNameSource PreviousSource =
        serial::SetPortNameSource([] { return std::vector<std::string>{}; });
    bool SkippedBefore = platform::DesignedWaitsSkipped();
    TTestTimers Timers;
    std::unique_ptr<session::TRackSession> Session;

    void SetUp() override {
        platform::SkipDesignedWaits(true);
        Rack.Plug(5, std::make_shared<sim::TSimTestCard>());
        std::filesystem::create_symlink(Card->SlavePath(), Link);
        Session = std::make_unique<session::TRackSession>(Timers, session::TSessionOptions{});
        Session->Settings().SelectPort(Link.string());
        Session->RunArmedSetUp();
        ASSERT_TRUE(Session->Bus().Ready());
    }
    void TearDown() override {
        Session.reset();
        std::filesystem::remove(Link);
        serial::SetPortNameSource(PreviousSource);
        platform::SkipDesignedWaits(SkippedBefore);
    }

    // Fires the reconnection's look until `done` or `ms` have passed; how often it looks
    // changes nothing of what it finds.
    template <class F> bool LookUntil(F done, std::uint32_t ms) {
        const std::uint32_t start = platform::GetTickCount();
        while (!done()) {
            if (platform::TicksPassed(start, ms))
                return false;
            Timers.Fire("TimerAdapter");
            platform::Sleep(10);
        }
        return true;
    }
};

} // namespace

TEST_F(ReplugTest, ALinkMadeAnewToANewCardUnderTheSameNumberIsTakenUpEveryTime) {
    for (int replug = 0; replug < 10; ++replug) {
        SCOPED_TRACE("replug " + std::to_string(replug + 1));
        const std::string pty = Card->SlavePath();
        const ino_t inode = InodeOf(Link.string());
        // The far end hangs up; the session finds the line gone and lets the terminal go.
        Card->HangUp();
        ASSERT_TRUE(LookUntil([&] { return !Session->Bus().Ready(); }, 3000));
        ASSERT_TRUE(Session->Reconnect().Watching());
        // A new card on the number freed, and the link made again as a script makes it.
        Card.reset();
        Card = SerialCardUnder(Rack, pty);
        ASSERT_EQ(Card->SlavePath(), pty) << "the system gave the new terminal another number";
        Relink(Link.string(), Card->SlavePath());
        ASSERT_EQ(InodeOf(Link), inode);
        // The option byte and the 192 words, without a click.
        ASSERT_TRUE(LookUntil([&] { return Card->Received().size() >= 193; }, 8000))
            << Card->Received().size() << " bytes reached the new card";
        EXPECT_TRUE(Session->Bus().Ready());
        // A page's word after it: place 5, by its address strobe.
        cards::TBusWordModel& sck = Session->Cards().Sck;
        for (int bit : {0, 2})
            if (!sck.View().Bits[static_cast<std::size_t>(bit)])
                sck.ClickBit(bit);
        sck.Send();
        ASSERT_EQ(Card->Received().size(), 194u);
        EXPECT_EQ(Card->Received().back().Byte, 0x85);
    }
}
