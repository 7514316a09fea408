#include "settings/SettingsFile.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using bus::ReadSettings;
using bus::TSettings;
using bus::TSettingsLoad;
using bus::WriteSettings;

namespace {

const std::vector<std::string> Ports{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"};

TSettingsLoad Read(const std::string& text, const TSettings& current = {},
                   std::vector<std::string> ports = Ports) {
    return ReadSettings(text, current, std::move(ports),
                        [](const std::string& path) { return path == "/dev/pts/7"; });
}

const char* const DefaultFile = "[ZELM]\r\n"
                                "Methode= Serieel\r\n"
                                "Poort= /dev/ttyS1\r\n"
                                "Clock= 200\r\n"
                                "Stop= False\r\n"
                                "Timeout= True\r\n"
                                "Kortsluit= False\r\n"
                                "Baudrate= 9600\r\n"
                                "Test= False\r\n"
                                "Tijd= 400\r\n"
                                "\r\n";

std::ptrdiff_t Entries(const std::filesystem::path& folder) {
    return std::distance(std::filesystem::directory_iterator(folder),
                         std::filesystem::directory_iterator());
}

std::string Text(const std::filesystem::path& path) {
    std::string text;
    return bus::ReadFileText(path.string(), text) ? text : "(cannot be read)";
}

struct TSaveResult {
    bool Ok = false;
    std::string Error;
};

// Saves from a child process that runs as `uid`:`gid` with `groups`, so that the rules for an
// ordinary user hold even when the tests run as root. Without root the child keeps the test's
// own ids, which must then be the ones asked for.
TSaveResult SaveAs(uid_t uid, gid_t gid, const std::vector<gid_t>& groups, const std::string& path,
                   std::string_view bytes) {
    int channel[2];
    if (::pipe(channel) != 0)
        return {false, "no pipe"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() != uid &&
            (::setgroups(groups.size(), groups.data()) != 0 || ::setresgid(gid, gid, gid) != 0 ||
             ::setresuid(uid, uid, uid) != 0))
            ::_exit(2);
        if (::geteuid() != uid || ::getegid() != gid)
            ::_exit(3);
        std::string error;
        const std::string answer = (bus::ReplaceFile(path, bytes, error) ? "1" : "0") + error;
        ::_exit(::write(channel[1], answer.data(), answer.size()) ==
                        static_cast<ssize_t>(answer.size())
                    ? 0
                    : 4);
    }
    ::close(channel[1]);
    std::string answer;
    char buffer[256];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = -1;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || answer.empty())
        return {false, "the saving child failed to run: " + std::to_string(status)};
    return {answer[0] == '1', answer.substr(1)};
}

class TempFolder : public ::testing::Test {
protected:
    std::filesystem::path Folder;
    void SetUp() override {
        char pattern[] = "/tmp/morvelplint-settings-XXXXXX";
        Folder = ::mkdtemp(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(Folder); }
};

} // namespace

TEST(SettingsWriter, WritesTenLinesAndAnEmptyLineWithCrLf) {
    EXPECT_EQ(WriteSettings(TSettings{}, Ports), DefaultFile);
}

TEST(SettingsWriter, WritesEveryValueAndAnEmptyPortWhenNoneIsSelected) {
    TSettings s;
    s.Parallel = true;
    s.PortIndex = -1;
    s.ClockIndex = 4;
    s.KortsluitStop = s.KorsluitMelding = s.Baudrate19200 = s.Testen = true;
    s.TimeOut = false;
    s.TestTijd = 10000;
    EXPECT_EQ(WriteSettings(s, Ports), "[ZELM]\r\nMethode= Parallel\r\nPoort= \r\nClock= 1600\r\n"
                                       "Stop= True\r\nTimeout= False\r\nKortsluit= True\r\n"
                                       "Baudrate= 19200\r\nTest= True\r\nTijd= 10000\r\n\r\n");
}

TEST(SettingsReader, HeaderAloneChangesNothing) {
    TSettings current;
    current.TestTijd = 750;
    const auto load = Read("[ZELM]\r\n", current);
    EXPECT_TRUE(load.Ok);
    EXPECT_EQ(load.Settings, current);
    EXPECT_EQ(load.Ports, Ports);
}

TEST(SettingsReader, ReadsBackWhatTheWriterWrote) {
    TSettings s;
    s.Parallel = true;
    s.PortIndex = 2;
    s.ClockIndex = 3;
    s.KortsluitStop = true;
    s.TimeOut = false;
    s.Testen = true;
    s.TestTijd = 1250;
    const auto load = Read(WriteSettings(s, Ports));
    EXPECT_TRUE(load.Ok);
    EXPECT_EQ(load.Settings, s);
    EXPECT_EQ(WriteSettings(load.Settings, load.Ports), WriteSettings(s, Ports));
}

TEST(SettingsReader, SectionHeadersDecideWhichLinesCount) {
    EXPECT_EQ(Read("Tijd= 900\r\n[ZELM]\r\n").Settings.TestTijd, 400) << "before the header";
    EXPECT_EQ(Read("[zelm]\r\nTijd= 900\r\n").Settings.TestTijd, 900) << "lower case header";
    EXPECT_EQ(Read(" [ZELM]\r\nTijd= 900\r\n").Settings.TestTijd, 400) << "leading blank";
    EXPECT_EQ(Read("[ZELM] \r\nTijd= 900\r\n").Settings.TestTijd, 400) << "trailing blank";
    EXPECT_EQ(Read("[ZELM]\r\n[COUNTER]\r\nTijd= 900\r\n").Settings.TestTijd, 400);
    EXPECT_EQ(Read("[ZELM]\r\n[COUNTER]\r\nTijd= 900\r\n[Zelm]\r\nTijd= 800\r\n").Settings.TestTijd,
              800);
    EXPECT_EQ(Read("[ZELM]\r\n[OTHER]\r\nTijd= 900\r\n").Settings.TestTijd, 900)
        << "an unknown header leaves the section as it is";
}

TEST(SettingsReader, KeysAndValuesIgnoreCaseAndBlanks) {
    const auto load = Read("[ZELM]\r\n  stop  =   true  \r\nTIMEOUT=false\r\nkortsluit =True\r\n"
                           "baudrate= 19200\r\ntest=TRUE\r\n");
    EXPECT_TRUE(load.Settings.KortsluitStop);
    EXPECT_FALSE(load.Settings.TimeOut);
    EXPECT_TRUE(load.Settings.KorsluitMelding);
    EXPECT_TRUE(load.Settings.Baudrate19200);
    EXPECT_TRUE(load.Settings.Testen);
}

TEST(SettingsReader, UnknownValuesSwitchCheckBoxesOffAndLeaveListsAlone) {
    TSettings current;
    current.KortsluitStop = current.Baudrate19200 = true;
    current.ClockIndex = 2;
    const auto load =
        Read("[ZELM]\r\nStop= yes\r\nBaudrate= 38400\r\nClock= 300\r\nMethode= par\r\n", current);
    EXPECT_FALSE(load.Settings.KortsluitStop);
    EXPECT_FALSE(load.Settings.Baudrate19200);
    EXPECT_EQ(load.Settings.ClockIndex, 2);
    EXPECT_FALSE(load.Settings.Parallel);
    EXPECT_TRUE(Read("[ZELM]\r\nMethode= parallel\r\n").Settings.Parallel);
}

TEST(SettingsReader, LastOccurrenceWinsAndLinesWithoutEqualsAreSkipped) {
    const auto load =
        Read("[ZELM]\r\nClock= 100\r\nnonsense\r\nFoo= bar\r\nClock= 1600\r\nTijd= 500\r\n"
             "Tijd= 600\r\n");
    EXPECT_EQ(load.Settings.ClockIndex, 4);
    EXPECT_EQ(load.Settings.TestTijd, 600);
    EXPECT_NE(WriteSettings(load.Settings, load.Ports).find("\r\nClock= 1600\r\n"),
              std::string::npos);
}

TEST(SettingsReader, TestTimeIsClampedOrStopsTheLoad) {
    EXPECT_EQ(Read("[ZELM]\r\nTijd= 50\r\n").Settings.TestTijd, 100);
    EXPECT_EQ(Read("[ZELM]\r\nTijd= 20000\r\n").Settings.TestTijd, 10000);
    EXPECT_EQ(Read("[ZELM]\r\nTijd= -5\r\n").Settings.TestTijd, 100);
    EXPECT_EQ(Read("[ZELM]\r\nTijd= +450\r\n").Settings.TestTijd, 450);

    const auto load = Read("[ZELM]\r\nStop= True\r\nTijd= 4x0\r\nTest= True\r\n");
    EXPECT_FALSE(load.Ok);
    EXPECT_EQ(load.Error, "'4X0' is not a valid integer value");
    EXPECT_TRUE(load.Settings.KortsluitStop) << "what came before the error stays";
    EXPECT_FALSE(load.Settings.Testen) << "the load ends at the bad line";

    EXPECT_EQ(Read("[ZELM]\r\nTijd= 99999999999\r\n").Error,
              "'99999999999' is not a valid integer value");
    EXPECT_EQ(Read("[ZELM]\r\nTijd=\r\n").Error, "'' is not a valid integer value");
    EXPECT_TRUE(Read("[ZELM]\r\nTijd= 2147483647\r\n").Ok);
}

TEST(SettingsReader, PortSelectsByNameByDeviceOrByComNumber) {
    TSettings current; // position 1 selected
    EXPECT_EQ(Read("[ZELM]\r\nPoort= /DEV/TTYUSB0\r\n", current).Settings.PortIndex, 2);
    EXPECT_EQ(Read("[ZELM]\r\nPoort= com1\r\n", current).Settings.PortIndex, 0);
    EXPECT_EQ(Read("[ZELM]\r\nPoort= COM3\r\n", current).Settings.PortIndex, 2);
    EXPECT_EQ(Read("[ZELM]\r\nPoort= COM4\r\n", current).Settings.PortIndex, -1)
        << "a position past the end selects nothing";
    EXPECT_EQ(Read("[ZELM]\r\nPoort= COM9\r\n", current).Settings.PortIndex, 1);
    EXPECT_EQ(Read("[ZELM]\r\nPoort= /dev/pts/8\r\n", current).Settings.PortIndex, 1);

    const auto added = Read("[ZELM]\r\nPoort= /dev/pts/7\r\n", current);
    EXPECT_EQ(added.Settings.PortIndex, 3);
    ASSERT_EQ(added.Ports.size(), 4u);
    EXPECT_EQ(added.Ports[3], "/dev/pts/7") << "the device keeps the case of its path";
}

TEST(SettingsReader, HostileInputEndsCleanly) {
    std::string junk;
    for (int i = 0; i < 70000; ++i)
        junk += static_cast<char>((i * 7919) & 0xFF);
    EXPECT_EQ(Read(junk).Settings, TSettings{});

    const std::string withNul = std::string("[ZELM]\r\nTijd= 7") + '\0' + "00\r\nStop= True";
    const auto nul = Read(withNul);
    EXPECT_FALSE(nul.Ok);
    EXPECT_TRUE(Read(std::string("[ZELM]\r\nStop=") + '\0' + "TRUE").Settings.KortsluitStop)
        << "control characters count as blanks";

    const std::string megabyteLine = "[ZELM]\r\nPoort= " + std::string(1 << 20, 'A') + "\r\n";
    EXPECT_EQ(Read(megabyteLine).Settings.PortIndex, 1);

    const auto noLineEnds = Read("[ZELM]\nTijd= 300\rClock= 800");
    EXPECT_EQ(noLineEnds.Settings.TestTijd, 300);
    EXPECT_EQ(noLineEnds.Settings.ClockIndex, 3);
    EXPECT_EQ(Read("").Settings, TSettings{});
    EXPECT_EQ(Read("=\r\n==\r\n[ZELM]\r\n=\r\n= =\r\n").Settings, TSettings{});
}

TEST_F(TempFolder, PortNamedByAnotherPathToTheSameDeviceSelectsTheListedOne) {
    const std::string device = (Folder / "ttyUSB0").string();
    const std::string byId = (Folder / "usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0").string();
    std::ofstream(device).put('\n');
    std::filesystem::create_symlink("ttyUSB0", byId);

    const auto byDevice = Read("[ZELM]\r\nPoort= " + device + "\r\n", {}, {"/dev/ttyS0", byId});
    EXPECT_EQ(byDevice.Settings.PortIndex, 1) << "a file from before by-id names";
    EXPECT_EQ(byDevice.Ports, (std::vector<std::string>{"/dev/ttyS0", byId})) << "no second entry";
    EXPECT_EQ(
        Read("[ZELM]\r\nPoort= " + byId + "\r\n", {}, {device, "/dev/ttyS0"}).Settings.PortIndex,
        0);
}

TEST_F(TempFolder, ReplaceFileWritesExactBytesAndKeepsPermissions) {
    const std::string path = (Folder / "Morvelplint.ini").string();
    std::string error;
    ASSERT_TRUE(bus::ReplaceFile(path, "old", error)) << error;
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(bus::ReplaceFile(path, DefaultFile, error)) << error;

    std::string text;
    ASSERT_TRUE(bus::ReadFileText(path, text));
    EXPECT_EQ(text, DefaultFile);
    struct stat info {};
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file left behind";
}

TEST_F(TempFolder, ReplaceFileKeepsOwnerGroupAndSetIdBits) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can hand the old file to another owner";
    const std::string path = (Folder / "Morvelplint.ini").string();
    std::ofstream(path) << "old";
    ASSERT_EQ(::chown(path.c_str(), 1234, 5678), 0);
    ASSERT_EQ(::chmod(path.c_str(), 06750), 0);
    std::string error;
    ASSERT_TRUE(bus::ReplaceFile(path, DefaultFile, error)) << error;

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 5678u);
    EXPECT_EQ(info.st_mode & 07777, 06750u);
    EXPECT_EQ(Text(path), DefaultFile);
}

TEST_F(TempFolder, ReplaceFileRefusedTheOwnerSavesAndKeepsTheGroup) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs a file owned by someone else in a group of the saving user";
    // User 1234 in group 5678 saves a file of user 4321 that group 5678 may write.
    ASSERT_EQ(::chmod(Folder.c_str(), 0777), 0);
    const std::string path = (Folder / "Morvelplint.ini").string();
    std::ofstream(path) << "old";
    ASSERT_EQ(::chown(path.c_str(), 4321, 5678), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
    const TSaveResult saved = SaveAs(1234, 1234, {5678}, path, DefaultFile);
    ASSERT_TRUE(saved.Ok) << saved.Error;

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 1234u) << "the saving user's own";
    EXPECT_EQ(info.st_gid, 5678u) << "the old group";
    EXPECT_EQ(info.st_mode & 07777, 0664u);
    EXPECT_EQ(Text(path), DefaultFile);
}

TEST_F(TempFolder, ReplaceFileRewritesAWritableFileInPlaceInAFolderItMayNotWrite) {
    // Root may write any folder, so as root the save runs as another user.
    const bool root = ::geteuid() == 0;
    const uid_t user = root ? 1234 : ::geteuid();
    const gid_t group = root ? 5678 : ::getegid();
    const std::string path = (Folder / "Morvelplint.ini").string();
    std::ofstream(path) << std::string(1000, 'x');
    ASSERT_EQ(::chown(path.c_str(), user, group), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    ASSERT_EQ(::chmod(Folder.c_str(), 0555), 0);
    const TSaveResult saved = SaveAs(user, group, {}, path, DefaultFile);
    const TSaveResult created = SaveAs(user, group, {}, (Folder / "New.ini").string(), "new");
    ASSERT_EQ(::chmod(Folder.c_str(), 0700), 0);

    ASSERT_TRUE(saved.Ok) << saved.Error;
    EXPECT_EQ(Text(path), DefaultFile) << "the longer old content is cut off";
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the same file, written in place";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_FALSE(created.Ok) << "a new file needs the folder";
    EXPECT_EQ(created.Error, "Permission denied");
    EXPECT_EQ(Entries(Folder), 1);
}

TEST_F(TempFolder, ReplaceFileKeepsLinksAndReplacesTheFileTheyLeadTo) {
    namespace fs = std::filesystem;
    fs::create_directory(Folder / "home");
    fs::create_directory(Folder / "data");
    // Each relative target counts from its own link's folder.
    fs::create_symlink("../data/current.ini", Folder / "home" / "Morvelplint.ini");
    fs::create_symlink("real.ini", Folder / "data" / "current.ini");
    std::ofstream(Folder / "data" / "real.ini") << "old";
    fs::create_symlink("../data/new.ini", Folder / "home" / "Dangling.ini");

    std::string error;
    ASSERT_TRUE(
        bus::ReplaceFile((Folder / "home" / "Morvelplint.ini").string(), DefaultFile, error))
        << error;
    ASSERT_TRUE(bus::ReplaceFile((Folder / "home" / "Dangling.ini").string(), "new", error))
        << error;

    ASSERT_TRUE(fs::is_symlink(Folder / "home" / "Morvelplint.ini"));
    EXPECT_EQ(fs::read_symlink(Folder / "home" / "Morvelplint.ini"), "../data/current.ini");
    ASSERT_TRUE(fs::is_symlink(Folder / "data" / "current.ini"));
    EXPECT_EQ(fs::read_symlink(Folder / "data" / "current.ini"), "real.ini");
    EXPECT_EQ(Text(Folder / "data" / "real.ini"), DefaultFile);
    ASSERT_TRUE(fs::is_symlink(Folder / "home" / "Dangling.ini"));
    EXPECT_EQ(fs::read_symlink(Folder / "home" / "Dangling.ini"), "../data/new.ini");
    EXPECT_EQ(Text(Folder / "data" / "new.ini"), "new");
    EXPECT_EQ(Entries(Folder / "home"), 2) << "no temporary file left beside the links";
    EXPECT_EQ(Entries(Folder / "data"), 3);
}

TEST_F(TempFolder, FailedReplaceReportsTheReasonAndLeavesTheOldFile) {
    std::string error;
    EXPECT_FALSE(bus::ReplaceFile((Folder / "missing" / "x.ini").string(), "new", error));
    EXPECT_EQ(error, "No such file or directory");

    // A folder in the way: the rename fails, the folder and its content stay.
    const auto blocked = Folder / "Morvelplint.ini";
    std::filesystem::create_directory(blocked);
    std::ofstream(blocked / "keep") << "kept";
    EXPECT_FALSE(bus::ReplaceFile(blocked.string(), "new", error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(std::filesystem::exists(blocked / "keep"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(TempFolder, SaveFileWritesWhatIsNoRegularFileWhereItIsAndNeverReplacesIt) {
    // A FIFO gets the bytes through its reader and stays a FIFO.
    const auto fifo = Folder / "settings.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string read;
    std::thread reader([&] {
        std::ifstream in(fifo, std::ios::binary);
        read.assign(std::istreambuf_iterator<char>(in), {});
    });
    std::string error;
    EXPECT_TRUE(bus::SaveFile(fifo.string(), DefaultFile, error)) << error;
    reader.join();
    EXPECT_EQ(read, DefaultFile);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_EQ(Entries(Folder), 1);

    // A device is written, and its refusal said: /dev/full stays the device it is.
    EXPECT_FALSE(bus::SaveFile("/dev/full", DefaultFile, error));
    EXPECT_EQ(error, "No space left on device");
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));

    // A name that is a folder is refused before anything is written; a missing folder is
    // named.
    EXPECT_FALSE(bus::CheckOutputFile(Folder.string(), error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_FALSE(bus::CheckOutputFile((Folder / "weg" / "x.ini").string(), error));
    EXPECT_EQ(error, (Folder / "weg").string() + ": No such file or directory");
    EXPECT_TRUE(bus::CheckOutputFile((Folder / "new.ini").string(), error));
    EXPECT_TRUE(bus::CheckOutputFile("-", error));
}

TEST_F(TempFolder, ReadFileTextRefusesWhatIsNotAFileAndHonoursTheLimit) {
    std::string text;
    EXPECT_FALSE(bus::ReadFileText((Folder / "none.ini").string(), text));
    EXPECT_FALSE(bus::ReadFileText(Folder.string(), text));
    const std::string path = (Folder / "big.ini").string();
    std::ofstream(path) << std::string(5000, 'x');
    ASSERT_TRUE(bus::ReadFileText(path, text, 4096));
    EXPECT_EQ(text.size(), 4096u);
}

TEST(TerminalDevice, PseudoTerminalCountsAndOtherFilesDoNot) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    EXPECT_TRUE(bus::IsTerminalDevice(::ptsname(master)));
    ::close(master);
    EXPECT_FALSE(bus::IsTerminalDevice("/dev/null"));
    EXPECT_FALSE(bus::IsTerminalDevice("/etc/hostname"));
    EXPECT_FALSE(bus::IsTerminalDevice("/dev/does-not-exist"));
}

TEST(SettingsReader, NoPortSelectedSavesAnEmptyPortThatKeepsTheSelectionOnLoad) {
    // Found by the fuzzer: COM4 on a list of three selects nothing; the file written then
    // has an empty port, and reading it back leaves whatever port was selected.
    const auto load = Read("[ZELM]\r\nPoort= COM4\r\n");
    ASSERT_EQ(load.Settings.PortIndex, -1);
    const std::string written = WriteSettings(load.Settings, load.Ports);
    EXPECT_NE(written.find("\r\nPoort= \r\n"), std::string::npos);
    TSettings current;
    current.PortIndex = 2;
    EXPECT_EQ(Read(written, current).Settings.PortIndex, 2);
}
