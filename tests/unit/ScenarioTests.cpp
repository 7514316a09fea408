// The scenarios of tests/scenarios against the rack session itself, without a front-end: each
// step's action as the session offers it, the words the simulated serial card took, and what
// the views show as the session's view values. The same files run through the desktop's
// windows (tests/widgets) and through the browser (tests/web).
#include "TestTimers.h"
#include "cards/PageActions.h"
#include "platform/Tick.h"
#include "session/RackSession.h"
#include "sim/SimRack.h"
#include "web/Commands.h"
#include "web/PageState.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <unistd.h>

namespace {

using nlohmann::json;

std::vector<std::string> ScenarioFiles() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(MORVELPLINT_SCENARIOS))
        if (entry.path().extension() == ".json")
            files.push_back(entry.path().stem().string());
    std::sort(files.begin(), files.end());
    return files;
}

// Keeps what the session showed: its messages and the page it turned to.
class TRecorder final : public session::TFrontEnd {
public:
    std::vector<std::string> Messages;
    std::string Shown = "intro";

    void Message(cards::TPage, bool, const std::string& text) override { Messages.push_back(text); }
    void Error(const std::string& text) override { Messages.push_back(text); }
    void Notice(const session::TNotice& notice) override { Messages.push_back(notice.Text); }
    void ShowPage(cards::TPage page) override { Shown = web::PageKey(page); }
};

class ScenarioTest : public ::testing::TestWithParam<std::string> {
protected:
    std::filesystem::path Folder =
        std::filesystem::temp_directory_path() /
        ("morvelplint-scenario-" + std::to_string(::getpid()) + "-" + GetParam());
    // The program's clock, stepped by the test; the simulated serial card in this process.
    platform::TSteppedClock Clock;
    platform::TClock* PreviousClock = platform::SetClock(&Clock);
    TTestTimers Timers;
    TRecorder FrontEnd;
    std::unique_ptr<session::TRackSession> Session;

    ~ScenarioTest() override { platform::SetClock(PreviousClock); }

    void SetUp() override {
        std::filesystem::create_directories(Folder);
        session::TSessionOptions options;
        options.SimRack = sim::DefaultRack();
        options.SimSerialLine = sim::TSimRack::TSerialLine::InProcess;
        options.SettingsFile = (Folder / "Morvelplint.ini").string();
        Session = std::make_unique<session::TRackSession>(Timers, std::move(options));
        Session->SetFrontEnd(&FrontEnd);
        // As every front-end starts: connected over the simulated serial card.
        ASSERT_TRUE(Session->Start().empty());
        Session->RunArmedSetUp();
        ASSERT_TRUE(Session->Bus().Ready());
        FrontEnd.Messages.clear();
    }
    void TearDown() override {
        Session.reset();
        std::filesystem::remove_all(Folder);
    }

    // What the card took since `from`: the card in this process takes every word as it is
    // written.
    std::vector<int> Taken(std::size_t from) const {
        std::vector<int> words;
        const auto received = Session->Rack()->SerialCard->Received();
        for (std::size_t i = from; i < received.size(); ++i)
            words.push_back(received[i].Byte);
        return words;
    }

    // Everything the views show, under the names the scenarios use.
    json View() {
        const json pages = json::parse(web::PagesJson(Session->Cards()));
        const session::TDiagnostics& diagnostics = Session->Diagnostics();
        const sim::TFaultsView faults = Session->Faults();
        return {{"pages", pages["pages"]},
                {"running", pages["running"]},
                {"settings", json::parse(web::SettingsJson(*Session))},
                {"diag",
                 {{"running", diagnostics.Running()},
                  {"caption", diagnostics.FormView().StartCaption}}},
                {"rack",
                 {{"serial",
                   {{"newCardEnabled", faults.NewCardEnabled},
                    {"faultsEnabled", faults.SerialFaultsEnabled}}}}},
                {"shown", FrontEnd.Shown}};
    }

    void Do(const json& step);
};

json At(const json& view, const std::string& path) {
    const json* at = &view;
    std::istringstream parts(path);
    std::string part;
    while (std::getline(parts, part, '.')) {
        if (at->is_array())
            at = &(*at)[std::stoul(part)];
        else if (at->contains(part))
            at = &(*at)[part];
        else
            return nullptr;
    }
    return *at;
}

void ScenarioTest::Do(const json& step) {
    session::TRackSession& s = *Session;
    if (step.contains("show")) {
        const std::string tab = step["show"];
        // Another tab: the settings left as their window's deactivation, the card page left
        // as the focus leaving it.
        if (FrontEnd.Shown == web::SettingsTab && tab != web::SettingsTab)
            s.SettingsLeft();
        if (const auto page = web::PageOfKey(tab))
            s.Cards().ShowPage(*page);
        FrontEnd.Shown = tab;
    } else if (step.contains("page")) {
        const auto page = web::PageOfKey(step["page"].get<std::string>());
        ASSERT_TRUE(page);
        const cards::TPageAction* action =
            cards::FindPageAction(*page, step["do"].get<std::string>());
        ASSERT_TRUE(action) << step;
        cards::TActionArgs args;
        for (const cards::TActionField& field : action->Fields)
            if (field.Name)
                args.*field.Into = step.at(field.Name).get<int>();
        if (action->Ticked)
            args.Ticked = step.at("ticked").get<bool>();
        ASSERT_TRUE(action->Enabled(s.Cards(), args)) << "a disabled control: " << step;
        action->Call(s.Cards(), args);
    } else if (step.contains("setting")) {
        const std::string name = step["setting"];
        bus::TSettings settings = s.Settings().Settings();
        const json& value = step["value"];
        if (name == "parallel")
            settings.Parallel = value;
        else if (name == "kortsluitStop")
            settings.KortsluitStop = value;
        else if (name == "timeOut")
            settings.TimeOut = value;
        else if (name == "kortsluitMelding")
            settings.KorsluitMelding = value;
        else if (name == "baud19200")
            settings.Baudrate19200 = value;
        else if (name == "testen")
            settings.Testen = value;
        else if (name == "testTijd")
            settings.TestTijd = value;
        else
            FAIL() << "no such setting: " << name;
        s.EditSettings(settings);
    } else if (step.contains("press")) {
        const std::string button = step["press"];
        if (button == "ok") {
            for (int i = 0; i < step.value("times", 1); ++i)
                s.Ok();
        } else if (button == "cancel") {
            // The window closes: it is no longer the active one.
            s.Cancel();
            s.SettingsLeft();
            FrontEnd.Shown = "intro";
        } else if (button == "open") {
            if (const std::string error = s.Open(s.SettingsFile()); !error.empty())
                FrontEnd.Messages.push_back(error);
        } else if (button == "save") {
            if (const auto failure = s.Save(s.SettingsFile()))
                FrontEnd.Messages.push_back(failure->Text);
        } else {
            FAIL() << "no such button: " << button;
        }
    } else if (step.contains("setUp")) {
        ASSERT_TRUE(s.SetUpArmed());
        s.RunArmedSetUp();
    } else if (step.contains("diag")) {
        const std::string what = step["diag"];
        if (what == "start") {
            if (step.contains("end")) {
                diag::TRunChoice choice = s.Diagnostics().Choice();
                choice.End = diag::TRunChoice::TEnd::UntilStop;
                s.Diagnostics().SetChoice(choice);
            }
            if (const std::string refused = s.Diagnostics().Start(); !refused.empty())
                FrontEnd.Messages.push_back(refused);
        } else {
            s.Diagnostics().Stop();
        }
    } else if (step.contains("fault")) {
        const std::string what = step["fault"];
        sim::TFault fault;
        fault.Kind = what == "hangUp" ? sim::TFault::TKind::HangUp : sim::TFault::TKind::NewCard;
        ASSERT_FALSE(s.GiveFault(fault));
    } else if (step.contains("file")) {
        std::ofstream(s.SettingsFile(), std::ios::binary) << step["file"].get<std::string>();
    }
}

} // namespace

TEST_P(ScenarioTest, RunsAgainstTheSession) {
    std::ifstream file(std::filesystem::path(MORVELPLINT_SCENARIOS) / (GetParam() + ".json"));
    const json scenario = json::parse(file);
    int number = 0;
    for (const json& step : scenario["steps"]) {
        SCOPED_TRACE("step " + std::to_string(++number) + ": " + step.dump());
        const std::size_t mark = Session->Rack()->SerialCard->Received().size();
        const std::size_t messages = FrontEnd.Messages.size();
        ASSERT_NO_FATAL_FAILURE(Do(step));
        const std::vector<int> taken = Taken(mark);
        if (step.contains("words")) {
            EXPECT_EQ(taken, step["words"].get<std::vector<int>>());
        }
        if (step.contains("wordCount")) {
            EXPECT_EQ(taken.size(), step["wordCount"].get<std::size_t>());
        }
        if (step.contains("wordsStart")) {
            const auto words = step["wordsStart"].get<std::vector<int>>();
            EXPECT_EQ(std::vector<int>(taken.begin(), taken.begin() + static_cast<std::ptrdiff_t>(
                                                                   std::min(words.size(), taken.size()))),
                      words);
        }
        if (step.contains("wordsEnd")) {
            const auto words = step["wordsEnd"].get<std::vector<int>>();
            EXPECT_EQ(std::vector<int>(taken.end() - static_cast<std::ptrdiff_t>(
                                                         std::min(words.size(), taken.size())),
                                       taken.end()),
                      words);
        }
        if (step.contains("message")) {
            ASSERT_GT(FrontEnd.Messages.size(), messages) << "no message";
            EXPECT_EQ(FrontEnd.Messages.back(), step["message"].get<std::string>());
        }
        if (step.contains("fileLines")) {
            std::ifstream saved(Session->SettingsFile(), std::ios::binary);
            std::string text((std::istreambuf_iterator<char>(saved)), {});
            std::vector<std::string> lines;
            for (std::size_t at = 0; (at = text.find("\r\n")) != std::string::npos;
                 text.erase(0, at + 2))
                if (!text.starts_with("Poort="))
                    lines.push_back(text.substr(0, at));
            lines.pop_back(); // the empty line that ends the file
            EXPECT_EQ(lines, step["fileLines"].get<std::vector<std::string>>());
        }
        if (step.contains("view")) {
            const json view = View();
            for (const auto& [path, wanted] : step["view"].items()) {
                EXPECT_EQ(At(view, path), wanted) << path;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ScenarioTest, ::testing::ValuesIn(ScenarioFiles()),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });
