// The program's message boxes in the user's language, with the catalogues the build makes
// and the domains the program starts, in a process whose messages locale is plain "C" (as
// when the user's locale is not generated on the machine).
#include "DialogRecorder.h"
#include "FakeFrontEnd.h"
#include "app/QtTimers.h"
#include "app/Startup.h"
#include "bus/ParallelTransport.h"
#include "serial/PortNames.h"
#include "serial/qt/ComComboBox.h"
#include "settings/qt/SettingsWindow.h"

#include <QRadioButton>
#include <QTimer>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>

namespace {

// A settings window whose only port does not exist, so that the serial set-up fails.
class CatalogueTest : public ::testing::Test {
protected:
    TDialogRecorder Dialogs;
    TFakeFrontEnd MainWindow;
    app::TQtTimers Timers;
    std::unique_ptr<session::TRackSession> Session;
    serial::TPortNameSource PreviousSource;
    std::optional<std::string> PreviousLang;
    std::string PreviousMessagesLocale;
    std::unique_ptr<bus::TStatusForm> Form;

    void SetUp() override {
        const char* lang = std::getenv("LANG");
        PreviousLang = lang ? std::optional<std::string>(lang) : std::nullopt;
        PreviousMessagesLocale = std::setlocale(LC_MESSAGES, nullptr);
        std::setlocale(LC_MESSAGES, "C");
        PreviousSource = serial::SetPortNameSource(
            [] { return std::vector<std::string>{"/nonexistent/ttyMORVELPLINT"}; });
        Session = std::make_unique<session::TRackSession>(Timers, session::TSessionOptions{});
        Session->SetFrontEnd(&MainWindow);
        Form = std::make_unique<bus::TStatusForm>(*Session, Timers.Timer("TimerStatus"));
        Form->TimerStatus->stop();
        Form->ComComboBoxPoort->SetItemIndex(0);
    }

    void TearDown() override {
        Form.reset();
        Session.reset();
        serial::SetPortNameSource(PreviousSource);
        ::setenv("LANG", "C", 1);
        app::InitCatalogues({MORVELPLINT_LOCALE_BUILD_DIR});
        PreviousLang ? ::setenv("LANG", PreviousLang->c_str(), 1) : ::unsetenv("LANG");
        std::setlocale(LC_MESSAGES, PreviousMessagesLocale.c_str());
    }

    void StartWithLang(const char* lang) {
        ::setenv("LANG", lang, 1);
        app::InitCatalogues({MORVELPLINT_LOCALE_BUILD_DIR});
    }

    const TDialogRecorder::TShown& FailedSetUp() {
        Form->TimerStatusTimer();
        EXPECT_EQ(Dialogs.Messages.size(), 1u);
        return Dialogs.Messages.back();
    }
};

} // namespace

TEST_F(CatalogueTest, EnglishShowsTheMessageBoxInEnglish) {
    StartWithLang("en");
    const auto& shown = FailedSetUp();
    EXPECT_EQ(shown.Text, "Cannot use \"/nonexistent/ttyMORVELPLINT\".");
    EXPECT_EQ(shown.Informative,
              "Unable to open com port (win error code: 2)\nThis serial port does not exist on "
              "this computer. Choose another port or plug in the USB serial adapter.");
}

TEST_F(CatalogueTest, DutchShowsTheSerialErrorInDutch) {
    StartWithLang("nl_NL.UTF-8");
    const auto& shown = FailedSetUp();
    EXPECT_EQ(shown.Text, "Kan \"/nonexistent/ttyMORVELPLINT\" niet gebruiken.");
    EXPECT_EQ(shown.Informative,
              "Kan de com-poort niet openen (win-foutcode: 2)\nDeze seriële poort bestaat niet "
              "op deze computer. Kies een andere poort of sluit de USB-seriële adapter aan.");
}

TEST_F(CatalogueTest, AnUnknownLanguageShowsTheTextsAsWritten) {
    StartWithLang("sv_SE.UTF-8");
    const auto& shown = FailedSetUp();
    EXPECT_EQ(shown.Text, "Kan \"/nonexistent/ttyMORVELPLINT\" niet gebruiken.");
    EXPECT_EQ(shown.Informative,
              "Unable to open com port (win error code: 2)\nDeze seriële poort bestaat niet op "
              "deze computer. Kies een andere poort of sluit de USB-seriële adapter aan.");
}

TEST_F(CatalogueTest, ParallelRefusalIsTranslatedWithTheSystemsReason) {
    StartWithLang("en");
    Form->Bus().SetParallelAccess({false, EPERM,
                                   "De I/O-poorten 788 en 789 van de parallelle kaart zijn niet "
                                   "te gebruiken (ioperm: %s)."});
    Form->RadioButtonParallel->setChecked(true);
    const auto& shown = FailedSetUp();
    EXPECT_EQ(shown.Text, "The parallel card cannot be used.");
    EXPECT_EQ(shown.Informative,
              QString("The I/O ports 788 and 789 of the parallel card cannot be used (ioperm: "
                      "%1).")
                  .arg(std::strerror(EPERM)));
}
