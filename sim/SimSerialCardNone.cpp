// Systems without pseudo-terminals (Windows): the simulated serial card has no line to sit
// on, so it cannot be made; the simulated rack then has its parallel card alone. On Windows
// the serial path is tested against the card on a Linux pseudo-terminal that wine maps as a
// COM port (scripts/test-windows.sh).
#include "sim/SimSerialCard.h"

#include <system_error>

namespace sim {

TSimSerialCard::TSimSerialCard(TTrainBus& bus) : mBus(bus) {
    throw std::system_error(std::make_error_code(std::errc::function_not_supported),
                            "pseudo-terminal");
}

// None of these is reached: no card is ever made.
TSimSerialCard::~TSimSerialCard() = default;

void TSimSerialCard::SetFaults(const TSerialFaults& faults) {
    std::lock_guard lock(mMutex);
    mFaults = faults;
}

void TSimSerialCard::SetWireTiming(bool on) {
    mWireTiming = on;
}

TSerialFaults TSimSerialCard::Faults() const {
    std::lock_guard lock(mMutex);
    return mFaults;
}

std::vector<TLineByte> TSimSerialCard::Received() const {
    std::lock_guard lock(mMutex);
    return mReceived;
}

bool TSimSerialCard::WaitForReceived(std::size_t, std::uint32_t) const {
    return false;
}

std::optional<std::uint8_t> TSimSerialCard::Options() const {
    return std::nullopt;
}

void TSimSerialCard::HangUp() {}

bool TSimSerialCard::HungUp() const {
    return true;
}

} // namespace sim
