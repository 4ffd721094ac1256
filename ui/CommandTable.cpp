#include "ui/CommandTable.h"

#include "base/StringIds.h"

namespace zov {

const std::vector<ToolbarEntry>& ToolbarEntries() {
    static const std::vector<ToolbarEntry> entries = {
        {TB_NEW, ID_NEW, "new.svg", S_TIP_FIRST + 0},
        {TB_OPEN, ID_OPEN, "open.svg", S_TIP_FIRST + 1},
        {TB_EXPORT_BMP, ID_EXPORT_BMP, "export-bmp.svg", S_TIP_FIRST + 2},
        {TB_EXPORT_ZOV, ID_EXPORT_ZOV, "export-zov.svg", S_TIP_FIRST + 3},
        {TB_EXPORT_AVI, ID_EXPORT_AVI, "export-avi.svg", S_TIP_FIRST + 4},
        {TB_EXPORT_WMV, ID_EXPORT_WMV, "export-wmv.svg", S_TIP_FIRST + 5},
        {0, 0, nullptr, 0},
        {TB_CANCEL_EDIT, ID_CANCEL_EDIT, "cancel-edit.svg", S_TIP_FIRST + 6},
        {TB_DRAWING_TOOLS, 0, "drawing-tools.svg", S_TIP_FIRST + 7},
        {TB_ADD_TEXT, ID_ADD_TEXT, "add-text.svg", S_TIP_FIRST + 8},
        {TB_SUBSCRIPT1, ID_ADD_SUBSCRIPT1, "subscript1.svg", S_TIP_FIRST + 9},
        {TB_SUBSCRIPT2, ID_ADD_SUBSCRIPT2, "subscript2.svg", S_TIP_FIRST + 10},
        {TB_ADD_MARK, ID_ADD_MARK, "add-mark.svg", S_TIP_FIRST + 11},
        {TB_ADD_IMAGE, ID_ADD_IMAGE, "add-image.svg", S_TIP_FIRST + 12},
        {TB_SET_URL_LINK, ID_SET_URL_LINK, "url-link.svg", S_TIP_FIRST + 13},
        {0, 0, nullptr, 0},
        {TB_CUT, ID_CUT, "cut.svg", S_TIP_FIRST + 14},
        {TB_COPY, ID_COPY, "copy.svg", S_TIP_FIRST + 15},
        {TB_PASTE, ID_PASTE, "paste.svg", S_TIP_FIRST + 16},
        {TB_DELETE, ID_DELETE, "delete.svg", S_TIP_FIRST + 17},
        {0, 0, nullptr, 0},
        {TB_FULL_SCREEN, ID_FULL_SCREEN, "full-screen.svg", S_TIP_FIRST + 18},
        {0, 0, nullptr, 0},
        {TB_PLAY, ID_PLAY, "play.svg", S_TIP_FIRST + 19},
        {TB_PLAY_FAST, ID_FAST_PLAY, "fast-play.svg", S_TIP_FIRST + 20},
        {TB_PLAY_PAUSE, ID_PLAY_PAUSE, "pause.svg", S_TIP_FIRST + 21},
        {TB_PLAY_STOP, ID_PLAY_STOP, "stop.svg", S_TIP_FIRST + 22},
        {TB_RECORD, ID_REC_BEGIN, "record.svg", S_TIP_FIRST + 23},
        {TB_GOTO, ID_GOTO, "goto.svg", S_TIP_FIRST + 24},
        {0, 0, nullptr, 0},
        {TB_EXIT, ID_EXIT, "exit.svg", S_TIP_FIRST + 25},
        {TB_HELP, ID_HOW_TO, "help.svg", S_TIP_FIRST + 26},
        {0, 0, nullptr, 0},
    };
    return entries;
}

int ToolbarIdForMenu(int menuId) {
    for (const auto& e : ToolbarEntries())
        if (e.menuId == menuId && menuId != 0)
            return e.toolbarId;
    return 0;
}

int MenuIdForToolbar(int toolbarId) {
    for (const auto& e : ToolbarEntries())
        if (e.toolbarId == toolbarId && toolbarId != 0)
            return e.menuId;
    return 0;
}

CommandState ToolbarButtonState(int id, const CommandContext& c) {
    const bool busy = c.Busy(), idle = c.Idle(), frames = c.hasFrames;
    const bool normalPlay = c.playing && !c.playingFast;
    const bool fastPlay = c.playing && c.playingFast;
    switch (id) {
    case TB_CUT:
    case TB_COPY:
    case TB_DELETE:
    case TB_GOTO:
    case TB_EXPORT_BMP:
    case TB_EXPORT_ZOV:
    case TB_EXPORT_AVI:
        return {frames && !busy && idle, false};
    case TB_EXPORT_WMV:
        return {frames && !busy && idle && c.videoEncoderPresent, false};
    case TB_ADD_TEXT:
        return {frames && !busy, c.editMode == MODE_TEXT};
    case TB_SUBSCRIPT1:
        return {frames && !busy, c.editMode == MODE_SUBSCRIPT1};
    case TB_SUBSCRIPT2:
        return {frames && !busy, c.editMode == MODE_SUBSCRIPT2};
    case TB_SET_URL_LINK:
        return {frames && !busy, c.editMode == MODE_URL};
    case TB_DRAWING_TOOLS:
        return {frames && !busy, c.editMode >= MODE_CIRCLE && c.editMode <= MODE_LINE};
    case TB_ADD_MARK:
        return {frames && !busy, c.editMode == MODE_MARK};
    case TB_ADD_IMAGE:
        return {frames && !busy, false};
    case TB_NEW:
    case TB_OPEN:
        return {!busy && idle, false};
    case TB_RECORD:
        return {c.projectOpen && !busy && idle, false};
    case TB_PASTE:
        return {c.canPaste && !busy && idle, false};
    // Play also starts from the end position: it then plays from frame 0.
    case TB_PLAY:
        return {(frames || c.atEnd) && idle && !normalPlay, normalPlay};
    case TB_PLAY_FAST:
        return {(frames || c.atEnd) && idle && !fastPlay, fastPlay};
    case TB_PLAY_PAUSE:
        return {c.playing, c.paused};
    case TB_PLAY_STOP:
        return {busy, false};
    case TB_EXIT:
    case TB_HELP:
        return {!busy, false};
    case TB_CANCEL_EDIT:
        return {true, false};
    case TB_FULL_SCREEN:
        return {true, c.playerOpen};
    default:
        return {true, false};
    }
}

void CommandTable::Register(int menuId, Handler handler, Availability availability) {
    m_entries[menuId] = Entry{std::move(handler), std::move(availability)};
}

bool CommandTable::Run(int menuId) const {
    auto it = m_entries.find(menuId);
    if (it == m_entries.end() || !it->second.handler)
        return false;
    it->second.handler();
    return true;
}

CommandState CommandTable::State(int menuId, const CommandContext& c) const {
    auto it = m_entries.find(menuId);
    if (it != m_entries.end() && it->second.availability)
        return it->second.availability(c);
    if (int tb = ToolbarIdForMenu(menuId))
        return ToolbarButtonState(tb, c);
    return {true, false};
}

} // namespace zov
