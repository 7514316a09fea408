// The Windows side of the platform seams, under wine: the serial backend's mapping rules, the
// port list from the registry, the parallel card's ports through inpoutx64.dll (a stand-in
// built beside the tests), and the message catalogues read without gettext.
#include "platform/Messages.h"
#include "platform/PortIo.h"
#include "platform/PortIoWin32.h"
#include "serial/ComBackendWin32.h"
#include "serial/ComError.h"
#include "serial/PortNames.h"
#include "serial/PortNamesWin32.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

TEST(Win32Backend, EveryFieldOfTheBlockReachesTheDcbAndImpossibleFramesAreRefused) {
    serial::TDcb dcb;
    dcb.BaudRate = 19200;
    dcb.fBinary = true;
    dcb.fParity = true;
    dcb.fOutxCtsFlow = true;
    dcb.fOutxDsrFlow = true;
    dcb.fDtrControl = 2;
    dcb.fDsrSensitivity = true;
    dcb.fTXContinueOnXoff = true;
    dcb.fOutX = true;
    dcb.fInX = true;
    dcb.fErrorChar = true;
    dcb.fNull = true;
    dcb.fRtsControl = 3;
    dcb.XonLim = 256;
    dcb.XoffLim = 257;
    dcb.ByteSize = 7;
    dcb.Parity = 4;
    dcb.StopBits = 2;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0x3F;
    dcb.EvtChar = 0x0D;
    DCB base{};
    base.wReserved = 7;
    DCB made{};
    ASSERT_TRUE(serial::MakeWin32Dcb(dcb, base, made));
    EXPECT_EQ(made.DCBlength, sizeof(DCB));
    EXPECT_EQ(made.wReserved, 7) << "what GetCommState read is kept";
    EXPECT_EQ(made.BaudRate, 19200u);
    EXPECT_EQ((std::vector<unsigned>{made.fBinary, made.fParity, made.fOutxCtsFlow,
                                     made.fOutxDsrFlow, made.fDtrControl, made.fDsrSensitivity,
                                     made.fTXContinueOnXoff, made.fOutX, made.fInX,
                                     made.fErrorChar, made.fNull, made.fRtsControl,
                                     made.fAbortOnError}),
              (std::vector<unsigned>{1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 3, 0}));
    EXPECT_EQ((std::vector<int>{made.XonLim, made.XoffLim, made.ByteSize, made.Parity,
                                made.StopBits, made.XonChar, made.XoffChar, made.ErrorChar,
                                made.EvtChar}),
              (std::vector<int>{256, 257, 7, 4, 2, 0x11, 0x13, 0x3F, 0x0D}));

    // What Windows itself refuses is refused before SetCommState sees it.
    for (const auto& [bytes, stop] : {std::pair{8, 1}, std::pair{5, 2}, std::pair{9, 0},
                                      std::pair{4, 0}}) {
        serial::TDcb frame;
        frame.ByteSize = static_cast<std::uint8_t>(bytes);
        frame.StopBits = static_cast<std::uint8_t>(stop);
        EXPECT_FALSE(serial::MakeWin32Dcb(frame, base, made)) << bytes << " bits, stop " << stop;
    }
    serial::TDcb oneAndAHalf;
    oneAndAHalf.ByteSize = 5;
    oneAndAHalf.StopBits = 1;
    EXPECT_TRUE(serial::MakeWin32Dcb(oneAndAHalf, base, made));
}

TEST(Win32Backend, TimeLimitsAndPortNamesAreTheOnesWindowsExpects) {
    const COMMTIMEOUTS limits = serial::MakeWin32Timeouts({0xFFFFFFFF, 0, 0, 100, 1000});
    EXPECT_EQ(limits.ReadIntervalTimeout, MAXDWORD) << "-1: return at once with what is there";
    EXPECT_EQ(limits.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(limits.WriteTotalTimeoutConstant, 1000u);

    EXPECT_EQ(serial::Win32DevicePath("COM9"), L"\\\\.\\COM9");
    EXPECT_EQ(serial::Win32DevicePath("COM12"), L"\\\\.\\COM12");
    EXPECT_EQ(serial::Win32DevicePath("\\\\.\\COM3"), L"\\\\.\\COM3");
    EXPECT_EQ(serial::DeviceName("/dev/ttyS1"), "COM2") << "a settings file from Linux";
    EXPECT_EQ(serial::DeviceName("COM9"), "COM9");

    const serial::EComPort hungUp(serial::ceRead, ERROR_NOT_READY);
    EXPECT_STREQ(hungUp.what(), "ReadFile function failed (win error code: 21)");
    EXPECT_THAT(serial::UserExplanation(hungUp), HasSubstr("verbroken"));
    EXPECT_THAT(serial::UserExplanation(serial::EComPort(serial::ceOpen, ERROR_ACCESS_DENIED)),
                HasSubstr("in gebruik"));
    EXPECT_THAT(serial::UserExplanation(serial::EComPort(serial::ceOpen, ERROR_FILE_NOT_FOUND)),
                HasSubstr("bestaat niet"));
}

// A key of the test's own in place of the system's, with what serial drivers enter there and
// what they do not.
TEST(Win32PortList, TheTextValuesOfTheKeyAreThePortsSortedByNumber) {
    const std::wstring key = L"Software\\Morvelplint-tests\\SERIALCOMM";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Morvelplint-tests");
    HKEY made = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &made, nullptr),
              ERROR_SUCCESS);
    const auto text = [&](const wchar_t* name, const wchar_t* value) {
        ::RegSetValueExW(made, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                         static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    };
    text(L"\\Device\\Serial0", L"COM1");
    text(L"\\Device\\VCP0", L"COM10");
    text(L"\\Device\\USBSER000", L"COM2");
    const DWORD number = 5;
    ::RegSetValueExW(made, L"\\Device\\Odd", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof number);
    ::RegCloseKey(made);

    const std::vector<std::string> names = serial::ReadPortKey(HKEY_CURRENT_USER, key);
    EXPECT_THAT(names, UnorderedElementsAre("COM1", "COM10", "COM2"));
    serial::SetPortNameSource([&] { return names; });
    EXPECT_THAT(serial::EnumPortNames(), ElementsAre("COM1", "COM10", "COM2"));
    serial::SetPortNameSource({});

    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Morvelplint-tests");
    EXPECT_TRUE(serial::ReadPortKey(HKEY_CURRENT_USER, key).empty()) << "no key: no ports";
}

// inpoutx64.dll here is the stand-in built with the tests.
TEST(Win32ParallelPorts, TheCardsPortsGoThroughInpOutAndWithoutItTheRefusalSaysWhy) {
    platform::TRealPortBackend ports;
    const platform::TPortAccess access = ports.RequestAccess();
    ASSERT_TRUE(access.Granted) << platform::AccessReasonText(access);
    const HMODULE standIn = ::GetModuleHandleW(L"inpoutx64.dll");
    ASSERT_NE(standIn, nullptr);
    using TSetInput = void (*)(short);
    using TCalls = int (*)(short*, short*, int);
    const auto setInput = reinterpret_cast<TSetInput>(
        reinterpret_cast<void (*)()>(::GetProcAddress(standIn, "StandInSetInput")));
    const auto calls = reinterpret_cast<TCalls>(
        reinterpret_cast<void (*)()>(::GetProcAddress(standIn, "StandInCalls")));
    ASSERT_TRUE(setInput && calls);

    setInput(0x0113); // the status port: lines 0011, a short circuit, and a high byte
    platform::SetPortBackend(&ports);
    platform::PortOut(platform::BusOutPort, 0x89);  // address strobe, place 9
    platform::PortOut(platform::BusOutPort, 0x140); // a data strobe; the high byte is no port's
    const std::uint16_t status = platform::PortIn(platform::BusInPort);
    platform::SetPortBackend(nullptr);
    EXPECT_EQ(status, 0x13) << "the port's byte alone";
    short portsSeen[8];
    short valuesSeen[8];
    const int count = calls(portsSeen, valuesSeen, 8);
    EXPECT_EQ((std::vector<short>(portsSeen, portsSeen + count)),
              (std::vector<short>{788, 788, 789}));
    EXPECT_EQ((std::vector<short>(valuesSeen, valuesSeen + count)),
              (std::vector<short>{0x89, 0x40, -1}));

    platform::TInpOut missing;
    const platform::TPortAccess refused = missing.Load(L"no-inpout-here.dll");
    EXPECT_FALSE(refused.Granted);
    EXPECT_EQ(refused.ErrorNumber, ERROR_MOD_NOT_FOUND);
    const std::string reason = platform::AccessReasonText(refused);
    EXPECT_THAT(reason, HasSubstr("inpoutx64.dll is niet gevonden"));
    EXPECT_THAT(reason, HasSubstr("windows_tests.exe")) << "the folder to put it in";
}

// The catalogues as the build compiles them, read by the program's own reader.
TEST(Win32Catalogues, TheCompiledCataloguesTranslateWithoutGettext) {
    const std::vector<std::string> domains{platform::DefaultDomain, serial::TextDomain};
    const std::vector<std::string> folders{MORVELPLINT_LOCALE_BUILD_DIR};
    const char* usage = "Gebruik: morvelplint-rack [--rack BESTAND] [--link PAD] [--log BESTAND]";

    EXPECT_EQ(platform::InitMessages(domains, folders, "en_GB.UTF-8"), folders.front());
    EXPECT_STREQ(platform::Tr(usage),
                 "Usage: morvelplint-rack [--rack FILE] [--link PATH] [--log FILE]")
        << "en_GB falls back on en";
    EXPECT_STREQ(platform::Translate(serial::TextDomain, "Unable to open com port"),
                 "Unable to open com port") << "no English cport catalogue";

    platform::InitMessages(domains, folders, "nl");
    EXPECT_STREQ(serial::EComPort(serial::ceWrite, 21).what(),
                 "De functie WriteFile is mislukt (win-foutcode: 21)");
    EXPECT_STREQ(platform::Tr(usage), usage);

    platform::InitMessages(domains, folders, "C");
    EXPECT_STREQ(serial::EComPort(serial::ceWrite, 21).what(),
                 "WriteFile function failed (win error code: 21)");
}
