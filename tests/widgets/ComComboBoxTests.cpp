// The port selection list on an injected list of port names.
#include "serial/PortNames.h"
#include "serial/qt/ComComboBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

using namespace serial;

namespace {

class ComComboBoxTest : public ::testing::Test {
protected:
    TPortNameSource Previous;
    std::unique_ptr<TComComboBox> Box;

    void SetUp() override {
        Use({"COM2", "COM10", "COM1"});
        Box = std::make_unique<TComComboBox>();
    }
    void TearDown() override {
        Box.reset();
        SetPortNameSource(Previous);
    }

    void Use(std::vector<std::string> names) {
        auto previous = SetPortNameSource([names] { return names; });
        if (!Previous)
            Previous = previous;
    }

    QStringList Entries() const {
        QStringList entries;
        for (int i = 0; i < Box->count(); ++i)
            entries << Box->itemText(i);
        return entries;
    }

    // What a user does with the keyboard on the closed list: the next entry.
    void PickNext() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(Box.get(), &press);
    }
};

} // namespace

TEST_F(ComComboBoxTest, StartsEmptyAndOnlyForPicking) {
    EXPECT_FALSE(Box->isEditable());
    EXPECT_EQ(Box->ComProperty(), cpNone);
    EXPECT_EQ(Box->ComPort(), nullptr);
    EXPECT_FALSE(Box->AutoApply());
    EXPECT_EQ(Box->count(), 0);
    EXPECT_EQ(Box->Text(), "");
}

TEST_F(ComComboBoxTest, ThePortKindListsThePortsSortedAndSelectsTheFirst) {
    Box->SetComProperty(cpPort);
    EXPECT_EQ(Entries(), (QStringList{"COM1", "COM10", "COM2"}));
    EXPECT_EQ(Box->ItemIndex(), 0);
    EXPECT_EQ(Box->Text(), "COM1");
    EXPECT_EQ(Box->ComSelect().ChosenPort, "") << "filling is no pick";
}

TEST_F(ComComboBoxTest, SettingTheTextSelectsTheEntryWithoutRegardToCase) {
    Box->SetComProperty(cpPort);
    Box->SetText("com2");
    EXPECT_EQ(Box->ItemIndex(), 2);
    EXPECT_EQ(Box->Text(), "COM2");
    Box->SetText("COM7");
    EXPECT_EQ(Box->Text(), "COM2") << "an unlisted name changes nothing";
    Box->SetText("COM");
    EXPECT_EQ(Box->Text(), "COM2") << "a prefix is no match";
}

TEST_F(ComComboBoxTest, AnIndexPastTheEndLeavesNothingSelected) {
    Use({"/dev/ttyUSB0"});
    Box->SetComProperty(cpPort);
    Box->SetItemIndex(1);
    EXPECT_EQ(Box->ItemIndex(), -1);
    EXPECT_EQ(Box->Text(), "");
    Box->SetItemIndex(0);
    EXPECT_EQ(Box->Text(), "/dev/ttyUSB0");
}

TEST_F(ComComboBoxTest, TheSettingsWindowSequence) {
    Box->SetComProperty(cpPort);
    Box->SetText("COM1");
    Box->SetItemIndex(0);
    Box->SetItemIndex(1);
    EXPECT_EQ(Box->Text(), "COM10");
}

TEST_F(ComComboBoxTest, AnEmptySourceGivesAnEmptyList) {
    Use({});
    Box->SetComProperty(cpPort);
    EXPECT_EQ(Box->count(), 0);
    EXPECT_EQ(Box->ItemIndex(), -1);
    EXPECT_EQ(Box->Text(), "");
}

TEST_F(ComComboBoxTest, AnUnreadableSourceRaisesReason23AndLeavesTheListEmpty) {
    Box->SetComProperty(cpPort);
    SetPortNameSource([]() -> std::vector<std::string> { throw EComPort(ceRegistry, EACCES); });
    try {
        Box->SetComProperty(cpPort);
        ADD_FAILURE() << "no EComPort raised";
    } catch (const EComPort& error) {
        EXPECT_EQ(error.Reason, 23);
    }
    EXPECT_EQ(Box->count(), 0);
    EXPECT_EQ(Box->Text(), "");
}

TEST_F(ComComboBoxTest, APickStoresTheChosenNameAndChangesNothingElse) {
    Box->SetComProperty(cpPort);
    QSignalSpy changes(Box.get(), &TComComboBox::Change);
    PickNext();
    EXPECT_EQ(Box->Text(), "COM10");
    EXPECT_EQ(Box->ComSelect().ChosenPort, "COM10");
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(Entries(), (QStringList{"COM1", "COM10", "COM2"}));
    EXPECT_EQ(Box->ComPort(), nullptr);
}

TEST_F(ComComboBoxTest, ABoundPortTakesAPickOnlyWithAutoApply) {
    TComPort port; // closed: a new Port is only stored
    port.SetPort("COM2");
    Box->SetComPort(&port);
    Box->SetComProperty(cpPort);
    EXPECT_EQ(Box->Text(), "COM2") << "a bound port's name is selected";
    Box->SetItemIndex(0);
    PickNext();
    EXPECT_EQ(port.Port(), "COM2");
    Box->SetAutoApply(true);
    PickNext();
    EXPECT_EQ(Box->Text(), "COM2");
    Box->SetItemIndex(0);
    PickNext();
    EXPECT_EQ(port.Port(), "COM10");
    Box->SetComPort(nullptr);
}

TEST_F(ComComboBoxTest, OtherKindsListTheTextFormsOfTheirValues) {
    Box->SetComProperty(cpBaudRate);
    EXPECT_EQ(Box->count(), 15);
    EXPECT_EQ(Box->itemText(6), "9600");
    Box->SetComProperty(cpStopBits);
    EXPECT_EQ(Entries(), (QStringList{"1", "1.5", "2"}));
    Box->SetComProperty(cpParity);
    PickNext();
    EXPECT_EQ(Box->ComSelect().ChosenParity, prOdd);
    Box->SetComProperty(cpNone);
    EXPECT_EQ(Box->count(), 0);
}
