#pragma once

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <cstdint>
#include <optional>
#include <string>

class QFrame;
class QLabel;
class QPushButton;
class QTimer;

namespace app {

// The program file's version: four 16-bit parts, as in a file-version block.
struct TFileVersion {
    std::uint16_t Major = 0;
    std::uint16_t Minor = 0;
    std::uint16_t Release = 0;
    std::uint16_t Build = 0;
};

// One to four decimal parts of 0 to 65535 separated by dots ("6.1.0.177"; missing parts are
// 0); nothing for any other text.
std::optional<TFileVersion> ParseFileVersion(const std::string& text);
// The version built into this program (the build's project version); nothing when the build
// gave none.
std::optional<TFileVersion> ProgramFileVersion();
// "6.1.0.177"; empty without a version or when all four parts are 0.
QString VersionText(const std::optional<TFileVersion>& version);

// The about window: name, version, picture, rights, disclaimers, authors, and a small
// locomotive that runs to and fro below the frame while the window is active.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    TAboutBox(const std::optional<TFileVersion>& version, QWidget* parent = nullptr);
    ~TAboutBox() override;

    QFrame* PanelAbout = nullptr;
    QLabel* LabelName = nullptr;
    QLabel* LabelVersion = nullptr;
    QLabel* ImageZELM = nullptr;
    QLabel* LabelRechten = nullptr;
    QLabel* DisclaimerA = nullptr;
    QLabel* DisclaimerB = nullptr;
    QLabel* LabelAuteur1 = nullptr;
    QLabel* LabelAuteur2 = nullptr;
    QPushButton* OKButton = nullptr;
    QTimer* TimerAbout = nullptr;
    QList<QPixmap> ImageListAbout;

    void FormActivate();
    void FormDeactivate();
    void TimerAboutTimer();

    // The animation: the picture's left edge, its direction, and the picture drawn last
    // (-1 before the first tick). Kept for the whole run, not per showing.
    int AnimationX() const { return mX; }
    bool MovingLeft() const { return mMovingLeft; }
    int PictureShown() const { return mPicture; }

    // The top of the animation's row, below the frame.
    int AnimationTop() const { return mAnimationTop; }

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void FormCreate(const std::optional<TFileVersion>& version);
    void LayOutFrame();

    int mX = 0;
    bool mMovingLeft = false;
    int mPicture = -1;
    int mAnimationTop = 265;
};

// The about window, valid for the life of the program.
extern TAboutBox* AboutBox;

} // namespace app
