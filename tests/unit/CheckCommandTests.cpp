// morvelplint-check as a script runs it: against the simulated rack with a fault from a rack
// file, its exit code and its report; its outputs into pipes, FIFOs and files that cannot be
// written.
#include "ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

class CheckCommandTest : public testing::Test {
protected:
    void SetUp() override {
        mFolder = testing::TempDir() + "check-XXXXXX";
        ASSERT_NE(mkdtemp(mFolder.data()), nullptr);
    }
    void TearDown() override { std::filesystem::remove_all(mFolder); }

    std::string RackFile(const std::string& io) {
        const std::string path = mFolder + "/rek.json";
        std::ofstream(path) << R"({"cards": [{"place": 9, "kind": "io")" << io << "}]}";
        return path;
    }
    std::string ReportPath() const { return mFolder + "/rapport.json"; }
    static std::string Text(const std::string& path) {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    nlohmann::json Report() const { return nlohmann::json::parse(Text(ReportPath()), nullptr, false); }

    // What the report says of each input that read wrong: "pin:diagnosis[:partner]".
    std::vector<std::string> Inputs() const {
        std::vector<std::string> seen;
        const nlohmann::json report = Report();
        for (const auto& input : report["tests"][0]["inputs"]) {
            std::string line = std::to_string(input["input"].get<int>()) + ":" +
                               input.value("diagnosis", std::string("-"));
            if (input.contains("partner")) {
                line += ':';
                line += std::to_string(input["partner"].get<int>());
            }
            seen.push_back(line);
        }
        return seen;
    }

    std::string mFolder;
};

TEST_F(CheckCommandTest, EachFaultOfTheRackFileIsNamedInTheReportAndFailsTheRun) {
    struct TCase {
        const char* Io;
        std::vector<std::string> Inputs;
        bool Silent;
    };
    const TCase cases[] = {
        {R"(, "faults": {"stuck": [{"input": 3, "level": 0}]})", {"3:stuck-0"}, false},
        {R"(, "faults": {"stuck": [{"input": 16, "level": 1}]})", {"16:stuck-1"}, false},
        {R"(, "faults": {"shorted": [[4, 5]]})", {"4:shorted:5", "5:shorted:4"}, false},
        {R"(, "faults": {"intermittent": [{"input": 7, "every": 5}]})", {"7:intermittent"}, false},
        {R"(, "faults": {"silent": true})", {}, true},
    };
    for (const TCase& fault : cases) {
        SCOPED_TRACE(fault.Io);
        TChildProcess check(MORVELPLINT_CHECK,
                            {"--sim", RackFile(fault.Io), "--baud", "19200", "--cycles", "60",
                             "--quiet", "--report", ReportPath(), "io@9"});
        ASSERT_EQ(check.Wait(60000), 1) << check.ReadError(true, 100);
        const nlohmann::json report = Report();
        EXPECT_EQ(report["result"], "fail");
        EXPECT_EQ(report["tests"][0]["cycles"], 60);
        EXPECT_EQ(report["tests"][0]["words"], 60 * 9) << "a cycle: four nibbles, read again";
        EXPECT_EQ(report["tests"][0].value("card", ""), fault.Silent ? "silent" : "");
        if (fault.Silent)
            EXPECT_EQ(Inputs().size(), 16u) << "every input stuck at 0";
        else
            EXPECT_EQ(Inputs(), fault.Inputs);
    }

    // The same card without a fault passes.
    TChildProcess check(MORVELPLINT_CHECK, {"--sim", RackFile(""), "--cycles", "60", "--quiet",
                                            "--report", ReportPath(), "io@9", "scan"});
    ASSERT_EQ(check.Wait(60000), 0) << check.ReadError(true, 100);
    const nlohmann::json report = Report();
    EXPECT_EQ(report["result"], "pass");
    EXPECT_EQ(report["tests"][0]["errors"], 0);
    EXPECT_EQ(report["tests"][1]["places"][9]["reply"], true);
}

TEST_F(CheckCommandTest, ASerialCardThatHangsUpMidRunLeavesTheRackUnreachable) {
    TChildProcess rack(MORVELPLINT_RACK, {"--rack", RackFile("")});
    const std::string port = rack.Read();
    ASSERT_EQ(port.rfind("/dev/pts/", 0), 0u) << port;
    TChildProcess check(MORVELPLINT_CHECK,
                        {"--port", port, "--duration", "60", "--report", ReportPath(), "io@9"});
    // The first progress line comes after the first cycle: the run is under way.
    EXPECT_NE(check.Read(false, 20000).find("io@9: cycli "), std::string::npos);
    rack.Signal(SIGKILL);
    EXPECT_EQ(check.Wait(20000), 2);
    EXPECT_NE(check.ReadError(true, 100).find("het rek is niet bereikbaar"), std::string::npos);
    const nlohmann::json report = Report();
    EXPECT_EQ(report["result"], "unreachable");
    EXPECT_GT(report["tests"][0]["cycles"].get<int>(), 0);
    EXPECT_FALSE(report["reason"].get<std::string>().empty());
}

TEST_F(CheckCommandTest, ABadRackFileIsABadArgument) {
    TChildProcess check(MORVELPLINT_CHECK, {"--sim", RackFile(R"(, "plug": 3)"), "io@9"});
    EXPECT_EQ(check.Wait(), 3);
    EXPECT_EQ(check.ReadError(true, 100),
              "morvelplint-check: " + mFolder +
                  "/rek.json: cards[0].plug: hier hoort true of false\n");
}

} // namespace

// ---- outputs a script can trust ----

TEST_F(CheckCommandTest, AReportOnStandardOutputIsJsonAndTheSummaryGoesToStandardError) {
    TChildProcess check(MORVELPLINT_CHECK, {"--sim", "--cycles", "3", "--report", "-", "io@9"});
    const std::string out = check.Read(true, 30000);
    ASSERT_EQ(check.Wait(), 0);
    const nlohmann::json report = nlohmann::json::parse(out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << out;
    EXPECT_EQ(report["result"], "pass");
    EXPECT_EQ(report["tests"][0]["cycles"], 3);
    EXPECT_NE(check.ReadError(true, 100).find("Resultaat: pass"), std::string::npos);
}

TEST_F(CheckCommandTest, ACaptureIntoAFifoReachesItsReaderAsPcapngAndTheFifoStays) {
    const std::string fifo = mFolder + "/live.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string bytes;
    // The reader comes after the run has begun, as a Wireshark started by hand does.
    std::thread reader([&] {
        platform::Sleep(300);
        std::ifstream in(fifo, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    });
    TChildProcess check(MORVELPLINT_CHECK,
                        {"--sim", "--cycles", "5", "--quiet", "--capture", fifo, "io@9"});
    const int code = check.Wait(30000);
    reader.join();
    ASSERT_EQ(code, 0) << check.ReadError(true, 100);
    struct stat info {};
    ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    // Whole blocks to the end: the section header, three interfaces, a packet per event (the
    // option byte and its echo, the 192 set-up words with their replies, five cycles of nine
    // words with theirs).
    std::map<std::uint32_t, int> blocks;
    std::size_t at = 0;
    while (at + 12 <= bytes.size()) {
        std::uint32_t type = 0;
        std::uint32_t length = 0;
        std::memcpy(&type, bytes.data() + at, 4);
        std::memcpy(&length, bytes.data() + at + 4, 4);
        ASSERT_GE(length, 12u);
        ++blocks[type];
        at += length;
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(blocks[0x0A0D0D0A], 1);
    EXPECT_EQ(blocks[1], 3);
    EXPECT_EQ(blocks[6], 2 + 2 * 192 + 2 * 5 * 9);
}

TEST_F(CheckCommandTest, AnOutputThatCannotBeMadeIsRefusedBeforeAnyWordIsSent) {
    // The serial card's pseudo-terminal, whose far end the test holds: the option byte would
    // be the first thing on it.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string port = ptsname(master);
    std::filesystem::create_directory(mFolder + "/map");
    const struct {
        const char* Option;
        std::string Path;
        std::string Reason;
    } cases[] = {
        {"--report", mFolder + "/weg/r.json", mFolder + "/weg: No such file or directory"},
        {"--capture", mFolder + "/map", "Is a directory"},
    };
    for (const auto& output : cases) {
        SCOPED_TRACE(output.Path);
        TChildProcess check(MORVELPLINT_CHECK, {"--port", port, output.Option, output.Path, "io@9"});
        EXPECT_EQ(check.Wait(), 3);
        EXPECT_NE(check.ReadError(true, 100).find(output.Reason), std::string::npos);
        pollfd sent{master, POLLIN, 0};
        EXPECT_EQ(poll(&sent, 1, 200), 0) << "something reached the card";
    }
    close(master);
}

TEST_F(CheckCommandTest, AReportThatCannotBeWrittenAtTheEndExits4AndLeavesTheOldOne) {
    std::ofstream(ReportPath()) << "the old report";
    // A file size limit of nothing, as a full disc gives: every write to a file fails.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit none = old;
    none.rlim_cur = 0;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
    TChildProcess check(MORVELPLINT_CHECK,
                        {"--sim", "--cycles", "3", "--quiet", "--report", ReportPath(), "io@9"});
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(check.Wait(30000), 4);
    EXPECT_EQ(check.ReadError(true, 100), "morvelplint-check: kan het rapport " + ReportPath() +
                                              " niet schrijven: File too large\n");
    EXPECT_EQ(Text(ReportPath()), "the old report");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mFolder), {}), 1)
        << "no temporary file stays behind";
}

TEST_F(CheckCommandTest, AClosedStandardOutputEndsTheProgressNotTheRun) {
    TChildProcess check(MORVELPLINT_CHECK,
                        {"--sim", "--cycles", "40", "--report", ReportPath(), "io@9"});
    check.CloseOutput();
    ASSERT_EQ(check.Wait(30000), 0) << check.ReadError(true, 100);
    EXPECT_EQ(Report()["result"], "pass");
    EXPECT_EQ(Report()["tests"][0]["cycles"], 40);
}

TEST_F(CheckCommandTest, ARunKilledMidwayLeavesACaptureThatTsharkReads) {
    const std::string capture = mFolder + "/soak.pcapng";
    TChildProcess check(MORVELPLINT_CHECK, {"--sim", "--duration", "60", "--capture", capture,
                                            "io@9"});
    ASSERT_NE(check.Read(false, 20000).find("io@9: cycli "), std::string::npos);
    // Past the stream's flush, then killed at once.
    platform::Sleep(1500);
    check.Signal(SIGKILL);
    EXPECT_EQ(check.Wait(), -1);
    ASSERT_EQ(std::system("command -v tshark >/dev/null"), 0) << "tshark is not installed";
    const std::string count = mFolder + "/count.txt";
    const int read = std::system(("tshark -r '" + capture + "' -T fields -e frame.number > '" +
                                  count + "' 2>&1")
                                     .c_str());
    EXPECT_EQ(read, 0) << Text(count);
    const std::string frames = Text(count);
    EXPECT_GT(std::count(frames.begin(), frames.end(), '\n'), 2 + 2 * 192 + 9 * 2);
}
