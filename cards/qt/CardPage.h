#pragma once

#include "cards/CardModel.h"

#include <QObject>
#include <QWidget>

namespace cards {

// A card page's view on its tab sheet: it builds the controls, forwards the user's actions to
// its model and shows the model's state whenever it changes. Captions and tags show the
// state; nothing reads them back.
class TCardPage : public QObject {
    Q_OBJECT
public:
    TCardPage(QObject* owner, QWidget* sheet, TCardModel& model)
        : QObject(owner), Sheet(sheet), mModel(model) {}
    ~TCardPage() override { mModel.Unlisten(mListener); }

    QWidget* const Sheet;
    TCardModel& Model() const { return mModel; }

protected:
    // Call once the controls exist: shows the model now and after every change.
    void Follow() {
        mListener = mModel.Listen([this] { Show(); });
        Show();
    }
    // The model's state on the controls.
    virtual void Show() = 0;

private:
    TCardModel& mModel;
    int mListener = 0;
};

} // namespace cards
