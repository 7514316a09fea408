#pragma once

#include <QColor>
#include <QFont>
#include <QStringList>
#include <optional>

class QPaintDevice;
class QPrinter;
class QWidget;

namespace bus {
struct TSettings;
}

namespace app {

// The print dialog, the printer set-up dialog and the font dialog go through this seam, so
// that tests answer them and no test waits on a modal window.
class TPrintDialogs {
public:
    virtual ~TPrintDialogs() = default;

    // The print dialog on `printer`; false when the user cancels it. The copies asked for
    // are left in the printer's copy count.
    virtual bool Print(QWidget* parent, QPrinter& printer) = 0;
    // The printer set-up dialog; what the user chooses stays in `printer`.
    virtual void PrinterSetup(QWidget* parent, QPrinter& printer) = 0;
    // The font dialog: the chosen font, or nothing when the user cancels it.
    virtual std::optional<QFont> Font(QWidget* parent, const QFont& current) = 0;
    // Where the print jobs go: the printer itself; tests record them on a device of their own.
    virtual QPaintDevice& JobDevice(QPrinter& printer);
};

// The dialogs in use; the program's own show Qt's dialogs.
TPrintDialogs& PrintDialogs();
// Installs other dialogs (tests) and returns the previous ones; nullptr restores the real ones.
TPrintDialogs* SetPrintDialogs(TPrintDialogs* dialogs);

// The print font at start: "MS Sans Serif" (or the system's nearest), regular, 8 points.
QFont DefaultPrintFont();

// The eight lines of the settings report: the settings as the window holds them, applied or
// not, and the chosen port.
QStringList SettingsReport(const bus::TSettings& settings, const QString& port);

// The distance from one printed line to the next on `device`: 4 x the font's size in points,
// counted in device pixels; or the font's own line spacing on the device where that is
// larger, so that lines never print on top of each other.
int LinePitch(const QFont& font, QPaintDevice& device);

// Prints `lines` from (10, 10) down, as `copies` print jobs of one page each (fewer than 2
// copies print one). A job the device refuses ends the printing.
void PrintReport(QPaintDevice& device, int copies, const QFont& font, const QColor& color,
                 const QStringList& lines);

} // namespace app
