#pragma once

#include "bus/qt/Dialogs.h"

#include <QStringList>
#include <deque>
#include <optional>

// Answers the program's dialogs as the test says and keeps every message shown.
class TDialogRecorder : public bus::TDialogs {
public:
    struct TShown {
        TIcon Icon;
        QString Caption;
        QString Text;
        QString Informative;
    };

    std::vector<TShown> Messages;
    std::deque<std::optional<QString>> OpenAnswers; // nullopt: the user cancels
    std::deque<std::optional<QString>> SaveAnswers;
    QStringList Proposed; // the names the file dialogs were opened with

    TDialogRecorder() : mPrevious(bus::SetDialogs(this)) {}
    ~TDialogRecorder() override { bus::SetDialogs(mPrevious); }

    void Message(QWidget*, TIcon icon, const QString& caption, const QString& text,
                 const QString& informative) override {
        Messages.push_back({icon, caption, text, informative});
    }

    std::optional<QString> OpenFileName(QWidget*, const QString& proposed) override {
        Proposed << proposed;
        return Next(OpenAnswers);
    }

    std::optional<QString> SaveFileName(QWidget*, const QString& proposed) override {
        Proposed << proposed;
        return Next(SaveAnswers);
    }

    std::optional<QString> SaveDataFileName(QWidget*, const QString& proposed,
                                            const QString&) override {
        Proposed << proposed;
        return Next(SaveAnswers);
    }

private:
    static std::optional<QString> Next(std::deque<std::optional<QString>>& answers) {
        if (answers.empty())
            return std::nullopt;
        const bool confirmed = answers.front().has_value();
        const QString name = confirmed ? *answers.front() : QString();
        answers.pop_front();
        if (!confirmed)
            return std::nullopt;
        return name;
    }

    bus::TDialogs* mPrevious;
};
