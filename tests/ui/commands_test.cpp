// The frame selection rules and when each toolbar command is available.
#include "ui/CommandTable.h"
#include "ui/FrameSelection.h"

#include <gtest/gtest.h>

using namespace zov;

TEST(FrameSelection, ShiftClickExtents) {
    EditorSelection s;
    s.Reset(20);
    s.SelectOne(7);
    s.ExtendTo(3);
    EXPECT_EQ(s.selection.extent, -4);
    EXPECT_EQ(s.selection.Start(), 3);
    EXPECT_EQ(s.selection.End(), 7);
    EXPECT_EQ(s.selection.Length(), 5);
    s.ExtendTo(9);
    EXPECT_EQ(s.selection.extent, 3);
    EXPECT_EQ(s.selection.Start(), 7);
    EXPECT_EQ(s.selection.End(), 9);
    s.ExtendTo(7);
    EXPECT_EQ(s.selection.Length(), 1);
}

TEST(FrameSelection, SelectAllAndEmptyProjects) {
    EditorSelection s;
    s.Reset(0);
    EXPECT_EQ(s.selection.Length(), 0);
    s.SelectAll(0);
    EXPECT_EQ(s.selection.Length(), 0);
    EXPECT_FALSE(s.selection.Contains(0));
    s.Reset(12);
    EXPECT_EQ(s.selection.anchor, 0);
    EXPECT_EQ(s.selection.extent, 1);
    s.SelectAll(12);
    EXPECT_EQ(s.selection.Start(), 0);
    EXPECT_EQ(s.selection.End(), 11);
}

TEST(FrameSelection, PasteNeedsOneFrameOutsideTheMark) {
    EditorSelection s;
    s.Reset(20);
    EXPECT_FALSE(s.CanPaste()); // no mark
    s.SelectOne(4);
    s.ExtendTo(6);
    s.SetMark(MarkKind::Copy);  // 4..6
    EXPECT_FALSE(s.CanPaste()); // three frames selected
    s.SelectOne(5);
    EXPECT_FALSE(s.CanPaste()); // inside the mark
    s.SelectOne(7);
    EXPECT_TRUE(s.CanPaste()); // right after a copy is fine
    s.SetMark(MarkKind::None);
    s.markKind = MarkKind::Cut;
    s.mark = {4, 3};
    EXPECT_FALSE(s.CanPaste()); // right after a cut changes nothing
    s.SelectOne(8);
    EXPECT_TRUE(s.CanPaste());
    s.SelectOne(20); // the end position
    EXPECT_TRUE(s.CanPaste());
    s.SelectOne(3);
    EXPECT_TRUE(s.CanPaste());
}

TEST(StripGeometry, ClickMappingAndScrolling) {
    EXPECT_EQ(VisibleSlots(1000), 11);
    EXPECT_EQ(VisibleSlots(86), 0);
    EXPECT_EQ(FrameAtStripX(0, 5, 11, 100), 5);
    EXPECT_EQ(FrameAtStripX(87 * 3 + 86, 5, 11, 100), 8);
    EXPECT_EQ(FrameAtStripX(999, 5, 11, 100), 15); // beyond the last slot: the last slot
    EXPECT_EQ(FrameAtStripX(87 * 5, 0, 11, 3), 3); // right of the last frame: the end position
    EXPECT_EQ(MaxFirstVisible(11, 100), 90);
    EXPECT_EQ(MaxFirstVisible(11, 5), 0);
    EXPECT_EQ(ScrollToShow(2, 10, 11, 100), 2);   // left of the strip
    EXPECT_EQ(ScrollToShow(50, 10, 11, 100), 50); // right of it
    EXPECT_EQ(ScrollToShow(99, 10, 11, 100), 90); // but at most count - slots + 1
    EXPECT_EQ(ScrollToShow(100, 10, 11, 100), 90);
    EXPECT_EQ(ScrollToShow(15, 10, 11, 100), 10); // already visible
}

namespace {

CommandContext Frames() {
    CommandContext c;
    c.projectOpen = true;
    c.hasFrames = true;
    return c;
}

} // namespace

TEST(CommandAvailability, EditsNeedFramesIdleAndNotBusy) {
    for (int id : {TB_CUT, TB_COPY, TB_DELETE, TB_GOTO, TB_EXPORT_ZOV, TB_EXPORT_AVI, TB_EXPORT_BMP}) {
        CommandContext c = Frames();
        EXPECT_TRUE(ToolbarButtonState(id, c).enabled) << id;
        c.hasFrames = false;
        EXPECT_FALSE(ToolbarButtonState(id, c).enabled) << id;
        c = Frames();
        c.playing = true;
        EXPECT_FALSE(ToolbarButtonState(id, c).enabled) << id;
        c = Frames();
        c.recording = true;
        EXPECT_FALSE(ToolbarButtonState(id, c).enabled) << id;
        c = Frames();
        c.editMode = MODE_TEXT;
        EXPECT_FALSE(ToolbarButtonState(id, c).enabled) << id;
    }
    CommandContext c = Frames();
    EXPECT_FALSE(ToolbarButtonState(TB_EXPORT_WMV, c).enabled);
    c.videoEncoderPresent = true;
    EXPECT_TRUE(ToolbarButtonState(TB_EXPORT_WMV, c).enabled);
}

TEST(CommandAvailability, ElementToolsStayUsableWhileAToolIsActiveAndShowPressed) {
    CommandContext c = Frames();
    c.editMode = MODE_CIRCLE;
    EXPECT_TRUE(ToolbarButtonState(TB_DRAWING_TOOLS, c).enabled);
    EXPECT_TRUE(ToolbarButtonState(TB_DRAWING_TOOLS, c).pressed);
    EXPECT_FALSE(ToolbarButtonState(TB_ADD_TEXT, c).pressed);
    c.editMode = MODE_TEXT;
    EXPECT_FALSE(ToolbarButtonState(TB_DRAWING_TOOLS, c).pressed);
    EXPECT_TRUE(ToolbarButtonState(TB_ADD_TEXT, c).pressed);
    c.editMode = MODE_URL;
    EXPECT_TRUE(ToolbarButtonState(TB_SET_URL_LINK, c).pressed);
    c.paused = true;
    EXPECT_FALSE(ToolbarButtonState(TB_ADD_MARK, c).enabled);
    EXPECT_TRUE(ToolbarButtonState(TB_CANCEL_EDIT, c).enabled);
}

TEST(CommandAvailability, PlaybackButtons) {
    CommandContext c = Frames();
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY, c).enabled);
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY_FAST, c).enabled);
    EXPECT_FALSE(ToolbarButtonState(TB_PLAY_PAUSE, c).enabled);
    EXPECT_FALSE(ToolbarButtonState(TB_PLAY_STOP, c).enabled);
    c.playing = true; // normal speed
    EXPECT_FALSE(ToolbarButtonState(TB_PLAY, c).enabled);
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY, c).pressed);
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY_FAST, c).enabled);
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY_PAUSE, c).enabled);
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY_STOP, c).enabled);
    EXPECT_FALSE(ToolbarButtonState(TB_EXIT, c).enabled);
    EXPECT_FALSE(ToolbarButtonState(TB_HELP, c).enabled);
    EXPECT_FALSE(ToolbarButtonState(TB_NEW, c).enabled);
    c.playingFast = true;
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY, c).enabled);
    EXPECT_FALSE(ToolbarButtonState(TB_PLAY_FAST, c).enabled);
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY_FAST, c).pressed);
    c = Frames();
    c.paused = true;
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY, c).enabled); // resumes
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY_PAUSE, c).pressed);
    EXPECT_FALSE(ToolbarButtonState(TB_PLAY_PAUSE, c).enabled);
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY_STOP, c).enabled);
    c = Frames();
    c.editMode = MODE_BOX;
    EXPECT_FALSE(ToolbarButtonState(TB_PLAY, c).enabled);
    c = Frames();
    c.hasFrames = false; // the end position: Play starts over, the edits stay off
    c.atEnd = true;
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY, c).enabled);
    EXPECT_TRUE(ToolbarButtonState(TB_PLAY_FAST, c).enabled);
    EXPECT_FALSE(ToolbarButtonState(TB_CUT, c).enabled);
    EXPECT_FALSE(ToolbarButtonState(TB_GOTO, c).enabled);
}

TEST(CommandAvailability, FilesRecordAndPaste) {
    CommandContext none;
    EXPECT_TRUE(ToolbarButtonState(TB_NEW, none).enabled);
    EXPECT_TRUE(ToolbarButtonState(TB_OPEN, none).enabled);
    EXPECT_FALSE(ToolbarButtonState(TB_RECORD, none).enabled);
    EXPECT_FALSE(ToolbarButtonState(TB_PASTE, none).enabled);
    EXPECT_TRUE(ToolbarButtonState(TB_EXIT, none).enabled);
    CommandContext empty;
    empty.projectOpen = true;
    EXPECT_TRUE(ToolbarButtonState(TB_RECORD, empty).enabled);
    EXPECT_FALSE(ToolbarButtonState(TB_PLAY, empty).enabled);
    CommandContext c = Frames();
    c.canPaste = true;
    EXPECT_TRUE(ToolbarButtonState(TB_PASTE, c).enabled);
    c.editMode = MODE_LINE;
    EXPECT_FALSE(ToolbarButtonState(TB_PASTE, c).enabled);
}

TEST(CommandTableTest, TheToolbarHas33EntriesAndRegisteredHandlersWin) {
    const auto& entries = ToolbarEntries();
    ASSERT_EQ(entries.size(), 33u);
    int separators = 0;
    for (const auto& e : entries)
        separators += e.toolbarId == 0;
    EXPECT_EQ(separators, 6);
    EXPECT_EQ(entries.front().toolbarId, TB_NEW);
    EXPECT_EQ(entries[30].toolbarId, TB_EXIT);
    EXPECT_EQ(ToolbarIdForMenu(ID_PLAY), TB_PLAY);
    EXPECT_EQ(MenuIdForToolbar(TB_GOTO), ID_GOTO);
    CommandTable t;
    int runs = 0;
    EXPECT_FALSE(t.Run(ID_REC_BEGIN));
    t.Register(ID_REC_BEGIN, [&runs] { ++runs; });
    EXPECT_TRUE(t.Run(ID_REC_BEGIN));
    EXPECT_EQ(runs, 1);
    CommandContext c = Frames();
    EXPECT_TRUE(t.State(ID_REC_BEGIN, c).enabled); // the toolbar rule of its button
    c.playing = true;
    EXPECT_FALSE(t.State(ID_REC_BEGIN, c).enabled);
    t.Register(
        ID_REC_BEGIN, [&runs] { runs += 10; },
        [](const CommandContext&) {
            return CommandState{true, true};
        });
    EXPECT_TRUE(t.State(ID_REC_BEGIN, c).pressed);
    t.Run(ID_REC_BEGIN);
    EXPECT_EQ(runs, 11);
}
