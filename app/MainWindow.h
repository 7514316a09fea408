#pragma once

#include "bus/MainWindowLink.h"

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

namespace bus {
class TReconnect;
}
namespace cards {
class TCardModels;
class TCardPages;
class TQtTickSource;
}
namespace sim {
class TSimRack;
}

namespace app {

class TBusMonitor;
class TCardDiagnostics;
class TFormRek;
class TSplashScreen;

// The main window: menu, speed bar and the page control with the INTRO page and the card
// pages.
class TFormMorvelplint : public QMainWindow, public bus::TMainWindowLink {
    Q_OBJECT
public:
    TFormMorvelplint(bus::TBus& bus, QStringList arguments);
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
    cards::TCardModels& CardModels() { return *mCardModels; }

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
    // The bus monitor over the bus's capture, made at first use; none without a capture.
    void BusmonitorClick();
    TBusMonitor* BusMonitor = nullptr;
    // The card diagnostics, made at first use.
    void KaartdiagnoseClick();
    TCardDiagnostics* CardDiagnostics = nullptr;
    void RekItemClick();

    // Offers the simulated rack's view; `rack` outlives the window.
    void ShowSimulatedRack(sim::TSimRack& rack);
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

    // One look of the reconnection (bus::TReconnect), whose note the title shows.
    void TimerAdapterTimer();

    // The printer that the print and printer set-up dialogs choose, made at first use; and
    // the print font, which the font dialog changes for the rest of the run.
    QPrinter& Printer();
    QFont FontDialogFont;
    QColor FontDialogColor;

    // The card pages' send and start buttons for the method, the test mode and the outcome
    // of the set-up (the end of every set-up applies them by itself).
    void Instellingen(bool connected, bool parallel);

    // bus::TMainWindowLink
    void SetLedUitEnabled(bool enabled) override;
    void ShowSetUpPage(bool parallel) override;
    void SettingsChanged(const bus::TSettings& settings) override;

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
    void ReconnectChanged();

    bus::TBus& mBus;
    QStringList mArguments;
    QMenu* mSettingsMenu = nullptr;
    bool mRekPlaced = false;
    bool mShown = false;
    std::unique_ptr<QPrinter> mPrinter;
    std::unique_ptr<bus::TReconnect> mReconnect;
    std::unique_ptr<cards::TQtTickSource> mTickSource;
    std::unique_ptr<cards::TCardModels> mCardModels;
};

// Global references, valid for the life of the program.
extern TFormMorvelplint* FormMorvelplint;

} // namespace app
