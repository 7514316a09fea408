#include "app/Printing.h"

#include "settings/SettingsFile.h"

#include <QFontDialog>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>

namespace app {

namespace {

class TQtPrintDialogs : public TPrintDialogs {
public:
    bool Print(QWidget* parent, QPrinter& printer) override {
        QPrintDialog dialog(&printer, parent);
        dialog.setOption(QAbstractPrintDialog::PrintCollateCopies);
        return dialog.exec() == QDialog::Accepted;
    }

    void PrinterSetup(QWidget* parent, QPrinter& printer) override {
        QPageSetupDialog dialog(&printer, parent);
        dialog.exec();
    }

    std::optional<QFont> Font(QWidget* parent, const QFont& current) override {
        bool ok = false;
        const QFont chosen = QFontDialog::getFont(&ok, current, parent);
        return ok ? std::optional(chosen) : std::nullopt;
    }
};

TQtPrintDialogs gQtPrintDialogs;
TPrintDialogs* gPrintDialogs = &gQtPrintDialogs;

} // namespace

QPaintDevice& TPrintDialogs::JobDevice(QPrinter& printer) {
    return printer;
}

TPrintDialogs& PrintDialogs() {
    return *gPrintDialogs;
}

TPrintDialogs* SetPrintDialogs(TPrintDialogs* dialogs) {
    TPrintDialogs* previous = gPrintDialogs;
    gPrintDialogs = dialogs ? dialogs : &gQtPrintDialogs;
    return previous;
}

QFont DefaultPrintFont() {
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

QStringList SettingsReport(const bus::TSettings& settings, const QString& port) {
    QStringList lines;
    for (const std::string& line : bus::SettingsReport(settings, port.toStdString()))
        lines << QString::fromStdString(line);
    return lines;
}

int LinePitch(const QFont& font, QPaintDevice& device) {
    const int pitch = qRound(4 * font.pointSizeF());
    // 4 x points is 32 pixels for 8 points, but at 600 dpi the 8-point text itself is some
    // 67 pixels high; the larger distance keeps the lines apart.
    return std::max(pitch, QFontMetrics(font, &device).lineSpacing());
}

void PrintReport(QPaintDevice& device, int copies, const QFont& font, const QColor& color,
                 const QStringList& lines) {
    copies = std::max(copies, 1);
    for (int copy = 0; copy < copies; ++copy) {
        // Each begin and end of a painter on the printer is one print job.
        QPainter painter;
        if (!painter.begin(&device))
            return;
        painter.setFont(font);
        painter.setPen(color);
        const int pitch = LinePitch(font, device);
        const int ascent = painter.fontMetrics().ascent();
        int y = 10;
        for (const QString& line : lines) {
            // (10, y) is the top left corner of the line; Qt draws text on its base line.
            painter.drawText(QPoint(10, y + ascent), line);
            y += pitch;
        }
        painter.end();
    }
}

} // namespace app
