#pragma once

#include "platform/Messages.h"

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace bus {

// Every message box and file dialog of the program goes through this seam, so that tests
// answer them and no test ever waits on a modal window.
class TDialogs {
public:
    enum class TIcon { None, Error, Information };

    virtual ~TDialogs() = default;

    // A message box with one OK button. `informative` is a second, smaller text (may be
    // empty).
    virtual void Message(QWidget* parent, TIcon icon, const QString& caption, const QString& text,
                         const QString& informative) = 0;

    // File dialogs with the filter "All INI Files|*.INI|All Files|*.*": the name the user
    // chose, or nothing when the dialog was cancelled.
    virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& proposed) = 0;
    virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& proposed) = 0;
    // A save dialog for the program's other files (a bus capture, a report), with `filter`
    // in the file dialog's form ("pcapng (*.pcapng);;CSV (*.csv)").
    virtual std::optional<QString> SaveDataFileName(QWidget* parent, const QString& proposed,
                                                    const QString& filter) = 0;
};

// The dialogs in use; the program's own show Qt dialogs.
TDialogs& Dialogs();
// Installs other dialogs (tests) and returns the previous ones; nullptr restores the real ones.
TDialogs* SetDialogs(TDialogs* dialogs);

// One of the program's own texts (written in Dutch) in the user's language.
inline QString Tr(const char* text) {
    return QString::fromUtf8(platform::Tr(text));
}

// The program's title, the caption of its message boxes.
inline const QString ProgramTitle = QStringLiteral("Morvelplint");

// Runs a window handler; an error it raises ends the handler and is shown in the general
// error message box, and the program goes on.
void Guarded(const std::function<void()>& handler);
void ShowGeneralError(const QString& message);

} // namespace bus
