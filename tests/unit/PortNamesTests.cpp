// The list of serial ports: the tty class scan and the ports' identities on a fake /sys and
// /dev tree, and the sorted list from an injected source. No test reads this machine's ports.
#include "ComTestSupport.h"
#include "Pty.h"
#include "serial/PortNames.h"
#include "serial/PortNamesLinux.h"
#include "serial/PortNotes.h"
#include "serial/PortWatch.h"

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

namespace serial {
void PrintTo(const TPortInfo& p, std::ostream* os) {
    *os << "{" << p.Path << ", " << p.Driver << ", " << p.VendorId << ":" << p.ProductId << ", "
        << p.Manufacturer << ", " << p.Product << ", " << p.SerialNumber << ", " << p.ById << "}";
}
} // namespace serial

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

// A sysfs and /dev tree as Linux lays them out for USB-serial adapters: /sys/class/tty/<tty>/device
// leads to the port's device (ttyUSB: the usb-serial port below the USB interface; ttyACM:
// the interface itself), whose "driver" link names the driver, with the USB device and its
// attributes further up; /dev/serial/by-id holds udev's links to the devices.
class FakeSysfs : public FakeTtyClass {
protected:
    fs::path Sys = Root / "sys";
    fs::path Dev = Root / "dev";
    TPortSource Previous;

    void SetUp() override {
        FakeTtyClass::SetUp();
        fs::create_directories(Dev / "serial" / "by-id");
        Previous = SetPortSource([this] { return ReadPorts(Sys.string(), Dev.string()); });
    }
    void TearDown() override {
        SetPortSource(Previous);
        FakeTtyClass::TearDown();
    }

    // A tty whose device (a folder `device` below /sys/devices) is driven by `driver`.
    fs::path Port(const std::string& tty, const fs::path& device, const std::string& driver) {
        const fs::path folder = Sys / "devices" / device;
        fs::create_directories(folder);
        fs::create_directories(Sys / "class" / "tty" / tty);
        fs::create_directory_symlink(folder, Sys / "class" / "tty" / tty / "device");
        fs::create_directories(Sys / "bus" / "drivers" / driver);
        fs::create_directory_symlink(Sys / "bus" / "drivers" / driver, folder / "driver");
        std::ofstream(Dev / tty).put('\n');
        return folder;
    }

    // A USB device at `usbPath` with its attributes; an empty attribute is left out.
    void Usb(const fs::path& usbPath, const std::string& vendor, const std::string& product,
             const std::string& manufacturer, const std::string& productName,
             const std::string& serial) {
        const fs::path folder = Sys / "devices" / usbPath;
        fs::create_directories(folder);
        const auto attribute = [&](const char* name, const std::string& value) {
            if (!value.empty())
                std::ofstream(folder / name) << value << "\n";
        };
        attribute("idVendor", vendor);
        attribute("idProduct", product);
        attribute("manufacturer", manufacturer);
        attribute("product", productName);
        attribute("serial", serial);
    }

    void ById(const std::string& name, const std::string& tty) {
        fs::create_symlink("../../" + tty, Dev / "serial" / "by-id" / name);
    }

    std::string D(const std::string& name) const { return (Dev / name).string(); }

    // Two FTDI adapters of one model, two CH340 adapters without serial numbers (udev's by-id
    // link goes to the one plugged in last), an Arduino on cdc_acm that names no product, and
    // a built-in UART.
    void BuildMachine() {
        Usb("usb1/1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A10K3XYZ");
        Port("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
        Usb("usb1/1-2", "0403", "6001", "FTDI", "FT232R USB UART", "B20M4QRS");
        Port("ttyUSB1", "usb1/1-2/1-2:1.0/ttyUSB1", "ftdi_sio");
        Usb("usb1/1-3", "1a86", "7523", "", "USB Serial", "");
        Port("ttyUSB2", "usb1/1-3/1-3:1.0/ttyUSB2", "ch341-uart");
        Usb("usb1/1-4", "1a86", "7523", "", "USB Serial", "");
        Port("ttyUSB3", "usb1/1-4/1-4:1.0/ttyUSB3", "ch341-uart");
        Usb("usb2/2-1", "2341", "0043", "Arduino (www.arduino.cc)", "", "75633313133351");
        Port("ttyACM0", "usb2/2-1/2-1:1.0", "cdc_acm");
        Port("ttyS0", "platform/serial8250/tty/ttyS0", "serial8250");
        std::ofstream(Sys / "class" / "tty" / "ttyS0" / "type") << "4\n";
        ById("usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0", "ttyUSB0");
        ById("usb-FTDI_FT232R_USB_UART_B20M4QRS-if00-port0", "ttyUSB1");
        ById("usb-1a86_USB_Serial-if00-port0", "ttyUSB3");
        ById("usb-Arduino__www.arduino.cc__0043_75633313133351-if00", "ttyACM0");
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

TEST_F(FakeSysfs, EachPortHasTheIdentityTheSystemGivesIt) {
    BuildMachine();
    const std::string byId = D("serial/by-id/");
    EXPECT_THAT(
        EnumPorts(),
        ElementsAre(TPortInfo{D("ttyACM0"), "cdc_acm", "2341", "0043", "Arduino (www.arduino.cc)",
                              "", "75633313133351",
                              byId + "usb-Arduino__www.arduino.cc__0043_75633313133351-if00"},
                    TPortInfo{D("ttyS0"), "serial8250", "", "", "", "", "", ""},
                    TPortInfo{D("ttyUSB0"), "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART",
                              "A10K3XYZ", byId + "usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0"},
                    TPortInfo{D("ttyUSB1"), "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART",
                              "B20M4QRS", byId + "usb-FTDI_FT232R_USB_UART_B20M4QRS-if00-port0"},
                    TPortInfo{D("ttyUSB2"), "ch341-uart", "1a86", "7523", "", "USB Serial", "", ""},
                    TPortInfo{D("ttyUSB3"), "ch341-uart", "1a86", "7523", "", "USB Serial", "",
                              byId + "usb-1a86_USB_Serial-if00-port0"}));
}

TEST_F(FakeSysfs, ReadableLinesTellIdenticalAdaptersApartBySerialNumberOrPath) {
    BuildMachine();
    std::vector<std::string> lines;
    for (const TPortInfo& port : EnumPorts())
        lines.push_back(PortLine(port));
    EXPECT_THAT(lines, ElementsAre(D("ttyACM0") + " — Arduino (www.arduino.cc) (75633313133351)",
                                   D("ttyS0"), D("ttyUSB0") + " — FT232R USB UART (A10K3XYZ)",
                                   D("ttyUSB1") + " — FT232R USB UART (B20M4QRS)",
                                   D("ttyUSB2") + " — USB Serial", D("ttyUSB3") + " — USB Serial"));
    TPortInfo bare;
    bare.Path = "/dev/ttyUSB9";
    bare.VendorId = "10c4";
    bare.ProductId = "ea60";
    EXPECT_EQ(PortLine(bare), "/dev/ttyUSB9 — USB 10c4:ea60") << "neither product nor maker known";
}

TEST_F(FakeSysfs, SettingsKeepTheByIdNameUnlessAnotherAdapterCouldShareIt) {
    BuildMachine();
    const std::vector<TPortInfo> ports = EnumPorts();
    std::vector<std::string> names;
    for (const TPortInfo& port : ports)
        names.push_back(StablePortName(port, ports));
    EXPECT_THAT(names,
                ElementsAre(D("serial/by-id/usb-Arduino__www.arduino.cc__0043_75633313133351-if00"),
                            D("ttyS0"),
                            D("serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0"),
                            D("serial/by-id/usb-FTDI_FT232R_USB_UART_B20M4QRS-if00-port0"),
                            D("ttyUSB2"), D("ttyUSB3")))
        << "the CH340s' one by-id name could lead to either of them";
}

// The watch for a lost port, one look at a time.
TEST_F(FakeSysfs, ALostAdapterIsFoundAgainByItsIdentityNotByTheNameItHad) {
    Usb("usb1/1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A10K3XYZ");
    Port("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
    ById("usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0", "ttyUSB0");
    const TPortInfo lost = EnumPorts().at(0);
    TPortWatch watch;
    watch.Start(lost, DeviceNodeOf(lost.Path), EntryOf(lost.Path));
    EXPECT_EQ(watch.Look(), "") << "still there: not back";

    // Pulled out; another adapter of the same model is plugged in and gets its old name.
    fs::remove_all(Sys / "class" / "tty" / "ttyUSB0");
    fs::remove_all(Sys / "devices" / "usb1");
    fs::remove(Dev / "ttyUSB0");
    fs::remove(Dev / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0");
    EXPECT_EQ(watch.Look(), "");
    Usb("usb1/1-2", "0403", "6001", "FTDI", "FT232R USB UART", "B20M4QRS");
    Port("ttyUSB0", "usb1/1-2/1-2:1.0/ttyUSB0", "ftdi_sio");
    EXPECT_EQ(watch.Look(), "") << "another adapter under the lost one's name";

    // The lost one comes back in another socket, under another name.
    Usb("usb1/1-3", "0403", "6001", "FTDI", "FT232R USB UART", "A10K3XYZ");
    Port("ttyUSB1", "usb1/1-3/1-3:1.0/ttyUSB1", "ftdi_sio");
    EXPECT_EQ(watch.Look(), D("ttyUSB1")) << "the same serial number";
    EXPECT_FALSE(watch.Watching());
    EXPECT_EQ(watch.Look(), "") << "one return, one answer";
}

TEST_F(FakeSysfs, APathWithoutIdentityIsBackOnceItWasGoneOrLeadsToAnotherNode) {
    const std::string link = D("adapter");
    std::ofstream(Dev / "one").put('\n');
    std::ofstream(Dev / "two").put('\n');
    fs::create_symlink("one", link);
    TPortInfo lost;
    lost.Path = link;
    TPortWatch watch;
    watch.Start(lost, DeviceNodeOf(link), EntryOf(link));
    EXPECT_EQ(watch.Look(), "") << "the node that failed is not a return";
    fs::remove(link);
    fs::create_symlink("two", link);
    EXPECT_EQ(watch.Look(), link) << "the link leads to another device";

    watch.Start(lost, DeviceNodeOf(link), EntryOf(link));
    fs::remove(link);
    EXPECT_EQ(watch.Look(), "");
    fs::create_symlink("two", link);
    EXPECT_EQ(watch.Look(), link) << "gone and back, even as the same node";

    watch.Start(lost, DeviceNodeOf(D("one")), EntryOf(link));
    EXPECT_EQ(watch.Look(), link) << "back under another node before the watch began";
}

TEST_F(FakeSysfs, APseudoTerminalIsBackOnlyUnderAPathMadeAnew) {
    TPty terminal;
    const std::string link = D("adapter");
    fs::create_symlink(terminal.Path(), link);
    std::ofstream(Dev / "lost").put('\n');
    TPortInfo lost;
    lost.Path = link;
    TPortWatch watch;
    // The lost terminal's number given to another program, under the unchanged link.
    watch.Start(lost, DeviceNodeOf(D("lost")), EntryOf(link));
    EXPECT_EQ(watch.Look(), "") << "another program's terminal is no return";
    fs::create_symlink(terminal.Path(), link + ".new");
    fs::rename(link + ".new", link);
    EXPECT_EQ(watch.Look(), link) << "a link laid anew leads to the new terminal";

    lost.Path = terminal.Path();
    watch.Start(lost, DeviceNodeOf(D("lost")), EntryOf(D("lost")));
    EXPECT_EQ(watch.Look(), "") << "never under its own name";
}

TEST_F(FakeSysfs, NotesReadTheServicesFromProcAndTheLatencyTimerFromSysfs) {
    BuildMachine();
    for (const auto& [pid, comm] : {std::pair{"1", "systemd"},
                                    {"812", "ModemManager"},
                                    {"self", "ModemManager"},
                                    {"907", "brltty-udev"}}) {
        fs::create_directories(Root / "proc" / pid);
        std::ofstream(Root / "proc" / pid / "comm") << comm << "\n";
    }
    std::ofstream(Sys / "devices/usb1/1-1/1-1:1.0/ttyUSB0/latency_timer") << "16\n";
    const TSystemFolders previous = SetSystemFolders({Sys.string(), (Root / "proc").string()});
    const std::string byId = D("serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0");

    const TPortFacts facts = GatherPortFacts(byId, EnumPorts(), true, false);
    EXPECT_THAT(facts.Services, ElementsAre("ModemManager"));
    EXPECT_TRUE(facts.Usb);
    EXPECT_EQ(facts.Driver, "ftdi_sio");
    EXPECT_EQ(facts.LatencyTimerMs, 16);
    EXPECT_EQ(facts.LatencyTimerFile, (Sys / "class/tty/ttyUSB0/device/latency_timer").string());
    EXPECT_EQ(GatherPortFacts(byId, EnumPorts(), false, false).LatencyTimerMs, 0)
        << "read only when the driver refused low latency";
    EXPECT_EQ(GatherPortFacts(D("ttyS0"), EnumPorts(), true, false).LatencyTimerMs, 0);
    SetSystemFolders(previous);
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
