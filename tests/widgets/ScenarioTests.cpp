// The scenarios of tests/scenarios through the desktop's windows: each step as a user does it
// with the mouse (a click gives the control the focus, a tab change takes it off the page, the
// settings window deactivates when it closes), the words the simulated serial card took, and
// what the widgets show. The same files run against the session (tests/unit) and through the
// browser (tests/web).
#include "DialogRecorder.h"
#include "ProgramWindows.h"
#include "TestFiles.h"
#include "app/CardDiagnostics.h"
#include "app/RackView.h"
#include "cards/qt/Controls.h"
#include "cards/qt/PageBlock.h"
#include "cards/qt/PageBusWord.h"
#include "cards/qt/PageIok.h"
#include "cards/qt/PageLkkEvl.h"
#include "cards/qt/PageSlk.h"
#include "sim/SimRack.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

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

std::string LampName(const cards::TShape* shape) {
    for (cards::TLamp lamp : {cards::TLamp::Yellow, cards::TLamp::White, cards::TLamp::Grey,
                              cards::TLamp::Green, cards::TLamp::Red})
        if (shape->BrushColor() == cards::LampColor(lamp))
            return cards::LampName(lamp);
    return "?";
}

class ScenarioTest : public ::testing::TestWithParam<std::string> {
protected:
    TDialogRecorder Dialogs;
    std::filesystem::path Folder = MakeTempFolder("morvelplint-scenario");
    std::filesystem::path PreviousFolder = std::filesystem::current_path();
    bool InFolder = (std::filesystem::current_path(Folder), true);
    TProgramWindows Windows{sim::DefaultRack()};
    app::TFormMorvelplint& Window = *Windows.Window;
    bus::TStatusForm& Status = *Windows.Status;
    cards::TCardPages& Pages = *Window.CardPages;
    std::string Shown = "intro";

    void SetUp() override {
        Window.show();
        QApplication::setActiveWindow(&Window);
        // As the program starts: connected over the simulated serial card.
        Status.TimerStatusTimer();
        ASSERT_TRUE(Status.BusReady());
        Shown = "sck";
        Dialogs.Messages.clear();
    }
    void TearDown() override {
        Window.TimerSpeed->stop();
        Status.hide();
        std::filesystem::current_path(PreviousFolder);
        std::filesystem::remove_all(Folder);
    }

    sim::TSerialCard& Card() { return *Windows.Session->Rack()->SerialCard; }
    // What the card took since `from`, once it has taken all there is (words sent without
    // waiting for their answer may still be on their way). No events run meanwhile: a tick of
    // a running test would send more.
    std::vector<int> Taken(std::size_t from) {
        for (std::size_t seen = Card().Received().size(), quiet = 0; quiet < 3; ++quiet) {
            platform::Sleep(10);
            if (const std::size_t now = Card().Received().size(); now != seen) {
                seen = now;
                quiet = 0;
            }
        }
        return BytesTaken(Card(), from);
    }

    // A click as the mouse gives it: the focus first.
    static void Click(QAbstractButton* button) {
        ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString() << " is disabled";
        button->setFocus(Qt::MouseFocusReason);
        button->click();
    }
    static void Tick(QAbstractButton* box, bool ticked) {
        if (box->isChecked() != ticked)
            Click(box);
    }
    QWidget* Sheet(const std::string& key) const {
        static const std::map<std::string, QWidget* cards::TCardPages::*> sheets{
            {"sck", &cards::TCardPages::TabSheetSCK},     {"pck", &cards::TCardPages::TabSheetPCK},
            {"slk", &cards::TCardPages::TabSheetSLK},     {"xbk", &cards::TCardPages::TabSheetXBK},
            {"bk3", &cards::TCardPages::TabSheet3BK},     {"lkk", &cards::TCardPages::TabSheetLKK_EVL},
            {"iok", &cards::TCardPages::TabSheetIOK}};
        if (key == "intro")
            return Window.TabSheetINTRO;
        const auto found = sheets.find(key);
        return found == sheets.end() ? nullptr : Pages.*(found->second);
    }
    cards::TBusWordPage& BusWord(const std::string& key) {
        return key == "sck" ? *Pages.PageSCK : *Pages.PagePCK;
    }
    // The page's main button: send, start or stop.
    QAbstractButton* MainButton(const std::string& key) {
        if (key == "sck" || key == "pck")
            return BusWord(key).ButtonVersturen;
        if (key == "slk")
            return Pages.PageSLK->ButtonSLKVersturen;
        if (key == "xbk")
            return Pages.PageXBK->Button2BKControl;
        if (key == "bk3")
            return Pages.Page3BK->Button3BKControl;
        if (key == "lkk")
            return Pages.PageLKK_EVL->ButtonLKK_EVLversturen;
        return Pages.PageIOK->ButtonIOKVersturen;
    }

    void Do(const json& step);
    json Shows(const std::string& path);
};

void ScenarioTest::Do(const json& step) {
    if (step.contains("show")) {
        const std::string tab = step["show"];
        if (tab == "instellingen") {
            Status.show();
            QApplication::setActiveWindow(&Status);
        } else {
            if (Status.isVisible())
                Status.hide();
            QApplication::setActiveWindow(&Window);
            if (tab == "diagnose")
                Window.KaartdiagnoseClick();
            else if (tab == "rek")
                Window.RekItemClick();
            else if (QWidget* sheet = Sheet(tab);
                     sheet && Window.PageControlTester->currentWidget() != sheet) {
                // A click on the tab: the tab bar takes the focus off the page, then it changes.
                Window.PageControlTester->tabBar()->setFocus(Qt::MouseFocusReason);
                Window.PageControlTester->setCurrentWidget(sheet);
            }
        }
        Shown = tab;
    } else if (step.contains("page")) {
        const std::string key = step["page"];
        const std::string act = step["do"];
        const auto number = [&](const char* name) { return step.at(name).get<int>(); };
        if (act == "send" || act == "click") {
            Click(MainButton(key));
        } else if (key == "sck" || key == "pck") {
            cards::TBusWordPage& page = BusWord(key);
            if (act == "bit") {
                const int bit = number("bit");
                Click(bit == 7 ? page.ButtonAdr : bit == 6 ? page.ButtonData
                                                           : page.ButtonD[static_cast<std::size_t>(bit)]);
            } else {
                Click(page.RadioGroupStrobe->Item(number("item")));
            }
        } else if (key == "slk") {
            cards::TSlkPage& page = *Pages.PageSLK;
            if (act == "cardMode")
                Click(page.rbtKaart);
            else if (act == "rackMode")
                Click(page.rbtRektesten);
            else
                page.SpinEditSLKAdr->setValue(number("value"));
        } else if (key == "xbk") {
            cards::TXbkPage& page = *Pages.PageXBK;
            if (act == "address")
                page.SpinEditBKadr[static_cast<std::size_t>(number("group"))]->setValue(number("value"));
            else if (act == "section")
                Tick(page.CheckBoxBKSectie[static_cast<std::size_t>(number("section"))], step["ticked"]);
            else
                page.TrackBar2BKSpeed->setValue(number("position"));
        } else if (key == "bk3") {
            cards::T3bkPage& page = *Pages.Page3BK;
            if (act == "address")
                page.SpinEdit3BKadr->setValue(number("value"));
            else if (act == "section")
                Tick(page.CheckBox3BKSectie[static_cast<std::size_t>(number("section"))], step["ticked"]);
            else
                page.TrackBar3BKSpeed->setValue(number("position"));
        } else if (key == "lkk") {
            cards::TLkkEvlPage& page = *Pages.PageLKK_EVL;
            if (act == "address")
                page.SpinEditLKK_EVLadr->setValue(number("value"));
            else if (act == "pin")
                Click(page.ButtonLKK_EVL[static_cast<std::size_t>(number("pin") - 1)]);
            else if (act == "evl")
                Click(page.RadioGroupEVLSelect->Item(number("value")));
            else
                Tick(page.CheckBoxLKK_EVLTest, step["ticked"]);
        } else {
            cards::TIokPage& page = *Pages.PageIOK;
            if (act == "address")
                page.SpinEditIOKadr->setValue(number("value"));
            else if (act == "output")
                Click(page.ButtonIOK[static_cast<std::size_t>(number("pin") - 1)]);
            else
                Tick(page.CheckBoxIOKTest, step["ticked"]);
        }
    } else if (step.contains("setting")) {
        const std::string name = step["setting"];
        const json& value = step["value"];
        if (name == "parallel")
            Click(value.get<bool>() ? Status.RadioButtonParallel : Status.RadioButtonSerieel);
        else if (name == "testTijd")
            Status.SpinEditTestTijd->setValue(value.get<int>());
        else {
            const std::map<std::string, QCheckBox*> boxes{
                {"kortsluitStop", Status.CheckBoxKortsluitStop},
                {"timeOut", Status.CheckBoxTimeOut},
                {"kortsluitMelding", Status.CheckBoxKorsluitmelding},
                {"baud19200", Status.CheckBoxBaudrate},
                {"testen", Status.CheckBoxTesten}};
            Tick(boxes.at(name), value.get<bool>());
        }
    } else if (step.contains("press")) {
        const std::string button = step["press"];
        const QString file = QString::fromStdString((Folder / "Morvelplint.ini").string());
        if (button == "ok") {
            for (int i = 0; i < step.value("times", 1); ++i)
                Click(Status.OKBtn);
        } else if (button == "cancel") {
            Click(Status.ButtonCancel);
            Shown = "intro";
        } else if (button == "open") {
            Dialogs.OpenAnswers = {file};
            Window.Open->trigger();
        } else if (button == "save") {
            Dialogs.SaveAnswers = {file};
            Window.SaveDialogFileName.clear();
            Window.Save->trigger();
        }
    } else if (step.contains("setUp")) {
        ASSERT_TRUE(Status.TimerStatus->isActive()) << "no set-up is armed";
        Status.TimerStatusTimer();
        if (!Status.isVisible() && Shown == "instellingen")
            Shown = "closed";
    } else if (step.contains("diag")) {
        // "end": "untilStop" is the only end a scenario chooses.
        if (step.contains("end"))
            Window.CardDiagnostics->ComboBoxEinde->setCurrentIndex(2);
        Click(Window.CardDiagnostics->ButtonStart);
    } else if (step.contains("fault")) {
        Click(step["fault"] == "hangUp" ? Window.FormRek->ButtonOphangen
                                        : Window.FormRek->ButtonNieuweKaart);
    } else if (step.contains("file")) {
        std::ofstream(Folder / "Morvelplint.ini", std::ios::binary) << step["file"].get<std::string>();
    }
}

// What the widgets show under the path's name in the session's view values.
json ScenarioTest::Shows(const std::string& path) {
    std::vector<std::string> part;
    std::istringstream parts(path);
    for (std::string p; std::getline(parts, p, '.');)
        part.push_back(p);
    const auto index = [&](std::size_t i) { return static_cast<std::size_t>(std::stoi(part.at(i))); };
    if (path == "running")
        return Window.TimerSpeed->isActive();
    if (path == "shown") {
        if (Shown != "instellingen" && Shown != "diagnose" && Shown != "rek")
            for (const char* key : {"intro", "sck", "pck", "slk", "xbk", "bk3", "lkk", "iok"})
                if (Window.PageControlTester->currentWidget() == Sheet(key))
                    return key;
        return Shown;
    }
    if (part[0] == "diag") {
        app::TCardDiagnostics& diagnostics = *Window.CardDiagnostics;
        return part[1] == "running" ? json(diagnostics.Running())
                                    : json(diagnostics.ButtonStart->text().toStdString());
    }
    if (part[0] == "rack") {
        // The view polls the rack; one poll now.
        Window.FormRek->TimerRekTimer();
        return (part[2] == "newCardEnabled" ? Window.FormRek->ButtonNieuweKaart
                                            : Window.FormRek->ButtonOphangen)
            ->isEnabled();
    }
    if (part[0] == "settings") {
        if (part[1] == "connected")
            return Status.BusReady();
        if (part[1] == "armed")
            return Status.TimerStatus->isActive();
        if (part[1] == "transport")
            return Status.Bus().Transport() == bus::TTransport::Parallel ? "parallel" : "serial";
        if (part[1] == "testTijd")
            return part[2] == "step" ? Status.SpinEditTestTijd->singleStep()
                   : part[2] == "minimum" ? Status.SpinEditTestTijd->minimum()
                                          : Status.SpinEditTestTijd->maximum();
        const std::map<std::string, QWidget*> controls{
            {"parallel", Status.RadioButtonParallel},   {"port", Status.ComComboBoxPoort},
            {"clock", Status.ComboBoxSpeed},             {"kortsluitStop", Status.CheckBoxKortsluitStop},
            {"timeOut", Status.CheckBoxTimeOut},         {"kortsluitMelding", Status.CheckBoxKorsluitmelding},
            {"baud19200", Status.CheckBoxBaudrate},      {"testen", Status.CheckBoxTesten},
            {"testTijd", Status.SpinEditTestTijd}};
        if (part[1] == "enabled")
            return part[2] == "ledUit" ? Window.StopInstellingen->isEnabled()
                                       : controls.at(part[2])->isEnabled();
        if (part[2] == "testTijd")
            return Status.SpinEditTestTijd->value();
        return static_cast<QAbstractButton*>(controls.at(part[2]))->isChecked();
    }
    // pages.<page>.<field>[.<index>]
    const std::string key = part.at(1);
    const std::string field = part.at(2);
    if (field == "caption")
        return MainButton(key)->text().toStdString();
    if (field == "sendEnabled" || field == "enabled")
        return MainButton(key)->isEnabled();
    if (key == "sck" || key == "pck") {
        cards::TBusWordPage& page = BusWord(key);
        if (field == "s")
            return LampName(page.ShapeS.at(index(3)));
        if (field == "kort")
            return LampName(page.ShapeKort);
        if (field == "bits") {
            const std::size_t bit = index(3);
            return (bit == 7 ? page.ButtonAdr : bit == 6 ? page.ButtonData : page.ButtonD[bit])->text() == "1";
        }
        if (field == "d5Enabled")
            return page.ButtonD[5]->isEnabled();
        if (field == "d5Caption")
            return page.LabelD[5]->text().toStdString();
        if (field == "strobeButtonsEnabled")
            return page.ButtonAdr->isEnabled();
        if (field == "strobeGroupEnabled")
            return page.RadioGroupStrobe->isEnabled();
    }
    if (key == "slk") {
        if (field == "value")
            return Pages.PageSLK->SpinEditSLKAdr->value();
        if (field == "label")
            return Pages.PageSLK->LabelSLK->text().toStdString();
    }
    if (key == "xbk" && field == "addressesEnabled")
        return Pages.PageXBK->SpinEditBKadr[0]->isEnabled();
    if (key == "bk3" && field == "addressesEnabled")
        return Pages.Page3BK->SpinEdit3BKadr->isEnabled();
    if (key == "lkk" && field == "pins")
        return Pages.PageLKK_EVL->ButtonLKK_EVL.at(index(3))->text() == "1";
    if (key == "lkk" && field == "evlEnabled")
        return Pages.PageLKK_EVL->RadioGroupEVLSelect->isEnabled();
    if (key == "iok" && field == "outputs")
        return Pages.PageIOK->ButtonIOK.at(index(3))->text() == "1";
    if (key == "iok" && field == "inputs")
        return LampName(Pages.PageIOK->ShapeIOK.at(index(3)));
    ADD_FAILURE() << "no widget shows " << path;
    return nullptr;
}

} // namespace

TEST_P(ScenarioTest, RunsThroughTheWindows) {
    std::ifstream file(std::filesystem::path(MORVELPLINT_SCENARIOS) / (GetParam() + ".json"));
    const json scenario = json::parse(file);
    int number = 0;
    for (const json& step : scenario["steps"]) {
        SCOPED_TRACE("step " + std::to_string(++number) + ": " + step.dump());
        const std::size_t mark = Card().Received().size();
        const std::size_t messages = Dialogs.Messages.size();
        ASSERT_NO_FATAL_FAILURE(Do(step));
        const std::vector<int> taken = Taken(mark);
        if (step.contains("words")) {
            EXPECT_EQ(taken, step["words"].get<std::vector<int>>());
        }
        if (step.contains("wordCount")) {
            EXPECT_EQ(taken.size(), step["wordCount"].get<std::size_t>());
        }
        for (const char* end : {"wordsStart", "wordsEnd"}) {
            if (!step.contains(end))
                continue;
            const auto words = step[end].get<std::vector<int>>();
            const auto count = static_cast<std::ptrdiff_t>(std::min(words.size(), taken.size()));
            EXPECT_EQ(std::string(end) == "wordsStart"
                          ? std::vector<int>(taken.begin(), taken.begin() + count)
                          : std::vector<int>(taken.end() - count, taken.end()),
                      words);
        }
        if (step.contains("message")) {
            ASSERT_GT(Dialogs.Messages.size(), messages) << "no message";
            EXPECT_EQ(Dialogs.Messages.back().Text.toStdString(), step["message"].get<std::string>());
        }
        if (step.contains("fileLines")) {
            std::string text = ReadAll(Folder / "Morvelplint.ini");
            std::vector<std::string> lines;
            for (std::size_t at = 0; (at = text.find("\r\n")) != std::string::npos;
                 text.erase(0, at + 2))
                if (!text.starts_with("Poort="))
                    lines.push_back(text.substr(0, at));
            lines.pop_back(); // the empty line that ends the file
            EXPECT_EQ(lines, step["fileLines"].get<std::vector<std::string>>());
        }
        if (step.contains("view")) {
            for (const auto& [path, wanted] : step["view"].items()) {
                EXPECT_EQ(Shows(path), wanted) << path;
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
