// The list of serial ports: the tty class scan on a fake /sys tree, and the sorted list from
// an injected source. No test reads this machine's ports.
#include "ComTestSupport.h"
#include "serial/PortNames.h"
#include "serial/PortNamesLinux.h"

#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace serial;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

namespace fs = std::filesystem;

namespace {

// A folder laid out like /sys/class/tty: one folder per tty, with a "device" link for ttys
// that have hardware behind them and a "type" attribute for serial-core ports.
class FakeTtyClass : public ::testing::Test {
protected:
    fs::path Root = fs::temp_directory_path() /
                    ("morvelplint-tty-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path Devices = Root / "devices";
    fs::path Class = Root / "class" / "tty";

    void SetUp() override {
        fs::remove_all(Root);
        fs::create_directories(Devices / "serial8250");
        fs::create_directories(Class);
    }
    void TearDown() override { fs::remove_all(Root); }

    void Tty(const std::string& name, bool device, const char* type = nullptr) {
        const fs::path entry = Class / name;
        fs::create_directories(entry);
        if (device)
            fs::create_directory_symlink(Devices / "serial8250", entry / "device");
        if (type)
            std::ofstream(entry / "type") << type << "\n";
    }
};

class PortNameSourceTest : public ::testing::Test {
protected:
    TPortNameSource Previous;
    void Use(std::vector<std::string> names) {
        Previous = SetPortNameSource([names] { return names; });
    }
    void TearDown() override { SetPortNameSource(Previous); }
};

} // namespace

TEST_F(FakeTtyClass, ListsTtysWithADeviceAndSkipsAbsentUarts) {
    Tty("ttyS0", true, "4"); // a 16550A
    Tty("ttyS1", true, "0"); // placeholder without a UART
    Tty("ttyUSB0", true);    // USB adapters have no type attribute
    Tty("ttyACM0", true);
    Tty("tty0", false); // virtual console
    Tty("console", false);
    EXPECT_THAT(ScanTtyClass(Class.string(), "/dev"),
                UnorderedElementsAre("/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyACM0"));
}

TEST_F(FakeTtyClass, AnEmptyFolderGivesAnEmptyList) {
    EXPECT_THAT(ScanTtyClass(Class.string(), "/dev"), IsEmpty());
}

TEST_F(FakeTtyClass, AnUnreadableFolderRaisesReason23) {
    const EComPort error = Raised([&] { ScanTtyClass((Root / "missing").string(), "/dev"); });
    EXPECT_EQ(error.Reason, 23);
    EXPECT_EQ(error.SystemCode, ENOENT);
    EXPECT_STREQ(error.what(), "Registry error (win error code: 2)");
}

TEST_F(PortNameSourceTest, NamesAreSortedWithoutRegardToCase) {
    Use({"COM2", "COM10", "COM1"});
    EXPECT_THAT(EnumPortNames(), ElementsAre("COM1", "COM10", "COM2"));
    Use({"/dev/ttyUSB0", "/dev/ttyS1", "/dev/TTYACM0", "/dev/ttyS10"});
    EXPECT_THAT(EnumPortNames(),
                ElementsAre("/dev/TTYACM0", "/dev/ttyS1", "/dev/ttyS10", "/dev/ttyUSB0"));
}

TEST_F(PortNameSourceTest, AnEmptySourceGivesAnEmptyList) {
    Use({});
    EXPECT_THAT(EnumPortNames(), IsEmpty());
}

TEST_F(PortNameSourceTest, AFailingSourceRaisesItsError) {
    Previous =
        SetPortNameSource([]() -> std::vector<std::string> { throw EComPort(ceRegistry, EACCES); });
    EXPECT_EQ(Raised([] { EnumPortNames(); }).SystemCode, EACCES);
}
