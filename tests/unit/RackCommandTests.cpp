#include "ChildProcess.h"
#include "PtyClient.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utility>
#include <vector>

using ::testing::EndsWith;
using ::testing::StartsWith;

namespace {

// morvelplint-rack as a child process.
class TRackProcess : public TChildProcess {
public:
    explicit TRackProcess(std::vector<std::string> arguments)
        : TChildProcess(MORVELPLINT_RACK, std::move(arguments)) {}
};

std::string TempFolder() {
    std::string folder = testing::TempDir() + "rack-XXXXXX";
    return mkdtemp(folder.data()) ? folder : std::string();
}

std::string LinkTarget(const std::string& link) {
    char buffer[256];
    const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// What --help prints with LANG set to `lang`, and its exit code.
std::pair<std::string, int> HelpWithLang(const char* lang) {
    const char* previous = std::getenv("LANG");
    const std::string saved = previous ? previous : "";
    ::setenv("LANG", lang, 1);
    TRackProcess rack({"--help"});
    previous ? ::setenv("LANG", saved.c_str(), 1) : ::unsetenv("LANG");
    std::string text = rack.Read(true);
    return {text, rack.Wait()};
}

} // namespace

TEST(RackCommand, HelpExplainsTheCommandInDutch) {
    const auto [text, exitCode] = HelpWithLang("nl_NL.UTF-8");
    EXPECT_EQ(exitCode, 0);
    EXPECT_THAT(
        text,
        StartsWith("Gebruik: morvelplint-rack [--rack BESTAND] [--link PAD] [--log BESTAND]\n\n"
                   "Start een gesimuleerd ZELM-rek"));
    EXPECT_NE(text.find("9600"), std::string::npos);
}

TEST(RackCommand, HelpFollowsTheUsersLanguageThroughTheCatalogue) {
    const auto [english, exitCode] = HelpWithLang("en_GB.UTF-8");
    EXPECT_EQ(exitCode, 0);
    EXPECT_THAT(english,
                StartsWith("Usage: morvelplint-rack [--rack FILE] [--link PATH] [--log FILE]\n\n"
                           "Starts a simulated ZELM rack"));
    EXPECT_THAT(english, EndsWith("  -h, --help      shows this explanation\n"));
    // Without a catalogue for the language the help stays as written.
    EXPECT_EQ(HelpWithLang("sv_SE.UTF-8").first, HelpWithLang("nl_NL.UTF-8").first);
}

TEST(RackCommand, RefusesAnUnknownOrIncompleteOption) {
    TRackProcess unknown({"--snel"});
    EXPECT_EQ(unknown.Wait(), 2);
    TRackProcess incomplete({"--link"});
    EXPECT_EQ(incomplete.Wait(), 2);
    TRackProcess noFile({"--rack"});
    EXPECT_EQ(noFile.Wait(), 2);
}

TEST(RackCommand, ServesTheRackThroughItsLinkUntilStopped) {
    const std::string folder = TempFolder();
    const std::string link = folder + "/zelm";
    TRackProcess rack({"--link", link});
    const std::string path = rack.Read();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    EXPECT_EQ(LinkTarget(link), path);

    TPtyClient client(link);
    EXPECT_EQ(client.Exchange(0x0A), 0x0A);
    client.SetSpeed(B19200);
    // The default rack: place 2 reports 4, place 9 is the IO card with its test plug in.
    EXPECT_EQ(client.Exchange(128 + 2), 128 + 2);
    EXPECT_EQ(client.Exchange(64), 64 + 4);
    EXPECT_EQ(client.Exchange(128 + 9), 128 + 9);
    EXPECT_EQ(client.Exchange(96 + 16 + 6), 64 + 32 + 6) << "nibble 3 read back";

    rack.Signal(SIGTERM);
    EXPECT_EQ(rack.Wait(), 0);
    EXPECT_FALSE(Exists(link));
    EXPECT_TRUE(client.WaitHangUp(5000));
    rmdir(folder.c_str());
}

TEST(RackCommand, ReplacesAStaleLinkButLeavesAnyOtherFileAlone) {
    const std::string folder = TempFolder();
    const std::string stale = folder + "/stale";
    ASSERT_EQ(symlink("/dev/pts/nowhere", stale.c_str()), 0);
    TRackProcess rack({"--link", stale});
    const std::string path = rack.Read();
    EXPECT_EQ(LinkTarget(stale), path);
    rack.Signal(SIGINT);
    EXPECT_EQ(rack.Wait(), 0);
    EXPECT_FALSE(Exists(stale));

    const std::string file = folder + "/file";
    std::ofstream(file) << "mine";
    TRackProcess refused({"--link", file});
    EXPECT_EQ(refused.Wait(), 1);
    std::string content;
    std::ifstream(file) >> content;
    EXPECT_EQ(content, "mine");
    unlink(file.c_str());
    rmdir(folder.c_str());
}

TEST(RackCommand, AnswersAsTheRackFileSays) {
    const std::string folder = TempFolder();
    const std::string file = folder + "/rek.json";
    std::ofstream(file) << R"({"cards": [
        {"place": 12, "kind": "test", "lines": 10, "short": true},
        {"place": 9, "kind": "io", "plug": true, "faults": {"stuck": [{"input": 16, "level": 0}]}}
    ]})";
    TRackProcess rack({"--rack", file});
    const std::string path = rack.Read();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    EXPECT_EQ(rack.ReadError(),
              "Gesimuleerd rek uit " + file + " op " + path + ". Stoppen met Ctrl+C.");

    // As a terminal program would: raw 8N1 at 9600 baud, the option byte, then words.
    TPtyClient client(path);
    EXPECT_EQ(client.Exchange(0x00), 0x00);
    EXPECT_EQ(client.Exchange(128 + 12), 128 + 12);
    EXPECT_EQ(client.Exchange(64), 64 + 16 + 10);
    EXPECT_EQ(client.Exchange(128 + 9), 128 + 9);
    EXPECT_EQ(client.Exchange(64 + 15), 64 + 0b0111) << "pin 16 (bit 3) stuck at 0";
    EXPECT_EQ(client.Exchange(128 + 11), 128 + 11);
    EXPECT_EQ(client.Exchange(64 + 15), 64) << "an empty place";
    rack.Signal(SIGTERM);
    EXPECT_EQ(rack.Wait(), 0);
    unlink(file.c_str());
    rmdir(folder.c_str());
}

TEST(RackCommand, RefusesABadRackFileOnStandardErrorAndStartsNothing) {
    const std::string folder = TempFolder();
    const std::string file = folder + "/rek.json";
    std::ofstream(file)
        << R"({"cards": [{"place": 9, "kind": "io"}, {"place": 9, "kind": "test"}]})";
    TRackProcess rack({"--rack", file});
    EXPECT_EQ(rack.Read(true), "") << "no terminal";
    EXPECT_EQ(rack.ReadError(true), "morvelplint-rack: " + file +
                                        ": cards[1].place: plaats 9 is al bezet "
                                        "(cards[0].place)\n");
    EXPECT_EQ(rack.Wait(), 1);
    unlink(file.c_str());
    rmdir(folder.c_str());
}
