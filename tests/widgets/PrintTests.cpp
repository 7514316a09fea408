// Printing of the settings: the eight lines, their places and font, one job per copy, and the
// three dialogs behind the main window's commands.
#include "DialogRecorder.h"
#include "PrintRecorder.h"
#include "app/MainWindow.h"
#include "app/Printing.h"
#include "app/QtTimers.h"
#include "bus/ParallelTransport.h"
#include "serial/PortNames.h"
#include "serial/qt/ComComboBox.h"
#include "session/RackSession.h"
#include "settings/qt/SettingsWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QPrinter>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// The main window and the settings window, with COM1 and COM2 as the system's ports.
class PrintTest : public ::testing::Test {
protected:
    TDialogRecorder Dialogs;
    serial::TPortNameSource PreviousSource;
    app::TQtTimers Timers;
    std::unique_ptr<session::TRackSession> Session;
    std::unique_ptr<app::TFormMorvelplint> Window;
    std::unique_ptr<bus::TStatusForm> Status;

    void SetUp() override {
        PreviousSource = serial::SetPortNameSource([] {
            return std::vector<std::string>{"COM1", "COM2"};
        });
        bus::ParTransport().CreateWorker();
        Session = std::make_unique<session::TRackSession>(Timers, session::TSessionOptions{});
        Window = std::make_unique<app::TFormMorvelplint>(*Session, Timers, QStringList());
        Status = std::make_unique<bus::TStatusForm>(*Session, Timers.Timer("TimerStatus"),
                                                    Window.get());
        Status->TimerStatus->stop();
    }

    void TearDown() override {
        Status.reset();
        Window.reset();
        Session.reset();
        bus::ParTransport().StopWorker();
        serial::SetPortNameSource(PreviousSource);
    }

    static QStringList Texts(const TRecordingPrinter::TJob& job) {
        QStringList texts;
        for (const auto& line : job)
            texts << line.Text;
        return texts;
    }

    // The top of each line: its base line less the font's ascent on the device.
    static std::vector<int> Tops(const TRecordingPrinter::TJob& job, QPaintDevice& device) {
        std::vector<int> tops;
        for (const auto& line : job)
            tops.push_back(qRound(line.BaseLine.y()) - QFontMetrics(line.Font, &device).ascent());
        return tops;
    }
};

} // namespace

TEST_F(PrintTest, PresetFontPrintsTheEightLinesFromTenDownAtThirtyTwoPixels) {
    TPrintRecorder printer(96);
    printer.PrintAnswers = {1};
    Window->SpeedButtonPrintClick();

    ASSERT_EQ(printer.Device.Jobs.size(), 1u);
    const auto& job = printer.Device.Jobs[0];
    EXPECT_EQ(Texts(job),
              (QStringList{"Methode= Serieel", "Poort= COM2", "Clock= 200", "Stop= False",
                           "Timeout= True", "Kortsluit= False", "Baudrate= 9600", "Test= False"}));
    EXPECT_EQ(Tops(job, printer.Device), (std::vector<int>{10, 42, 74, 106, 138, 170, 202, 234}));
    for (const auto& line : job) {
        EXPECT_EQ(line.BaseLine.x(), 10.0);
        EXPECT_EQ(line.Font.family(), "MS Sans Serif");
        EXPECT_EQ(line.Font.pointSize(), 8);
        EXPECT_FALSE(line.Font.bold());
        EXPECT_FALSE(line.Font.italic());
        EXPECT_EQ(line.Color, Window->palette().color(QPalette::WindowText));
    }
    EXPECT_EQ(printer.Device.JobsEnded, 1);
}

TEST_F(PrintTest, LinesShowTheControlsAsTheyStandAppliedOrNot) {
    Status->CheckBoxTimeOut->setChecked(false);
    TPrintRecorder printer;
    printer.PrintAnswers = {1};
    Window->SpeedButtonPrintClick();
    ASSERT_EQ(printer.Device.Jobs.size(), 1u);
    EXPECT_EQ(Texts(printer.Device.Jobs[0]),
              (QStringList{"Methode= Serieel", "Poort= COM2", "Clock= 200", "Stop= False",
                           "Timeout= False", "Kortsluit= False", "Baudrate= 9600", "Test= False"}));

    Status->RadioButtonParallel->setChecked(true);
    Status->ComComboBoxPoort->SetItemIndex(0);
    Status->ComboBoxSpeed->setCurrentIndex(4);
    for (QCheckBox* box :
         {Status->CheckBoxKortsluitStop, Status->CheckBoxTimeOut, Status->CheckBoxKorsluitmelding,
          Status->CheckBoxBaudrate, Status->CheckBoxTesten})
        box->setChecked(true);
    printer.PrintAnswers = {1};
    Window->SpeedButtonPrintClick();
    ASSERT_EQ(printer.Device.Jobs.size(), 2u);
    EXPECT_EQ(Texts(printer.Device.Jobs[1]),
              (QStringList{"Methode= Parallel", "Poort= COM1", "Clock= 1600", "Stop= True",
                           "Timeout= True", "Kortsluit= True", "Baudrate= 19200", "Test= True"}));
}

TEST_F(PrintTest, AtSixHundredDpiTheLinesAreSpacedByTheirOwnHeight) {
    TPrintRecorder printer(600);
    printer.PrintAnswers = {1};
    Window->SpeedButtonPrintClick();
    ASSERT_EQ(printer.Device.Jobs.size(), 1u);
    const auto& job = printer.Device.Jobs[0];
    ASSERT_EQ(job.size(), 8u);

    const QFontMetrics metrics(job[0].Font, &printer.Device);
    ASSERT_GT(metrics.height(), 60) << "an 8-point line is some 67 pixels high at 600 dpi";
    const std::vector<int> tops = Tops(job, printer.Device);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(tops[i], 10 + i * metrics.lineSpacing()) << "line " << i;
    EXPECT_EQ(app::LinePitch(app::DefaultPrintFont(), printer.Device), metrics.lineSpacing());
}

TEST_F(PrintTest, WhereTheTextFitsThePitchStaysFourTimesThePointSize) {
    TRecordingPrinter at200(200);
    const QFont font = app::DefaultPrintFont();
    ASSERT_LT(QFontMetrics(font, &at200).lineSpacing(), 32);
    EXPECT_EQ(app::LinePitch(font, at200), 32);
    QFont twelve = font;
    twelve.setPointSize(12);
    TRecordingPrinter at96(96);
    EXPECT_EQ(app::LinePitch(twelve, at96), 48);
}

TEST_F(PrintTest, EveryCopyIsAJobOfItsOwn) {
    TPrintRecorder printer;
    printer.PrintAnswers = {3};
    Window->SpeedButtonPrintClick();
    ASSERT_EQ(printer.Device.Jobs.size(), 3u);
    EXPECT_EQ(printer.Device.JobsEnded, 3);
    for (const auto& job : printer.Device.Jobs)
        EXPECT_EQ(Texts(job), Texts(printer.Device.Jobs[0]));
    EXPECT_EQ(printer.CopyCountAtJobs, std::vector<int>{1}) << "the printer itself makes one";
    EXPECT_EQ(printer.PrintDialogPrinters.back()->copyCount(), 3)
        << "the dialog keeps the number asked for";

    for (const int copies : {0, 1}) {
        TPrintRecorder single;
        single.PrintAnswers = {copies};
        Window->SpeedButtonPrintClick();
        EXPECT_EQ(single.Device.Jobs.size(), 1u) << copies << " copies";
    }
}

TEST_F(PrintTest, ACancelledPrintDialogPrintsNothing) {
    TPrintRecorder printer;
    printer.PrintAnswers = {std::nullopt};
    Window->SpeedButtonPrintClick();
    EXPECT_EQ(printer.PrintDialogPrinters.size(), 1u);
    EXPECT_TRUE(printer.Device.Jobs.empty());
    EXPECT_TRUE(printer.CopyCountAtJobs.empty());
}

TEST_F(PrintTest, ThePrintDialogComesWithCollatedCopies) {
    TPrintRecorder printer;
    Window->SpeedButtonPrintClick();
    EXPECT_EQ(printer.CollateShown, std::vector<bool>{true});
}

TEST_F(PrintTest, AChosenFontIsKeptAndACancelledChoiceChangesNothing) {
    TPrintRecorder printer;
    QFont chosen("DejaVu Serif");
    chosen.setPointSize(10);
    chosen.setBold(true);
    printer.FontAnswers = {chosen, std::nullopt};
    Window->SpeedButtonFontSetupClick();
    Window->SpeedButtonFontSetupClick();
    ASSERT_EQ(printer.FontsProposed.size(), 2u);
    EXPECT_EQ(printer.FontsProposed[0].family(), "MS Sans Serif");
    EXPECT_EQ(printer.FontsProposed[0].pointSize(), 8);
    EXPECT_EQ(printer.FontsProposed[1], chosen);

    printer.PrintAnswers = {1};
    Window->SpeedButtonPrintClick();
    ASSERT_EQ(printer.Device.Jobs.size(), 1u);
    const auto& job = printer.Device.Jobs[0];
    EXPECT_EQ(job[0].Font.family(), "DejaVu Serif");
    EXPECT_TRUE(job[0].Font.bold());
    EXPECT_EQ(Tops(job, printer.Device)[1], 50) << "4 x 10 points below the first line";
}

TEST_F(PrintTest, MenuItemsAndSpeedButtonsReachTheSameDialogsAndPrinter) {
    TPrintRecorder printer;
    Window->PrintSetup->trigger();
    Window->SpeedButtonPrintSetup->click();
    Window->Print->trigger();
    Window->SpeedButtonPrint->click();
    Window->PrintFont->trigger();
    Window->SpeedButtonFontSetup->click();
    ASSERT_EQ(printer.SetupDialogPrinters.size(), 2u);
    ASSERT_EQ(printer.PrintDialogPrinters.size(), 2u);
    EXPECT_EQ(printer.FontsProposed.size(), 2u);
    for (QPrinter* used : {printer.SetupDialogPrinters[1], printer.PrintDialogPrinters[0],
                           printer.PrintDialogPrinters[1]})
        EXPECT_EQ(used, printer.SetupDialogPrinters[0]) << "one printer for the whole run";
}

TEST(PrintReport, PrintsOnARealPrinterIntoAPdfFile) {
    QTemporaryDir folder;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(600);
    printer.setOutputFileName(folder.filePath("settings.pdf"));
    app::PrintReport(printer, 1, app::DefaultPrintFont(), Qt::black,
                     {"Methode= Serieel", "Poort= COM2"});
    QFile pdf(folder.filePath("settings.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray content = pdf.readAll();
    EXPECT_TRUE(content.startsWith("%PDF"));
    EXPECT_EQ(content.count("/Type /Page\n"), 1) << "one page";
}
