// The settings window's notes about a port, from hand-made facts.
#include "serial/PortNotes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace serial;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// /dev/ttyUSB0 as udev makes it (root:dialout, crw-rw----), and a user outside dialout.
TPortFacts Outsider() {
    TAccessFacts access;
    access.DeviceOwner = 0;
    access.DeviceGroup = 20;
    access.Mode = 020660;
    access.OwnerName = "root";
    access.GroupName = "dialout";
    access.UserId = 1000;
    access.UserName = "anna";
    access.UserGroups = {1000, 24, 1000};
    TPortFacts facts;
    facts.Access = access;
    return facts;
}

} // namespace

TEST(PortNotes, NoAccessNamesTheGroupAndTheExactCommand) {
    TPortFacts facts = Outsider();
    EXPECT_THAT(PortNotes("/dev/ttyUSB0", facts),
                ElementsAre("Geen toegang tot /dev/ttyUSB0: het apparaat hoort bij de groep "
                            "dialout (crw-rw----) en anna is daar geen lid van. Voeg de gebruiker "
                            "toe met 'sudo usermod -aG dialout anna' en meld daarna opnieuw aan."));

    facts.Access->GroupListsUser = true; // added with usermod, not logged in again since
    EXPECT_THAT(PortNotes("/dev/ttyUSB0", facts),
                ElementsAre("Geen toegang tot /dev/ttyUSB0 in deze sessie: anna is lid van de "
                            "groep dialout, maar dat geldt pas na opnieuw aanmelden."));

    facts.Access->Mode = 020600; // only the owner may: a group would not help
    EXPECT_THAT(PortNotes("/dev/ttyUSB0", facts),
                ElementsAre("Geen lees- en schrijfrecht op /dev/ttyUSB0 (crw-------, eigenaar "
                            "root, groep dialout)."));
}

TEST(PortNotes, AccessThroughGroupOwnerOrRootNeedsNoNote) {
    TPortFacts facts = Outsider();
    facts.Access->UserGroups.push_back(20);
    EXPECT_THAT(PortNotes("/dev/ttyUSB0", facts), IsEmpty());
    facts = Outsider();
    facts.Access->DeviceOwner = 1000;
    facts.Access->Mode = 020600;
    EXPECT_THAT(PortNotes("/dev/pts/3", facts), IsEmpty()) << "a pseudo-terminal of the user's";
    facts = Outsider();
    facts.Access->UserId = 0;
    EXPECT_THAT(PortNotes("/dev/ttyUSB0", facts), IsEmpty());
    EXPECT_THAT(PortNotes("/dev/ttyUSB0", TPortFacts{}), IsEmpty()) << "a device not there";
}

TEST(PortNotes, ServicesThatTakeAdaptersAreNamedWhereTheyMatter) {
    TPortFacts facts;
    facts.Services = {"ModemManager", "brltty"};
    facts.Usb = true;
    facts.UsbListed = true;
    const auto notes = PortNotes("/dev/ttyUSB0", facts);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_THAT(notes[0], ::testing::EndsWith("'sudo systemctl disable --now ModemManager'."));
    EXPECT_THAT(notes[1], ::testing::EndsWith("'sudo apt remove brltty'."));

    facts.Usb = false; // a built-in port, with an adapter in the list
    EXPECT_THAT(PortNotes("/dev/ttyS0", facts), IsEmpty());
    facts.UsbListed = false; // no adapter listed at all: brltty may have taken it
    EXPECT_THAT(PortNotes("/dev/ttyS0", facts),
                ElementsAre(::testing::StartsWith("brltty draait:")));
}

TEST(PortNotes, ALatencyTimerTheDriverKeptIsPricedPerBusWordWithTheWayToLowerIt) {
    TPortFacts facts;
    facts.LatencyTimerMs = 16;
    facts.LatencyTimerFile = "/sys/class/tty/ttyUSB0/device/latency_timer";
    facts.Driver = "ftdi_sio";
    EXPECT_THAT(
        PortNotes("/dev/ttyUSB0", facts),
        ElementsAre("De adapter op /dev/ttyUSB0 houdt elk antwoord tot 16 ms vast (latency_timer) "
                    "en het stuurprogramma weigerde de lage latentie: elk buswoord wacht daardoor "
                    "tot 16 ms extra, bovenop de 2 ms die het op de lijn kost. Zet de timer op 1 "
                    "ms: nu met 'echo 1 | sudo tee /sys/class/tty/ttyUSB0/device/latency_timer', "
                    "blijvend met de udev-regel ACTION==\"add\", SUBSYSTEM==\"usb-serial\", "
                    "DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\" in "
                    "/etc/udev/rules.d/99-morvelplint.rules."));
    facts.Baud19200 = true;
    EXPECT_THAT(PortNotes("/dev/ttyUSB0", facts)[0],
                ::testing::HasSubstr("bovenop de 1 ms die het op de lijn kost"));
    facts.LatencyTimerMs = 1;
    EXPECT_THAT(PortNotes("/dev/ttyUSB0", facts), IsEmpty()) << "1 ms costs nothing to speak of";
}
