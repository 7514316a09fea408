#include "serial/PortNotes.h"

#include "platform/Messages.h"

#include <algorithm>
#include <utility>

namespace serial {

namespace {

using platform::Format;
using platform::Tr;

TSystemFolders& Folders() {
    static TSystemFolders folders;
    return folders;
}

// "crw-rw----", as ls shows it.
std::string ModeText(unsigned mode) {
    std::string text = (mode & 0170000) == 0020000 ? "c" : "-";
    const char letters[] = "rwx";
    for (int bit = 8; bit >= 0; --bit)
        text += (mode & (1u << bit)) != 0 ? letters[(8 - bit) % 3] : '-';
    return text;
}

std::string AccessNote(const std::string& device, const TAccessFacts& a) {
    if (a.UserId == 0)
        return {};
    const bool owner = a.DeviceOwner == a.UserId;
    const bool member =
        std::find(a.UserGroups.begin(), a.UserGroups.end(), a.DeviceGroup) != a.UserGroups.end();
    const unsigned shift = owner ? 6 : member ? 3 : 0;
    if (((a.Mode >> shift) & 06) == 06)
        return {};
    // The group may read and write: membership is the way in.
    if (!owner && !member && ((a.Mode >> 3) & 06) == 06) {
        if (a.GroupListsUser)
            return Format(Tr("Geen toegang tot %s in deze sessie: %s is lid van de groep %s, "
                             "maar dat geldt pas na opnieuw aanmelden."),
                          device.c_str(), a.UserName.c_str(), a.GroupName.c_str());
        return Format(Tr("Geen toegang tot %s: het apparaat hoort bij de groep %s (%s) en %s "
                         "is daar geen lid van. Voeg de gebruiker toe met 'sudo usermod -aG %s "
                         "%s' en meld daarna opnieuw aan."),
                      device.c_str(), a.GroupName.c_str(), ModeText(a.Mode).c_str(),
                      a.UserName.c_str(), a.GroupName.c_str(), a.UserName.c_str());
    }
    return Format(Tr("Geen lees- en schrijfrecht op %s (%s, eigenaar %s, groep %s)."),
                  device.c_str(), ModeText(a.Mode).c_str(), a.OwnerName.c_str(),
                  a.GroupName.c_str());
}

bool Runs(const TPortFacts& facts, const char* service) {
    return std::find(facts.Services.begin(), facts.Services.end(), service) != facts.Services.end();
}

} // namespace

std::vector<std::string> PortNotes(const std::string& device, const TPortFacts& facts) {
    std::vector<std::string> notes;
    if (facts.Access) {
        if (std::string note = AccessNote(device, *facts.Access); !note.empty())
            notes.push_back(std::move(note));
    }
    if (facts.Usb && Runs(facts, "ModemManager"))
        notes.push_back(Tr("ModemManager draait: het onderzoekt elke nieuwe USB-seriële adapter "
                           "als modem en houdt de poort dan enkele seconden bezet. Gebruik je "
                           "geen modem, zet het dan uit met 'sudo systemctl disable --now "
                           "ModemManager'."));
    // brltty takes an adapter away altogether, so it is worth saying when none is listed.
    if ((facts.Usb || !facts.UsbListed) && Runs(facts, "brltty"))
        notes.push_back(Tr("brltty draait: het neemt sommige USB-seriële adapters (CH340, "
                           "CP210x, FTDI) in als brailleleesregel, waarna hun poort verdwijnt. "
                           "Gebruik je geen brailleleesregel, verwijder het dan met 'sudo apt "
                           "remove brltty'."));
    if (facts.LatencyTimerMs > 1) {
        // A bus word is one byte out and one byte back, ten bits each on the line.
        const int baud = facts.Baud19200 ? 19200 : 9600;
        const int lineMs = (20000 + baud / 2) / baud;
        const std::string driver = facts.Driver.empty() ? "ftdi_sio" : facts.Driver;
        notes.push_back(Format(
            Tr("De adapter op %s houdt elk antwoord tot %d ms vast (latency_timer) en het "
               "stuurprogramma weigerde de lage latentie: elk buswoord wacht daardoor tot %d ms "
               "extra, bovenop de %d ms die het op de lijn kost. Zet de timer op 1 ms: nu met "
               "'echo 1 | sudo tee %s', blijvend met de udev-regel ACTION==\"add\", "
               "SUBSYSTEM==\"usb-serial\", DRIVER==\"%s\", ATTR{latency_timer}=\"1\" in "
               "/etc/udev/rules.d/99-morvelplint.rules."),
            device.c_str(), facts.LatencyTimerMs, facts.LatencyTimerMs, lineMs,
            facts.LatencyTimerFile.c_str(), driver.c_str()));
    }
    return notes;
}

TSystemFolders SetSystemFolders(TSystemFolders folders) {
    return std::exchange(Folders(), std::move(folders));
}

TPortFacts GatherPortFacts(const std::string& device, const std::vector<TPortInfo>& listed,
                           bool lowLatencyRefused, bool baud19200) {
    TPortFacts facts;
    facts.Access = ReadAccessFacts(device);
    for (const TPortInfo& port : listed) {
        const bool usb = !port.VendorId.empty();
        facts.UsbListed = facts.UsbListed || usb;
        if (port.Path == device || port.ById == device) {
            facts.Usb = usb;
            facts.Driver = port.Driver;
        }
    }
    facts.Services = RunningServices(Folders().Proc);
    if (lowLatencyRefused)
        facts.LatencyTimerMs = LatencyTimerMs(Folders().Sys, device, facts.LatencyTimerFile);
    facts.Baud19200 = baud19200;
    return facts;
}

} // namespace serial
