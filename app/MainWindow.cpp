#include "app/MainWindow.h"

#include "app/AboutBox.h"
#include "app/BusMonitor.h"
#include "app/CardDiagnostics.h"
#include "app/HelpBox.h"
#include "app/Pictures.h"
#include "app/Printing.h"
#include "app/RackView.h"
#include "app/SplashScreen.h"
#include "app/QtTimers.h"
#include "bus/qt/Dialogs.h"
#include "cards/CardModels.h"
#include "cards/qt/CardPages.h"
#include "platform/Tick.h"
#include "serial/ComError.h"
#include "serial/qt/ComComboBox.h"
#include "settings/qt/SettingsWindow.h"
#include "sim/SimRack.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QPrinter>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace app {

TFormMorvelplint* FormMorvelplint = nullptr;

namespace {

constexpr int ClientWidth = 612;
constexpr int ClientHeight = 376;
constexpr int SpeedPanelHeight = 35;

// Tabs of one fixed width, 76 pixels.
class TFixedTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int index) const override {
        return QSize(76, QTabBar::tabSizeHint(index).height());
    }
};

class TPageControl : public QTabWidget {
public:
    explicit TPageControl(QWidget* parent) : QTabWidget(parent) {
        auto* bar = new TFixedTabBar(this);
        // Eight captions in 76 pixels each: no eliding, and a font that lets "SCK/ MCK" fit.
        bar->setElideMode(Qt::ElideNone);
        bar->setUsesScrollButtons(false);
        QFont font = bar->font();
        if (font.pointSizeF() > 8.5)
            font.setPointSizeF(8.5);
        bar->setFont(font);
        setTabBar(bar);
    }
};

QAction* AddItem(QMenu* menu, const QString& caption, const QString& hint,
                 const std::function<void()>& handler) {
    QAction* action = menu->addAction(caption);
    action->setStatusTip(hint);
    action->setToolTip(hint);
    QObject::connect(action, &QAction::triggered, menu, [handler] { bus::Guarded(handler); });
    return action;
}

} // namespace

TFormMorvelplint::TFormMorvelplint(session::TRackSession& session, const TQtTimers& timers,
                                   QStringList arguments)
    : FontDialogFont(DefaultPrintFont()), mSession(session), mBus(session.Bus()),
      mArguments(std::move(arguments)) {
    FormMorvelplint = this;
    setObjectName("FormMorvelplint");
    setWindowTitle("Morvelplint");
    setWindowIcon(ProgramIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    auto* central = new QWidget(this);
    central->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(central);
    BuildSpeedBar(central);

    PageControlTester = new TPageControl(central);
    PageControlTester->setObjectName("PageControlTester");
    PageControlTester->setGeometry(0, SpeedPanelHeight, ClientWidth,
                                   ClientHeight - SpeedPanelHeight);
    BuildIntroPage();

    TimerSpeed = timers.Timer("TimerSpeed");
    TimerAdapter = timers.Timer("TimerAdapter");
    CardPages = new cards::TCardPages(mSession.Cards(), PageControlTester, this);

    BuildMenu();
    FontDialogColor = palette().color(QPalette::WindowText);
    adjustSize();
    setFixedSize(sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    mSession.SetFrontEnd(this);
    mSessionListener = mSession.Changed.Listen([this] { SessionChanged(); });
    SessionChanged();
    if (mSession.Rack())
        ShowSimulatedRack();
}

TFormMorvelplint::~TFormMorvelplint() {
    mSession.Changed.Unlisten(mSessionListener);
    mSession.SetFrontEnd(nullptr);
    // The pages' views leave the models before the models go.
    delete CardPages;
    CardPages = nullptr;
    FormMorvelplint = nullptr;
}

void TFormMorvelplint::SessionChanged() {
    // The title, not a message box: the user may be anywhere, and nothing waits for them.
    const session::TSettingsView view = mSession.SettingsView();
    const QString note = QString::fromStdString(view.ReconnectNote);
    setWindowTitle(note.isEmpty() ? QStringLiteral("Morvelplint")
                                  : QStringLiteral("Morvelplint \u2014 ") + note);
    StopInstellingen->setEnabled(view.LedUitEnabled);
}

void TFormMorvelplint::BuildSpeedBar(QWidget* central) {
    SpeedPanel = new QFrame(central);
    SpeedPanel->setObjectName("SpeedPanel");
    SpeedPanel->setGeometry(0, 0, ClientWidth, SpeedPanelHeight);
    auto add = [this](const char* name, const QString& hint, const QIcon& icon, int x) {
        auto* button = new QToolButton(SpeedPanel);
        button->setObjectName(name);
        button->setToolTip(hint);
        button->setStatusTip(hint);
        button->setIcon(icon);
        button->setIconSize(QSize(20, 20));
        button->setAutoRaise(true);
        button->setGeometry(x, 4, 27, 27);
        return button;
    };
    SpeedButtonOpen = add("SpeedButtonOpen", "Open", SpeedBarIcon(TSpeedIcon::Open), 8);
    SpeedButtonSave = add("SpeedButtonSave", "Save", SpeedBarIcon(TSpeedIcon::Save), 36);
    SpeedButtonPrint = add("SpeedButtonPrint", "Print", SpeedBarIcon(TSpeedIcon::Print), 72);
    SpeedButtonPrintSetup =
        add("SpeedButtonPrintSetup", "Printer setup", SpeedBarIcon(TSpeedIcon::PrinterSetup), 100);
    SpeedButtonFontSetup =
        add("SpeedButtonFontSetup", "Font setup", SpeedBarIcon(TSpeedIcon::FontSetup), 128);
    SpeedButtonMonitor =
        add("SpeedButtonMonitor", bus::Tr("Busmonitor"), SpeedBarIcon(TSpeedIcon::Monitor), 164);
    SpeedButtonHelp =
        add("SpeedButtonHelp", "Help", SpeedBarIcon(TSpeedIcon::Help), ClientWidth - 35);

    connect(SpeedButtonOpen, &QToolButton::clicked, this,
            [this] { bus::Guarded([this] { OpenClick(); }); });
    connect(SpeedButtonSave, &QToolButton::clicked, this,
            [this] { bus::Guarded([this] { SaveClick(); }); });
    connect(SpeedButtonPrint, &QToolButton::clicked, this,
            [this] { bus::Guarded([this] { SpeedButtonPrintClick(); }); });
    connect(SpeedButtonPrintSetup, &QToolButton::clicked, this,
            [this] { bus::Guarded([this] { SpeedButtonPrintSetupClick(); }); });
    connect(SpeedButtonFontSetup, &QToolButton::clicked, this,
            [this] { bus::Guarded([this] { SpeedButtonFontSetupClick(); }); });
    connect(SpeedButtonMonitor, &QToolButton::clicked, this,
            [this] { bus::Guarded([this] { BusmonitorClick(); }); });
    connect(SpeedButtonHelp, &QToolButton::clicked, this,
            [this] { bus::Guarded([this] { HelpCommandClick(); }); });
}

void TFormMorvelplint::BuildMenu() {
    QMenu* file = menuBar()->addMenu("&Bestand");
    file->setToolTipsVisible(true);
    file->menuAction()->setStatusTip("File en Print commando's");
    file->menuAction()->setToolTip("File en Print commando's");
    Open = AddItem(file, "&Openen...", "Open file met initialisatie", [this] { OpenClick(); });
    Save = AddItem(file, "&Bewaar...", "Save file met initialisatie", [this] { SaveClick(); });
    Saveas = AddItem(file, "B&ewaar als...", "Save file as met initialisatie",
                     [this] { SaveasClick(); });
    file->addSeparator();
    PrintFont =
        AddItem(file, "Print &Fontsetup", "Font setup", [this] { SpeedButtonFontSetupClick(); });
    PrintSetup =
        AddItem(file, "P&rint Setup", "Printer setup", [this] { SpeedButtonPrintSetupClick(); });
    Print = AddItem(file, "&Print", "Print instellingen", [this] { SpeedButtonPrintClick(); });
    file->addSeparator();
    Exit = AddItem(file, "E&xit    (Alt+F4)", "Einde programma", [this] { ExitClick(); });

    QMenu* settings = menuBar()->addMenu("&Instellingen");
    mSettingsMenu = settings;
    settings->setToolTipsVisible(true);
    settings->menuAction()->setStatusTip("Instellingen");
    settings->menuAction()->setToolTip("Instellingen");
    StatusItem =
        AddItem(settings, "&Status...", "Status Instellingen", [this] { StatusItemClick(); });
    settings->addSeparator();
    StopInstellingen =
        AddItem(settings, "&LED uit", QString(), [this] { StopInstellingenClick(); });
    settings->addSeparator();
    Busmonitor = AddItem(settings, bus::Tr("&Busmonitor..."),
                         bus::Tr("Alle woorden en antwoorden op de bus"),
                         [this] { BusmonitorClick(); });
    Busmonitor->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    Busmonitor->setShortcutContext(Qt::ApplicationShortcut);
    Kaartdiagnose = AddItem(settings, bus::Tr("&Kaartdiagnose..."),
                            bus::Tr("Een kaart onbewaakt testen, met tellers en een diagnose"),
                            [this] { KaartdiagnoseClick(); });

    QMenu* help = menuBar()->addMenu("  &Help      ");
    help->setToolTipsVisible(true);
    help->menuAction()->setStatusTip("Help en About");
    help->menuAction()->setToolTip("Help en About");
    HelpCommand = AddItem(help, "&Help", "Help instructies", [this] { HelpCommandClick(); });
    HelpCommand->setShortcut(QKeySequence(Qt::Key_F1));
    HelpCommand->setShortcutContext(Qt::ApplicationShortcut);
    help->addSeparator();
    About = AddItem(help, "&Info...", "About de auteurs", [this] { AboutClick(); });

    Open->setObjectName("Open");
    Save->setObjectName("Save");
    Saveas->setObjectName("Saveas");
    PrintFont->setObjectName("PrintFont");
    PrintSetup->setObjectName("PrintSetup");
    Print->setObjectName("Print");
    Exit->setObjectName("Exit");
    StatusItem->setObjectName("StatusItem");
    StopInstellingen->setObjectName("StopInstellingen");
    Busmonitor->setObjectName("Busmonitor");
    Kaartdiagnose->setObjectName("Kaartdiagnose");
    HelpCommand->setObjectName("HelpCommand");
    About->setObjectName("About");
}

void TFormMorvelplint::BuildIntroPage() {
    TabSheetINTRO = new QWidget;
    TabSheetINTRO->setObjectName("TabSheetINTRO");
    PageControlTester->addTab(TabSheetINTRO, "INTRO");

    auto* title = new QLabel("Morvelplint", TabSheetINTRO);
    title->setObjectName("LabelTitel");
    QFont font = title->font();
    font.setPointSize(28);
    font.setBold(true);
    font.setItalic(true);
    title->setFont(font);
    title->setGeometry(20, 10, 570, 56);
    title->setAlignment(Qt::AlignCenter);

    auto* imageRack = new QLabel(TabSheetINTRO);
    imageRack->setObjectName("ImageIntroRek");
    imageRack->setPixmap(IntroPicture(TIntroPicture::Rack));
    imageRack->setGeometry(40, 76, 240, 150);
    auto* imageLoco = new QLabel(TabSheetINTRO);
    imageLoco->setObjectName("ImageIntroLoc");
    imageLoco->setPixmap(IntroPicture(TIntroPicture::Locomotive));
    imageLoco->setGeometry(326, 76, 240, 150);

    auto* line1 = new QLabel(
        "Dit programma wordt gebruikt om de kaarten van het ZELM systeem te kunnen testen.",
        TabSheetINTRO);
    line1->setObjectName("LabelIntro1");
    line1->setGeometry(20, 244, 570, 20);
    line1->setAlignment(Qt::AlignCenter);
    auto* line2 =
        new QLabel("Het is buiten verantwoordelijkheid van de ZELM ontwikkeld.", TabSheetINTRO);
    line2->setObjectName("LabelIntro2");
    line2->setGeometry(20, 268, 570, 20);
    line2->setAlignment(Qt::AlignCenter);
}

void TFormMorvelplint::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!mShown) {
        mShown = true;
        FormShow();
    }
}

void TFormMorvelplint::FormShow() {
    const std::uint32_t start = platform::GetTickCount();
    bus::ShowHourglass();

    // Only the first argument counts, in any letter case.
    if (!mArguments.isEmpty() && mArguments.first().toLower() == "/debug")
        mBus.SetDebugMode(true);
    PageControlTester->setCurrentWidget(TabSheetINTRO);

    const QString loadError = QString::fromLocal8Bit(mSession.Start().c_str());

    // The splash window stays at least a second after the window began to show; the wait
    // handles no events, as nothing may run before the window is complete.
    if (SplashScreen) {
        const std::uint32_t elapsed = platform::GetTickCount() - start;
        if (elapsed < 1000)
            platform::DesignedSleep(1000 - elapsed);
        delete SplashScreen;
        SplashScreen = nullptr;
    }
    if (loadError.isEmpty()) {
        // The set-up restores the cursor when it is done.
        return;
    }
    // A load that stopped with an error armed no set-up: finish the start and say why.
    bus::RestoreCursor();
    bus::ShowGeneralError(loadError);
}

void TFormMorvelplint::OpenClick() {
    if (OpenDialogFileName.isEmpty())
        OpenDialogFileName = "Morvelplint.ini";
    const auto chosen = bus::Dialogs().OpenFileName(this, OpenDialogFileName);
    if (!chosen)
        return;
    OpenDialogFileName = *chosen;
    bus::StatusForm->LoadSettings(*chosen);
}

void TFormMorvelplint::SaveClick() {
    if (!SaveDialogFileName.isEmpty()) {
        bus::StatusForm->SaveSettings(SaveDialogFileName);
        return;
    }
    const QString proposed = OpenDialogFileName.isEmpty() ? "Morvelplint.ini" : OpenDialogFileName;
    // A cancelled dialog writes nothing.
    const auto chosen = bus::Dialogs().SaveFileName(this, proposed);
    if (!chosen)
        return;
    SaveDialogFileName = *chosen;
    bus::StatusForm->SaveSettings(*chosen);
}

void TFormMorvelplint::SaveasClick() {
    SaveDialogFileName.clear();
    SaveClick();
}

void TFormMorvelplint::StatusItemClick() {
    bus::StatusForm->exec();
}

void TFormMorvelplint::StopInstellingenClick() {
    mSession.LedUit();
}

void TFormMorvelplint::BusmonitorClick() {
    if (!BusMonitor)
        BusMonitor = new TBusMonitor(mSession.Capture(), this);
    BusMonitor->show();
    BusMonitor->raise();
}

void TFormMorvelplint::KaartdiagnoseClick() {
    if (!CardDiagnostics)
        CardDiagnostics = new TCardDiagnostics(mSession.Diagnostics(), this);
    CardDiagnostics->show();
    CardDiagnostics->raise();
}

void TFormMorvelplint::ShowSimulatedRack() {
    sim::TSimRack& rack = *mSession.Rack();
    FormRek = new TFormRek(mSession, this);
    mSettingsMenu->addSeparator();
    RekItem = AddItem(mSettingsMenu, bus::Tr("&Rek..."), bus::Tr("Het gesimuleerde rek"),
                      [this] { RekItemClick(); });
    RekItem->setObjectName("RekItem");
    RekItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    RekItem->setShortcutContext(Qt::ApplicationShortcut);

    // One line under the others: a smaller font where the rack needs it, the rest elided (and
    // in the tooltip) where even that is not enough.
    const QString text = bus::Tr("Gesimuleerd rek: %1. Ctrl+R toont het rek.")
                             .arg(QString::fromStdString(rack.Summary()));
    constexpr int Width = 590;
    LabelIntroRek = new QLabel(TabSheetINTRO);
    LabelIntroRek->setObjectName("LabelIntroRek");
    QFont font = LabelIntroRek->font();
    while (QFontMetrics(font).horizontalAdvance(text) > Width && font.pointSizeF() > 7.5)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    LabelIntroRek->setFont(font);
    LabelIntroRek->setText(QFontMetrics(font).elidedText(text, Qt::ElideRight, Width));
    LabelIntroRek->setToolTip(text);
    LabelIntroRek->setGeometry(10, 290, Width, 20);
    LabelIntroRek->setAlignment(Qt::AlignCenter);
    LabelIntroRek->show();
}

void TFormMorvelplint::RekItemClick() {
    if (!FormRek)
        return;
    // The window keeps its place beside the pages; asked for again it only comes forward.
    if (FormRek->isVisible()) {
        FormRek->raise();
        return;
    }
    if (!mRekPlaced) {
        // Beside the main window, on the side with more room, as far as the screen allows.
        mRekPlaced = true;
        const QRect main = frameGeometry();
        const QRect screen = this->screen()->availableGeometry();
        const int width = FormRek->frameGeometry().width();
        const bool right = screen.right() - main.right() >= main.left() - screen.left();
        const int x = right ? std::min(main.right() + 8, screen.right() - width)
                            : std::max(main.left() - 8 - width, screen.left());
        FormRek->move(x, std::max(main.top(), screen.top()));
    }
    FormRek->show();
}

void TFormMorvelplint::ExitClick() {
    close();
}

void TFormMorvelplint::closeEvent(QCloseEvent* event) {
    // Closed while a page, a tick or the set-up waits for the rack: that wait ends first (the
    // bus gives it up at once), and the window closes as soon as it has.
    if (mBus.Busy() && !mBus.Closing()) {
        mBus.Close();
        event->ignore();
        mBus.WhenIdle([this] { close(); });
        return;
    }
    QMainWindow::closeEvent(event);
}

QPrinter& TFormMorvelplint::Printer() {
    if (!mPrinter) {
        mPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
        mPrinter->setCollateCopies(true);
    }
    return *mPrinter;
}

void TFormMorvelplint::SpeedButtonPrintClick() {
    QPrinter& printer = Printer();
    if (!PrintDialogs().Print(this, printer))
        return;
    const int copies = std::max(printer.copyCount(), 1);
    // Each copy is a job of its own, so the printer must not multiply the page itself.
    printer.setCopyCount(1);
    PrintReport(PrintDialogs().JobDevice(printer), copies, FontDialogFont, FontDialogColor,
                SettingsReport(mSession.Settings().Settings(), QString::fromStdString(mSession.Settings().PortValue())));
    printer.setCopyCount(copies);
}

void TFormMorvelplint::SpeedButtonPrintSetupClick() {
    PrintDialogs().PrinterSetup(this, Printer());
}

void TFormMorvelplint::SpeedButtonFontSetupClick() {
    if (const auto font = PrintDialogs().Font(this, FontDialogFont))
        FontDialogFont = *font;
}

int TFormMorvelplint::ActivePageHelpTopic() const {
    const QWidget* page = PageControlTester->currentWidget();
    const QWidget* cardPages[] = {CardPages->TabSheetSCK, CardPages->TabSheetPCK,
                                  CardPages->TabSheetSLK, CardPages->TabSheetXBK,
                                  CardPages->TabSheet3BK, CardPages->TabSheetLKK_EVL,
                                  CardPages->TabSheetIOK};
    for (int i = 0; i < 7; ++i)
        if (page == cardPages[i])
            return i + 1;
    return -1;
}

void TFormMorvelplint::HelpCommandClick() {
    if (!HelpBox)
        return;
    HelpBox->HelpTopic = ActivePageHelpTopic();
    // A help window already showing keeps its place in the text and only comes to the front.
    if (HelpBox->isVisible()) {
        HelpBox->raise();
        HelpBox->activateWindow();
        return;
    }
    HelpBox->show();
}

void TFormMorvelplint::AboutClick() {
    if (AboutBox)
        AboutBox->exec();
}

void TFormMorvelplint::Message(cards::TPage page, bool error, const std::string& text) {
    CardPages->Message(page, error, text);
}

void TFormMorvelplint::Error(const std::string& text) {
    bus::ShowGeneralError(QString::fromLocal8Bit(text.c_str()));
}

void TFormMorvelplint::Notice(const session::TNotice& notice) {
    // Over the settings window while it shows (a set-up it asked for), else over this one.
    QWidget* over = bus::StatusForm && bus::StatusForm->isVisible()
                        ? static_cast<QWidget*>(bus::StatusForm)
                        : static_cast<QWidget*>(this);
    bus::Dialogs().Message(over, notice.Error ? bus::TDialogs::TIcon::Error : bus::TDialogs::TIcon::None,
                           bus::ProgramTitle, QString::fromUtf8(notice.Text.c_str()),
                           QString::fromLocal8Bit(notice.Informative.c_str()));
}

void TFormMorvelplint::ShowPage(cards::TPage page) {
    PageControlTester->setCurrentWidget(page == cards::TPage::Pck ? CardPages->TabSheetPCK
                                                                  : CardPages->TabSheetSCK);
}

void TFormMorvelplint::SetUpArmed() {
    bus::ShowHourglass();
}

void TFormMorvelplint::SetUpEnded() {
    bus::RestoreCursor();
    if (bus::StatusForm && bus::StatusForm->isVisible())
        bus::StatusForm->done(QDialog::Accepted);
}

void TFormMorvelplint::LineError(const std::string& text) {
    // The message box waits for the user in an event loop of its own. Shown from the
    // reconnection's timer it would keep that timer from firing again, and the adapter plugged
    // in meanwhile would wait for the box's OK.
    const QString message = QString::fromLocal8Bit(text.c_str());
    QTimer::singleShot(0, this, [message] { bus::ShowGeneralError(message); });
}

void TFormMorvelplint::Instellingen(bool connected, bool parallel) {
    mSession.Cards().Instellingen(connected, parallel);
}

} // namespace app
