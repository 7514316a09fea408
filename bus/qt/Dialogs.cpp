#include "bus/qt/Dialogs.h"

#include "serial/ComError.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace bus {

namespace {

const QString FileFilter = QStringLiteral("All INI Files (*.INI *.ini);;All Files (*)");

class TQtDialogs : public TDialogs {
public:
    void Message(QWidget* parent, TIcon icon, const QString& caption, const QString& text,
                 const QString& informative) override {
        QMessageBox box(parent);
        box.setIcon(icon == TIcon::Error         ? QMessageBox::Critical
                    : icon == TIcon::Information ? QMessageBox::Information
                                                 : QMessageBox::NoIcon);
        box.setWindowTitle(caption);
        box.setText(text);
        box.setInformativeText(informative);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    }

    std::optional<QString> OpenFileName(QWidget* parent, const QString& proposed) override {
        const QString name = QFileDialog::getOpenFileName(parent, QString(), proposed, FileFilter);
        return name.isEmpty() ? std::nullopt : std::optional(name);
    }

    std::optional<QString> SaveFileName(QWidget* parent, const QString& proposed) override {
        // No question before overwriting, and no extension added to a typed name.
        const QString name = QFileDialog::getSaveFileName(
            parent, QString(), proposed, FileFilter, nullptr, QFileDialog::DontConfirmOverwrite);
        return name.isEmpty() ? std::nullopt : std::optional(name);
    }

    std::optional<QString> SaveDataFileName(QWidget* parent, const QString& proposed,
                                            const QString& filter) override {
        const QString name = QFileDialog::getSaveFileName(parent, QString(), proposed,
                                                          filter + QStringLiteral(";;All Files (*)"));
        return name.isEmpty() ? std::nullopt : std::optional(name);
    }
};

TQtDialogs gQtDialogs;
TDialogs* gDialogs = &gQtDialogs;

} // namespace

TDialogs& Dialogs() {
    return *gDialogs;
}

TDialogs* SetDialogs(TDialogs* dialogs) {
    TDialogs* previous = gDialogs;
    gDialogs = dialogs ? dialogs : &gQtDialogs;
    return previous;
}

void ShowGeneralError(const QString& message) {
    Dialogs().Message(QApplication::activeWindow(), TDialogs::TIcon::Error, ProgramTitle, message,
                      QString());
}

void Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const serial::EComPort& error) {
        ShowGeneralError(QString::fromLocal8Bit(serial::ExplainedMessage(error).c_str()));
    } catch (const std::exception& error) {
        ShowGeneralError(QString::fromLocal8Bit(error.what()));
    }
}

} // namespace bus
