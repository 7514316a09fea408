#include "diag/CardTests.h"

#include "bus/Bus.h"
#include "bus/CardWords.h"
#include "platform/Tick.h"

#include <chrono>

namespace diag {

namespace {

std::int64_t WallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

void TCardTest::CountError() {
    ++mCounts.Errors;
    mCounts.LastErrorNs = WallNs();
    if (mCounts.FirstErrorNs == 0)
        mCounts.FirstErrorNs = mCounts.LastErrorNs;
}

// ---- the IO card ----

TIoTest::TIoTest(bus::TBus& bus, TOptions options)
    : mBus(bus), mOptions(std::move(options)), mSequence(mOptions.Patterns) {}

std::string TIoTest::Name() const {
    return "io@" + std::to_string(mOptions.Place);
}

void TIoTest::ResetCounts() {
    mCounts = {};
    mEvidence.Reset();
}

TCycle TIoTest::Cycle() {
    const std::uint16_t outputs = mSequence.Next();
    const auto expected = static_cast<std::uint16_t>(mOptions.Inverted ? ~outputs : outputs);
    const bus::TIoExchange exchange =
        bus::IoLoadAndRead(mBus, mOptions.Place, outputs, mOptions.SettleMs);
    mCounts.Words += 9;

    std::uint16_t read = 0;
    std::uint16_t known = 0;
    for (int nibble = 3; nibble >= 0; --nibble) {
        const bus::TReply reply(exchange.Read[static_cast<std::size_t>(3 - nibble)]);
        if (!reply.IsFeedback()) {
            ++mCounts.NoReply;
            continue;
        }
        read = static_cast<std::uint16_t>(read | (reply.Lines() << (4 * nibble)));
        known = static_cast<std::uint16_t>(known | (0xF << (4 * nibble)));
    }
    ++mCounts.Cycles;
    mLastOutputs = outputs;
    mLastInputs = read;
    if (known == 0)
        return TCycle::Silent;
    mEvidence.Add(expected, read, known);
    if (known != 0xFFFF || ((read ^ expected) & known) != 0) {
        CountError();
        return TCycle::Fail;
    }
    return TCycle::Pass;
}

// ---- the rack scan ----

TScanTest::TScanTest(bus::TBus& bus, std::vector<int> places) : mBus(bus), mPlaces(std::move(places)) {
    if (mPlaces.empty())
        for (int place = 0; place < 64; ++place)
            mPlaces.push_back(place);
}

TCycle TScanTest::Cycle() {
    mReadings.clear();
    bool anyReply = false;
    bool failed = false;
    for (const int place : mPlaces) {
        mBus.SendBusWord(bus::AddressWord(place));
        mBus.AwaitFeedback(false);
        mBus.SendBusWord(bus::DataWord(0));
        const bus::TReply reply(mBus.AwaitFeedback(false));
        mCounts.Words += 2;
        TPlaceReading reading{place, reply.IsFeedback(), 0, false};
        if (reading.Reply) {
            reading.Lines = reply.Lines();
            reading.Short = reply.ShortCircuit();
            anyReply = true;
        } else {
            ++mCounts.NoReply;
            failed = true;
        }
        mReadings.push_back(reading);
    }
    ++mCounts.Cycles;
    if (!anyReply)
        return TCycle::Silent;
    if (failed) {
        CountError();
        return TCycle::Fail;
    }
    return TCycle::Pass;
}

} // namespace diag
