#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QWidget>
#include <gtest/gtest.h>
#include <utility>

// Every caption under `root` is shown whole in the font its control got: a label's text (one
// line within its width, a word-wrapped one within its height at its width), a button's,
// check box's or radio button's caption, and a group box's title.
inline void ExpectEveryCaptionFits(const QWidget& root) {
    for (QWidget* widget : root.findChildren<QWidget*>())
        if (widget->layout())
            widget->layout()->activate(); // as showing the window would
    const auto name = [](const QWidget* control) {
        return control->objectName().toStdString() + " \"" +
               (qobject_cast<const QLabel*>(control)
                    ? qobject_cast<const QLabel*>(control)->text()
                    : qobject_cast<const QAbstractButton*>(control)
                          ? qobject_cast<const QAbstractButton*>(control)->text()
                          : QString())
                   .toStdString() +
               "\"";
    };
    for (const QLabel* label : root.findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        if (label->wordWrap()) {
            EXPECT_LE(label->heightForWidth(label->width()), label->height()) << name(label);
        } else {
            EXPECT_LE(label->sizeHint().width(), label->width()) << name(label);
            EXPECT_LE(label->sizeHint().height(), label->height()) << name(label);
        }
    }
    for (const QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty())
            continue;
        const QFontMetrics metrics = button->fontMetrics();
        const QString text = QString(button->text()).remove('&');
        int needed = metrics.horizontalAdvance(text);
        if (qobject_cast<const QCheckBox*>(button) || qobject_cast<const QRadioButton*>(button))
            needed = button->sizeHint().width();
        else if (qobject_cast<const QPushButton*>(button))
            needed += 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin) / 2;
        EXPECT_LE(needed, button->width()) << name(button);
        EXPECT_LE(metrics.height(), button->height()) << name(button);
    }
    for (const QGroupBox* group : root.findChildren<QGroupBox*>()) {
        if (group->title().isEmpty())
            continue;
        const int needed = group->fontMetrics().horizontalAdvance(group->title()) + 8;
        EXPECT_LE(needed, group->width()) << group->objectName().toStdString();
    }
}

// Runs `check` in the fonts the system gives, then once for each of the common sans and
// monospaced families of Debian desktops that is installed here (DejaVu, Liberation, FreeFont,
// Noto), as the program's font and as the system's monospaced font.
template <typename F> void InEachCommonFont(F check) {
    const QFont systemFont = QApplication::font();
    const QStringList installed = QFontDatabase::families();
    const std::pair<const char*, const char*> families[] = {
        {nullptr, nullptr},
        {"DejaVu Sans", "DejaVu Sans Mono"},
        {"Liberation Sans", "Liberation Mono"},
        {"FreeSans", "FreeMono"},
        {nullptr, "Noto Sans Mono"}};
    for (const auto& [sans, mono] : families) {
        const bool withSans = sans && installed.contains(sans);
        const bool withMono = mono && installed.contains(mono);
        if ((sans || mono) && !withSans && !withMono)
            continue;
        QFont font = systemFont;
        if (withSans)
            font.setFamily(sans);
        QApplication::setFont(font);
        QFont::removeSubstitutions("monospace");
        if (withMono)
            QFont::insertSubstitution("monospace", mono);
        SCOPED_TRACE(std::string("fonts: ") + (withSans ? sans : "the system's") + ", " +
                     (withMono ? mono : "the system's monospaced"));
        check();
    }
    QApplication::setFont(systemFont);
    QFont::removeSubstitutions("monospace");
}
