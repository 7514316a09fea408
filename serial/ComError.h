#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace serial {

// Reasons of EComPort (its Reason field); the numbers are fixed.
enum TComErrorReason : std::int32_t {
    ceOpen = 1,
    ceWrite = 2,
    ceRead = 3,
    ceAsyncParameter = 4,
    cePurge = 5,
    ceAsyncStatus = 6,
    ceSetState = 7,
    ceSetTimeouts = 8,
    ceSetupComm = 9,
    ceClearError = 10,
    ceModemStatus = 11,
    ceEscape = 12,
    ceTransmitChar = 13,
    ceChangeWhileConnected = 14,
    ceEnumPorts = 15,
    ceStoreSettings = 16,
    ceLoadSettings = 17,
    ceLinkRegistration = 18,
    ceLedState = 19,
    ceWaitWithThread = 20,
    ceWaitForEvent = 21,
    ceRxBufLinked = 22,
    ceRegistry = 23,
};

inline constexpr const char* TextDomain = "cport";

// The untranslated text of a reason, 1 to 23; empty for any other number.
const char* ReasonText(std::int32_t reason);

// The error of the serial port layer. Its message is the reason's text, followed by
// " (win error code: %d)" with the platform's error number when there is one (SystemCode not
// -1); both parts pass through the "cport" catalogue. On POSIX the number is the errno.
class EComPort : public std::runtime_error {
public:
    EComPort(std::int32_t reason, std::int32_t systemCode = -1);

    std::int32_t Reason;
    std::int32_t SystemCode;
};

// A short Dutch explanation for the errors that users meet when opening a port (no access,
// in use by another program, no such device), for the settings window to show beside the
// message; empty when there is nothing to add. It reads the platform's error numbers, so it
// lives with the platform backend.
std::string UserExplanation(const EComPort& error);

// The error's message, with the explanation on a line of its own when there is one.
std::string ExplainedMessage(const EComPort& error);

} // namespace serial
