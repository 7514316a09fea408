// morvelplint-check as a script runs it: against the simulated rack with a fault from a rack
// file, its exit code and its report.
#include "ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

class CheckCommandTest : public testing::Test {
protected:
    void SetUp() override {
        mFolder = testing::TempDir() + "check-XXXXXX";
        ASSERT_NE(mkdtemp(mFolder.data()), nullptr);
    }
    void TearDown() override {
        for (const char* name : {"/rek.json", "/rapport.json"})
            std::remove((mFolder + name).c_str());
        rmdir(mFolder.c_str());
    }

    std::string RackFile(const std::string& io) {
        const std::string path = mFolder + "/rek.json";
        std::ofstream(path) << R"({"cards": [{"place": 9, "kind": "io")" << io << "}]}";
        return path;
    }
    std::string ReportPath() const { return mFolder + "/rapport.json"; }
    nlohmann::json Report() const {
        std::ifstream file(ReportPath());
        std::stringstream text;
        text << file.rdbuf();
        return nlohmann::json::parse(text.str(), nullptr, false);
    }

    // What the report says of each input that read wrong: "pin:diagnosis[:partner]".
    std::vector<std::string> Inputs() const {
        std::vector<std::string> seen;
        const nlohmann::json report = Report();
        for (const auto& input : report["tests"][0]["inputs"]) {
            std::string line = std::to_string(input["input"].get<int>()) + ":" +
                               input.value("diagnosis", std::string("-"));
            if (input.contains("partner"))
                line += ":" + std::to_string(input["partner"].get<int>());
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
