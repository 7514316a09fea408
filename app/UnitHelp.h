#pragma once

#include <QDialog>

class QFrame;
class QPushButton;
class QScrollBar;
class QTextEdit;

namespace app {

// The help window: the built-in Dutch help text in a memo that a scroll bar moves inside a
// clipping panel, shown at the section of the card page in use.
class THelpBox : public QDialog {
    Q_OBJECT
public:
    explicit THelpBox(QWidget* parent = nullptr);
    ~THelpBox() override;

    QFrame* PanelHelp = nullptr;
    QTextEdit* MemoHelp = nullptr;
    QScrollBar* ScrollBarVertHelp = nullptr;
    QPushButton* OKBtn = nullptr;

    // Which section to show next: -1 the top, 1 to 7 the card pages "SCK/ MCK" to "IOK".
    int HelpTopic = -1;

    void FormShow();
    void ScrollBarVertHelpChange();
    void OKBtnClick();

    // The scroll position of a topic; any other value keeps `current`.
    static int TopicPosition(int topic, int current);

    // The memo's fixed line height and its margin above the first line, in pixels; the help
    // text's blank lines are counted so that each topic's heading lands at its position.
    static constexpr int LineHeight = 13;
    static constexpr int TextMargin = 4;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadHelpText();
};

// The help window, valid for the life of the program.
extern THelpBox* HelpBox;

} // namespace app
