// Where the editor's children go, from the pure rule and on a real window.
#include "tests/ui/QtTestEnv.h"
#include "ui/EditorLayout.h"

using namespace zov;

TEST(EditorLayout, FiguresOfA1000By700Client) {
    const EditorLayout l = ComputeEditorLayout(1000, 700, true, true, false);
    EXPECT_EQ(l.toolbar, QRect(0, 0, 1000, 24));
    EXPECT_EQ(l.strip, QRect(0, 26, 1000, 90));
    EXPECT_EQ(l.first, QRect(0, 117, 20, 14));
    EXPECT_EQ(l.previous, QRect(21, 117, 20, 14));
    EXPECT_EQ(l.stripScroll, QRect(42, 117, 918, 14));
    EXPECT_EQ(l.next, QRect(961, 117, 20, 14));
    EXPECT_EQ(l.last, QRect(982, 117, 20, 14));
    EXPECT_EQ(l.view, QRect(0, 132, 985, 533));
    EXPECT_EQ(l.viewHScroll, QRect(0, 666, 985, 15));
    EXPECT_EQ(l.viewVScroll, QRect(986, 132, 14, 533));
    EXPECT_EQ(l.fitButton, QRect(986, 666, 14, 15));
    EXPECT_EQ(l.status, QRect(0, 680, 1000, 20));
}

TEST(EditorLayout, HidingTheBarsGivesTheViewTheirRoom) {
    const EditorLayout noStatus = ComputeEditorLayout(1000, 700, true, false, false);
    EXPECT_EQ(noStatus.view, QRect(0, 132, 985, 553));
    const EditorLayout noToolbar = ComputeEditorLayout(1000, 700, false, true, false);
    EXPECT_EQ(noToolbar.strip.top(), 2);
    EXPECT_EQ(noToolbar.view, QRect(0, 108, 985, 557));
    const EditorLayout index = ComputeEditorLayout(1000, 700, true, true, true);
    EXPECT_EQ(index.indexTree, QRect(0, 132, 200, 548));
    EXPECT_EQ(index.view, QRect(200, 132, 785, 533));
}
