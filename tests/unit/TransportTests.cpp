#include "PortRecorder.h"
#include "bus/ParallelTransport.h"
#include "platform/Messages.h"
#include "platform/PortIo.h"
#include "platform/Tick.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using bus::NoDataYet;
using bus::TParQueue;
using bus::TParTransport;
using platform::BusInPort;
using platform::BusOutPort;

namespace {

// Collects `count` results, failing the test if they do not come within a few seconds.
std::vector<int> Collect(TParTransport& transport, std::size_t count) {
    std::vector<int> results;
    const std::uint32_t start = platform::GetTickCount();
    while (results.size() < count && !platform::TicksPassed(start, 10000)) {
        const int result = transport.GetFeedback();
        if (result == NoDataYet)
            std::this_thread::yield();
        else
            results.push_back(result);
    }
    EXPECT_EQ(results.size(), count) << "results missing";
    return results;
}

// True once the worker has finished every queued word (the strobe dropped after the last
// result was queued) and suspended itself.
bool WaitUntilSuspended(TParTransport& transport) {
    const std::uint32_t start = platform::GetTickCount();
    while (!platform::TicksPassed(start, 5000)) {
        if (transport.OutQueue.Empty() && transport.ParThread->Suspended())
            return true;
        std::this_thread::yield();
    }
    return false;
}

class TransportTest : public ::testing::Test {
protected:
    TPortRecorder Ports;
    TScopedPortBackend Backend{&Ports};
    TParTransport Transport;

    // Sends the words through a running worker and returns their results.
    std::vector<int> Run(const std::vector<int>& words) {
        Transport.CreateWorker();
        for (int word : words)
            EXPECT_EQ(Transport.PutWord(word), word);
        auto results = Collect(Transport, words.size());
        EXPECT_TRUE(WaitUntilSuspended(Transport));
        return results;
    }
};

} // namespace

TEST_F(TransportTest, DataStrobeWithD5HighReadsShortCircuitFromActiveLowLine) {
    Ports.InputValue = 0;
    EXPECT_EQ(Run({96}), std::vector<int>{112});
    EXPECT_EQ(Ports.Writes(BusOutPort), (std::vector<std::uint16_t>{32, 96, 32}));

    const auto accesses = Ports.Accesses();
    ASSERT_EQ(accesses.size(), 4u);
    EXPECT_FALSE(accesses[2].Write) << "port 789 is read right after the strobe rises";
    EXPECT_EQ(accesses[2].Port, BusInPort);
}

TEST_F(TransportTest, DataStrobeWithAllFeedbackLinesHighAndNoShortCircuit) {
    Ports.InputValue = 31;
    EXPECT_EQ(Run({96}), std::vector<int>{111});
}

TEST_F(TransportTest, FeedbackIgnoresHigherInputBitsAndCarriesD5OfTheWord) {
    Ports.InputValue = 0xFFF5; // A0 and A2 high, no short circuit, floating upper bits
    EXPECT_EQ(Run({64, 127}), (std::vector<int>{64 + 5, 64 + 32 + 5}));
    EXPECT_EQ(Ports.Writes(BusOutPort), (std::vector<std::uint16_t>{0, 64, 0, 63, 127, 63}));
}

TEST_F(TransportTest, LatchDataWordPulsesD5) {
    EXPECT_EQ(Run({40}), std::vector<int>{40});
    EXPECT_EQ(Ports.Writes(BusOutPort), (std::vector<std::uint16_t>{8, 40, 8}));
}

TEST_F(TransportTest, LatchAddressWordPulsesDataStrobeWithD5Low) {
    EXPECT_EQ(Run({200}), std::vector<int>{200});
    EXPECT_EQ(Ports.Writes(BusOutPort), (std::vector<std::uint16_t>{8, 72, 8}));
}

TEST_F(TransportTest, AddressWordsPulseAddressStrobeWithD5AsSet) {
    EXPECT_EQ(Run({133, 191}), (std::vector<int>{133, 191}));
    EXPECT_EQ(Ports.Writes(BusOutPort), (std::vector<std::uint16_t>{5, 133, 5, 63, 191, 63}));
}

TEST_F(TransportTest, WordsWithoutStrobeEchoInOrderAndOnlySetTheData) {
    const std::vector<int> words{0, 5, 17, 31, 9};
    EXPECT_EQ(Run(words), words);
    EXPECT_EQ(Ports.Writes(BusOutPort),
              (std::vector<std::uint16_t>{0, 0, 5, 5, 17, 17, 31, 31, 9, 9}));
    EXPECT_TRUE(Ports.Writes(BusInPort).empty());
}

TEST_F(TransportTest, SelectCodeSevenSetsD5WithoutStrobe) {
    EXPECT_EQ(Run({230}), std::vector<int>{230});
    EXPECT_EQ(Ports.Writes(BusOutPort), (std::vector<std::uint16_t>{38, 38}));
}

TEST_F(TransportTest, StrobeRisesOnlyAfterTheDataHeldForATick) {
    Run({135, 70});
    const auto accesses = Ports.Accesses();
    ASSERT_EQ(accesses.size(), 7u);
    EXPECT_NE(accesses[1].Tick, accesses[0].Tick);
    EXPECT_NE(accesses[4].Tick, accesses[3].Tick);
}

TEST_F(TransportTest, TickWaitEndsAcrossTheWrapOfTheCounter) {
    platform::SetTickCount(0xFFFFFFFFu - 3);
    std::vector<int> words;
    for (int i = 0; i < 10; ++i)
        words.push_back(i);
    EXPECT_EQ(Run(words), words);
    platform::SetTickCount(0);
}

TEST_F(TransportTest, FullOutQueueRefusesTheWordAndKeepsTheOthers) {
    for (int i = 0; i < 2047; ++i)
        ASSERT_EQ(Transport.PutWord(i & 31), i & 31) << "word " << i;
    EXPECT_TRUE(Transport.OutQueue.Full());
    EXPECT_EQ(Transport.PutWord(10), 266);
    EXPECT_EQ(Transport.OutQueue.Count(), 2047u);

    Transport.CreateWorker();
    Transport.ParThread->Resume();
    const auto results = Collect(Transport, 2047);
    for (int i = 0; i < static_cast<int>(results.size()); ++i)
        ASSERT_EQ(results[i], i & 31) << "result " << i;
    EXPECT_EQ(Transport.GetFeedback(), NoDataYet);
}

TEST_F(TransportTest, FullInQueueDropsTheResult) {
    for (int i = 0; i < 2047; ++i)
        ASSERT_TRUE(Transport.InQueue.Push(1000 + i));
    Transport.CreateWorker();
    Transport.PutWord(7);
    ASSERT_TRUE(WaitUntilSuspended(Transport));
    EXPECT_TRUE(Transport.OutQueue.Empty());
    EXPECT_EQ(Transport.InQueue.Count(), 2047u);
    EXPECT_EQ(Ports.Writes(BusOutPort), (std::vector<std::uint16_t>{7, 7}));
    EXPECT_EQ(Transport.GetFeedback(), 1000);
}

TEST_F(TransportTest, EmptyResultQueueAnswersNoDataYetAndWorkerStaysIdle) {
    Transport.CreateWorker();
    EXPECT_EQ(Transport.GetFeedback(), NoDataYet);
    EXPECT_TRUE(WaitUntilSuspended(Transport));
    EXPECT_EQ(Transport.GetFeedback(), NoDataYet);
    EXPECT_TRUE(Ports.Accesses().empty());
}

TEST_F(TransportTest, WorkerSuspendsWhenTheQueueRunsEmpty) {
    Run({1, 2, 3});
    EXPECT_TRUE(WaitUntilSuspended(Transport));
    // And wakes again for the next word.
    EXPECT_EQ(Transport.PutWord(4), 4);
    EXPECT_EQ(Collect(Transport, 1), std::vector<int>{4});
}

TEST_F(TransportTest, ResetEmptiesBothQueuesAndDropsAllLines) {
    for (int i = 0; i < 5; ++i)
        Transport.PutWord(i);
    Transport.InQueue.Push(99);
    Transport.ResetTransport(200);
    EXPECT_TRUE(Transport.OutQueue.Empty());
    EXPECT_EQ(Transport.GetFeedback(), NoDataYet);
    EXPECT_EQ(Ports.Writes(BusOutPort), std::vector<std::uint16_t>{0});
}

TEST_F(TransportTest, ResetWhileTheWorkerIsBusyLeavesConsistentQueues) {
    Transport.CreateWorker();
    for (int i = 0; i < 20; ++i)
        Transport.PutWord(i);
    Transport.ResetTransport(1600);
    EXPECT_TRUE(Transport.OutQueue.Empty());
    EXPECT_TRUE(Transport.InQueue.Empty());
    // The queues work normally afterwards: one word, one result.
    EXPECT_EQ(Transport.PutWord(21), 21);
    EXPECT_EQ(Collect(Transport, 1), std::vector<int>{21});
    EXPECT_EQ(Transport.GetFeedback(), NoDataYet);
}

TEST_F(TransportTest, StoppingEndsASuspendedWorkerAndABusyOne) {
    Transport.CreateWorker();
    Transport.StopWorker(); // suspended since creation
    EXPECT_EQ(Transport.ParThread, nullptr);

    Transport.CreateWorker();
    for (int i = 0; i < 500; ++i)
        Transport.PutWord(i & 31);
    Transport.StopWorker(); // busy: ends after the word in hand
    const auto writes = Ports.Writes(BusOutPort).size();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Ports.Writes(BusOutPort).size(), writes) << "no port access after the stop";
}

TEST_F(TransportTest, StartAsksOnceOnTheCallingThreadAndDropsBeforeTheWorkerThatNeverAsks) {
    platform::SetPortBackend(nullptr);
    const auto caller = std::this_thread::get_id();
    std::vector<std::thread::id> requestsAtDrop;
    bool workerAtDrop = true;
    const auto access = Transport.Start(&Ports, [&] {
        requestsAtDrop = Ports.Requests();
        workerAtDrop = Transport.ParThread != nullptr;
        return true;
    });
    ASSERT_TRUE(access.has_value());
    EXPECT_TRUE(access->Granted);
    EXPECT_EQ(requestsAtDrop, std::vector<std::thread::id>{caller});
    EXPECT_FALSE(workerAtDrop);
    EXPECT_EQ(platform::PortBackend(), &Ports);
    ASSERT_NE(Transport.ParThread, nullptr);

    Ports.InputValue = 31;
    EXPECT_EQ(Run({96}), std::vector<int>{111});
    EXPECT_EQ(Ports.Writes(BusOutPort), (std::vector<std::uint16_t>{32, 96, 32}));
    for (const auto& portAccess : Ports.Accesses())
        EXPECT_NE(portAccess.Thread, caller) << "only the worker touches the ports here";
    EXPECT_EQ(Ports.Requests(), std::vector<std::thread::id>{caller});
}

TEST_F(TransportTest, StartThatCannotDropSelectsNothingAndMakesNoWorker) {
    platform::SetPortBackend(nullptr);
    EXPECT_FALSE(Transport.Start(&Ports, [] { return false; }).has_value());
    EXPECT_EQ(platform::PortBackend(), nullptr);
    EXPECT_EQ(Transport.ParThread, nullptr);
}

TEST(ParQueueTest, HoldsAtMost2047AndWrapsAround) {
    TParQueue queue;
    std::int32_t value = 0;
    EXPECT_TRUE(queue.Empty());
    EXPECT_FALSE(queue.Pop(value));
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 2047; ++i)
            ASSERT_TRUE(queue.Push(round * 10000 + i));
        EXPECT_FALSE(queue.Push(-1));
        EXPECT_EQ(queue.Count(), 2047u);
        for (int i = 0; i < 1500; ++i) {
            ASSERT_TRUE(queue.Pop(value));
            ASSERT_EQ(value, round * 10000 + i);
        }
        for (int i = 1500; i < 2047; ++i) {
            ASSERT_TRUE(queue.Pop(value));
            ASSERT_EQ(value, round * 10000 + i);
        }
        EXPECT_TRUE(queue.Empty());
    }
}

TEST(ParQueueTest, TwoThreadsPassAMillionEntriesInOrderWithoutLoss) {
    TParQueue queue;
    constexpr std::int32_t count = 1'000'000;
    std::thread producer([&] {
        for (std::int32_t i = 0; i < count;)
            if (queue.Push(i))
                ++i;
    });
    std::int32_t expected = 0;
    std::int32_t value = 0;
    bool inOrder = true;
    while (expected < count) {
        if (queue.Pop(value)) {
            inOrder = inOrder && value == expected;
            ++expected;
        }
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_TRUE(queue.Empty());
}

TEST(ParTransportStress, TwoThreadsPassWordsThroughTheWorkerWithoutLoss) {
    TPortRecorder ports;
    TScopedPortBackend backend(&ports);
    TParTransport transport;
    transport.CreateWorker();
    // One tick per word: 300 words take about a third of a second.
    constexpr int count = 300;
    std::thread producer([&] {
        for (int i = 0; i < count;)
            if (transport.PutWord(i & 31) == (i & 31))
                ++i;
    });
    const auto results = Collect(transport, count);
    producer.join();
    for (int i = 0; i < static_cast<int>(results.size()); ++i)
        ASSERT_EQ(results[i], i & 31);
}

TEST(RealPortBackend, RefusalTextNamesTheProgramFileAndTheSystemsReason) {
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(platform::ProgramFile(), program);
    const platform::TPortAccess access{false, EPERM, "sudo setcap cap_sys_rawio+ep %f (%s)"};
    EXPECT_EQ(platform::AccessReasonText(access),
              "sudo setcap cap_sys_rawio+ep " + program + " (" + std::strerror(EPERM) + ")");
}

TEST(RealPortBackend, RefusalIsReportedAndNoPortInstructionRuns) {
    platform::TRealPortBackend ports;
    const platform::TPortAccess access = ports.RequestAccess();
    if (access.Granted)
        GTEST_SKIP() << "this machine grants the I/O ports; the refusal cannot be shown here";
    EXPECT_FALSE(access.Reason.empty());
    if (access.ErrorNumber == ENOSYS) {
        EXPECT_NE(access.Reason.find("ioperm: ENOSYS"), std::string::npos) << access.Reason;
    }
    if (access.ErrorNumber == EPERM) {
        EXPECT_NE(access.Reason.find("cap_sys_rawio"), std::string::npos) << access.Reason;
    }

    // A refused backend neither crashes the process nor pretends a card is there, on this
    // thread and on one that never asked.
    ports.Out(BusOutPort, 0x55);
    EXPECT_EQ(ports.In(BusInPort), 0xFFFF);
    std::uint16_t otherThread = 0;
    std::thread([&] { otherThread = ports.In(BusInPort); }).join();
    EXPECT_EQ(otherThread, 0xFFFF);
}

#if !defined(__x86_64__) && !defined(__i386__)
// A processor without x86 I/O ports (arm64: a Raspberry Pi): there is nothing to ask the
// system for, and the parallel card is refused with the program's own reason, in Dutch, which
// points to the serial card and /sim.
TEST(RealPortBackend, WithoutX86IoPortsTheParallelCardIsRefusedWithItsReason) {
    platform::TRealPortBackend ports;
    const platform::TPortAccess access = ports.RequestAccess();
    EXPECT_FALSE(access.Granted);
    EXPECT_EQ(access.ErrorNumber, 0) << "no system call was refused";
    EXPECT_EQ(platform::AccessReasonText(access),
              "Directe toegang tot I/O-poorten bestaat alleen op x86-computers; de parallelle "
              "kaart is hier niet te gebruiken. Kies de seriele kaart, of start met /sim voor "
              "het gesimuleerde rek.");
    ports.Out(BusOutPort, 0x55);
    EXPECT_EQ(ports.In(BusInPort), 0xFFFF);
}
#endif
