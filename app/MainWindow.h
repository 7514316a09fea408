#pragma once

#include "session/RackSession.h"

#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <memory>

class QAction;
class QLabel;
class QPrinter;
class QTabWidget;
class QTimer;
class QToolButton;
class QWidget;

namespace cards {
class TCardPages;
}

namespace app {

class TBusMonitor;
class TCardDiagnostics;
class TFormRek;
class TQtTimers;
class TSplashScreen;

// The main window: menu, speed bar and the page control with the INTRO page and the card
// pages, and the session's front-end on the desktop: its message boxes, the page shown after
// a set-up, the hourglass while one is armed, the reconnection's note in the title.
class TFormMorvelplint : public QMainWindow, public session::TFrontEnd {
    Q_OBJECT
public:
    TFormMorvelplint(session::TRackSession& session, const TQtTimers& timers,
                     QStringList arguments);
    ~TFormMorvelplint() override;

    QWidget* SpeedPanel = nullptr;
    QToolButton* SpeedButtonOpen = nullptr;
    QToolButton* SpeedButtonSave = nullptr;
    QToolButton* SpeedButtonPrint = nullptr;
    QToolButton* SpeedButtonPrintSetup = nullptr;
    QToolButton* SpeedButtonFontSetup = nullptr;
    QToolButton* SpeedButtonMonitor = nullptr;
    QToolButton* SpeedButtonHelp = nullptr;
    QTabWidget* PageControlTester = nullptr;
    QWidget* TabSheetINTRO = nullptr;
    // The test timer: it drives whichever card test runs.
    QTimer* TimerSpeed = nullptr;
    // Looks at the serial line while connected, and for a lost adapter while it is out.
    QTimer* TimerAdapter = nullptr;
    cards::TCardPages* CardPages = nullptr;
    cards::TCardModels& CardModels() { return mSession.Cards(); }
    session::TRackSession& Session() { return mSession; }

    QAction* Open = nullptr;
    QAction* Save = nullptr;
    QAction* Saveas = nullptr;
    QAction* PrintFont = nullptr;
    QAction* PrintSetup = nullptr;
    QAction* Print = nullptr;
    QAction* Exit = nullptr;
    QAction* StatusItem = nullptr;
    QAction* StopInstellingen = nullptr;
    QAction* Busmonitor = nullptr;
    QAction* Kaartdiagnose = nullptr;
    // With /sim: "&Rek..." (Ctrl+R) shows the rack view, and a line on the INTRO page says
    // where the cards sit.
    QAction* RekItem = nullptr;
    TFormRek* FormRek = nullptr;
    QLabel* LabelIntroRek = nullptr;
    QAction* HelpCommand = nullptr;
    QAction* About = nullptr;

    // File commands of the "&Bestand" menu.
    void OpenClick();
    void SaveClick();
    void SaveasClick();
    void StatusItemClick();
    void StopInstellingenClick();
    // The bus monitor over the session's capture, made at first use.
    void BusmonitorClick();
    TBusMonitor* BusMonitor = nullptr;
    // The card diagnostics, made at first use.
    void KaartdiagnoseClick();
    TCardDiagnostics* CardDiagnostics = nullptr;
    void RekItemClick();

    // Offers the session's simulated rack in its view.
    void ShowSimulatedRack();
    void ExitClick();

    // Printing of the settings ("&Print", "P&rint Setup", "Print &Fontsetup" and their
    // speed buttons).
    void SpeedButtonPrintClick();
    void SpeedButtonPrintSetupClick();
    void SpeedButtonFontSetupClick();

    // The help window at the section of the active page, and the about window.
    void HelpCommandClick();
    void AboutClick();
    // The help topic of the active page: -1 for "INTRO", 1 to 7 for "SCK/ MCK" to "IOK".
    int ActivePageHelpTopic() const;

    // The printer that the print and printer set-up dialogs choose, made at first use; and
    // the print font, which the font dialog changes for the rest of the run.
    QPrinter& Printer();
    QFont FontDialogFont;
    QColor FontDialogColor;

    // The card pages' send and start buttons for the method, the test mode and the outcome
    // of the set-up (the end of every set-up applies them by itself).
    void Instellingen(bool connected, bool parallel);

    // session::TFrontEnd
    void Message(cards::TPage page, bool error, const std::string& text) override;
    void Error(const std::string& text) override;
    void Notice(const session::TNotice& notice) override;
    void ShowPage(cards::TPage page) override;
    void SetUpArmed() override;
    void SetUpEnded() override;
    void LineError(const std::string& text) override;

    // The name the open dialog holds (empty until a file was chosen), and the save dialog's.
    QString OpenDialogFileName;
    QString SaveDialogFileName;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormShow();
    void BuildMenu();
    void BuildSpeedBar(QWidget* central);
    void BuildIntroPage();
    // The title with the reconnection's note, "&LED uit" as the session enables it.
    void SessionChanged();

    session::TRackSession& mSession;
    bus::TBus& mBus;
    QStringList mArguments;
    QMenu* mSettingsMenu = nullptr;
    bool mRekPlaced = false;
    bool mShown = false;
    std::unique_ptr<QPrinter> mPrinter;
    int mSessionListener = 0;
};

// Global references, valid for the life of the program.
extern TFormMorvelplint* FormMorvelplint;

} // namespace app
