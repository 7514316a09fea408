#include "serial/ComError.h"

#include "platform/Messages.h"

#include <iterator>

namespace serial {

namespace {

constexpr const char* ReasonTexts[] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

constexpr const char* CodeSuffix = " (win error code: %d)";

std::string BuildMessage(std::int32_t reason, std::int32_t systemCode) {
    const char* text = ReasonText(reason);
    std::string message = *text ? platform::Translate(TextDomain, text) : "";
    if (systemCode != -1) {
        // The number goes in by text replacement rather than printf, so that a catalogue
        // entry with a wrong conversion cannot do harm.
        std::string suffix = platform::Translate(TextDomain, CodeSuffix);
        const auto at = suffix.find("%d");
        if (at != std::string::npos)
            suffix.replace(at, 2, std::to_string(systemCode));
        message += suffix;
    }
    return message;
}

} // namespace

const char* ReasonText(std::int32_t reason) {
    constexpr auto count = static_cast<std::int32_t>(std::size(ReasonTexts));
    return reason >= 1 && reason <= count ? ReasonTexts[reason - 1] : "";
}

EComPort::EComPort(std::int32_t reason, std::int32_t systemCode)
    : std::runtime_error(BuildMessage(reason, systemCode)), Reason(reason), SystemCode(systemCode) {
}

std::string ExplainedMessage(const EComPort& error) {
    std::string message = error.what();
    const std::string explanation = UserExplanation(error);
    if (!explanation.empty())
        message += "\n" + explanation;
    return message;
}

} // namespace serial
