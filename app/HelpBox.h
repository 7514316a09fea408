#pragma once

#include <QDialog>
#include <vector>

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

    // The scroll position of a topic, which puts its heading where the title line stands at
    // the top; any other value keeps `current`.
    int TopicPosition(int topic, int current) const;

    // The pitch of the memo's lines, taken from its font.
    int LinePitch() const { return mLinePitch; }
    // The memo's margin around the text, in pixels.
    static constexpr int TextMargin = 4;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadHelpText();
    // Sizes the memo, the panel and the window and places the topics for the memo's font.
    void LayOut();

    QWidget* mClip = nullptr;
    int mLinePitch = 0;
    std::vector<int> mTopics; // the scroll position of each heading, in the text's order
};

// The help window, valid for the life of the program.
extern THelpBox* HelpBox;

} // namespace app
