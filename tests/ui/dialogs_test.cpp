// The goto dialog and the player window's own rules.
#include "tests/ui/QtTestEnv.h"
#include "ui/GotoDialog.h"
#include "ui/PlayerWindow.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

using namespace zov;

TEST(GotoDialog, MinutesAndSecondsFollowTheSlider) {
    CDialogGoto dlg(nullptr, "ZOV Recorder", "Go", 1000, 200);
    dlg.SetFrame(450);
    EXPECT_EQ(dlg.Slider()->value(), 450);
    EXPECT_EQ(dlg.MinutesText(), "1");
    EXPECT_EQ(dlg.SecondsText(), "30");
    dlg.Slider()->setValue(999); // 199.8 s
    EXPECT_EQ(dlg.GetFrame(), 999);
    EXPECT_EQ(dlg.MinutesText(), "3");
    EXPECT_EQ(dlg.SecondsText(), "19");
    EXPECT_EQ(dlg.Slider()->minimum(), 0);
    EXPECT_EQ(dlg.Slider()->maximum(), 999);
}

TEST(GotoDialog, OutOfRangeStartsAtZeroAndOneFrameGoesToZero) {
    CDialogGoto dlg(nullptr, "t", "Go", 1, 500);
    dlg.SetFrame(5);
    EXPECT_EQ(dlg.GetFrame(), 0);
    EXPECT_EQ(dlg.Slider()->maximum(), 0);
    dlg.GoButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.GetFrame(), 0);
    CDialogGoto neg(nullptr, "t", "Go", 10, 500);
    neg.SetFrame(-3);
    EXPECT_EQ(neg.GetFrame(), 0);
}

TEST(GotoDialog, TheTimeFieldsMoveNothing) {
    CDialogGoto dlg(nullptr, "t", "Go", 100, 1000);
    dlg.SetFrame(75);
    EXPECT_EQ(dlg.MinutesUpDown()->minimum(), 0);
    EXPECT_EQ(dlg.MinutesUpDown()->maximum(), 1000);
    EXPECT_EQ(dlg.MinutesUpDown()->value(), 20);
    EXPECT_EQ(dlg.SecondsUpDown()->value(), 20);
    // The seconds up-down runs reversed: its up arrow lowers the number.
    dlg.SecondsUpDown()->stepUp();
    EXPECT_EQ(dlg.SecondsUpDown()->value(), 19);
    dlg.MinutesUpDown()->stepUp();
    EXPECT_EQ(dlg.GetFrame(), 75);
    EXPECT_EQ(dlg.Slider()->value(), 75);
}

TEST(GotoDialog, TicksAtTenThenEveryTwenty) {
    EXPECT_EQ(GotoTickPositions(0, 59), (std::vector<int>{0, 10, 20, 40, 59}));
    EXPECT_EQ(GotoTickPositions(0, 40), (std::vector<int>{0, 10, 20, 40}));
    EXPECT_EQ(GotoTickPositions(0, 0), (std::vector<int>{0}));
}

TEST(PlayerRules, ScrollRangesPagesAndCounter) {
    EXPECT_EQ(PlayerScrollMax(1024, 800), 225);
    EXPECT_EQ(PlayerScrollMax(768, 600), 169);
    EXPECT_EQ(PlayerScrollMax(400, 800), 0);
    EXPECT_EQ(PlayerScrollPage(225), 23);
    EXPECT_EQ(PlayerScrollPage(10), 2);
    EXPECT_EQ(PlayerScrollPage(9), 2);
    EXPECT_EQ(PlayerCounterText(9, 120, 500), "10 / 120,   4.50");
    EXPECT_EQ(PlayerCounterText(0, 1, 250), "1 / 1,   0.00");
}

TEST(PlayerRules, Layout) {
    const PlayerLayout l = ComputePlayerLayout(825, 650);
    EXPECT_EQ(l.view, QRect(5, 5, 800, 600));
    EXPECT_EQ(l.vScroll, QRect(805, 5, 15, 600));
    EXPECT_EQ(l.hScroll, QRect(5, 605, 800, 15));
    EXPECT_EQ(l.counter, QRect(10, 625, 100, 20));
    EXPECT_EQ(l.play, QRect(530, 625, 55, 20));
    EXPECT_EQ(l.fast, QRect(585, 625, 55, 20));
    EXPECT_EQ(l.pause, QRect(640, 625, 55, 20));
    EXPECT_EQ(l.stop, QRect(695, 625, 55, 20));
    EXPECT_EQ(l.ret, QRect(750, 625, 55, 20));
}
