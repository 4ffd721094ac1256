// The editor's commands: menu and toolbar identifiers, captions by language index, the
// toolbar's order, when each command is available, and the handlers. Other subsystems add
// their handlers (recording, elements, exports, sound) through Register(); the window only
// routes menu and toolbar activations here.
#pragma once

#include <functional>
#include <map>
#include <vector>

namespace zov {

// Menu command identifiers.
enum MenuCommand : int {
    ID_ABOUT = 171,
    ID_HOW_TO = 172,
    ID_FULL_SCREEN = 173,
    ID_STATUS_BAR = 175,
    ID_ADD_TEXT = 216,
    ID_TOOL_WINDOW = 222,
    ID_GOTO = 224,
    ID_PLAY_PAUSE = 225,
    ID_PLAY_STOP = 226,
    ID_PROPERTIES = 232,
    ID_IMPORT_BMP = 233,
    ID_CLOSE = 32772,
    ID_SAVE_AS = 32774,
    ID_SAVE = 32782,
    ID_CUT = 32806,
    ID_COPY = 32807,
    ID_DELETE = 32808,
    ID_NEW = 32855,
    ID_OPEN = 32856,
    ID_SELECT_ALL = 32862,
    ID_READY_TO_RECORD_SOUND = 32871,
    ID_ADD_MARK = 32872,
    ID_ADD_SUBSCRIPT1 = 32873,
    ID_ELEMENTS_ONLY = 32875,
    ID_REC_BEGIN = 32877,
    ID_REC_PAUSE = 32878,
    ID_REC_RESUME = 32879,
    ID_REC_STOP = 32880,
    ID_PLAY = 32881,
    ID_EXIT = 32882,
    ID_UNDO = 32884,
    ID_PASTE = 32885,
    ID_FAST_PLAY = 32895,
    ID_CANCEL_EDIT = 32907,
    ID_ADD_SUBSCRIPT2 = 32914,
    ID_EXPORT_ZOV = 32915,
    ID_EXPORT_AVI = 32916,
    ID_EXPORT_WMV = 32917,
    ID_FRAME_SELECT = 32918,
    ID_AREA_SELECT = 32919,
    ID_DRAW_LINE = 33006,
    ID_DRAW_CIRCLE = 33007,
    ID_DRAW_BOX = 33008,
    ID_DRAW_BOX2 = 33009,
    ID_EXPORT_BMP = 33014,
    ID_LANG_ENGLISH = 33017,
    ID_LANG_CHINESE = 33018,
    ID_LANG_JAPANESE = 33019,
    ID_ADD_IMAGE = 33023,
    ID_SET_URL_LINK = 33028,
    ID_TOOLBAR = 59392,
};

// Toolbar button identifiers.
enum ToolbarCommand : int {
    TB_PLAY_FAST = 32830,
    TB_PLAY_PAUSE = 32842,
    TB_RECORD = 32843,
    TB_PLAY = 32845,
    TB_EXIT = 32846,
    TB_EXPORT_BMP = 32847,
    TB_CUT = 32848,
    TB_HELP = 32850,
    TB_FULL_SCREEN = 32851,
    TB_COPY = 32852,
    TB_PASTE = 32854,
    TB_OPEN = 32887,
    TB_NEW = 32888,
    TB_PLAY_STOP = 32890,
    TB_DRAWING_TOOLS = 32892,
    TB_DELETE = 32899,
    TB_SUBSCRIPT1 = 32900,
    TB_ADD_TEXT = 32902,
    TB_ADD_MARK = 32903,
    TB_CANCEL_EDIT = 32906,
    TB_GOTO = 32910,
    TB_SUBSCRIPT2 = 32912,
    TB_EXPORT_ZOV = 33002,
    TB_EXPORT_AVI = 33003,
    TB_EXPORT_WMV = 33004,
    TB_ADD_IMAGE = 33022,
    TB_SET_URL_LINK = 33027,
};

// One toolbar entry: a button (toolbar id, the menu command it runs, its icon file in
// data/icons/ and its tool-tip string) or a separator (all zero).
struct ToolbarEntry {
    int toolbarId;
    int menuId;
    const char* icon;
    int tipString;
};
// The 33 entries in order.
const std::vector<ToolbarEntry>& ToolbarEntries();

// Element edit modes the editor knows by number.
enum EditMode : int {
    MODE_NONE = 0,
    MODE_CIRCLE = 1,
    MODE_BOX = 2,
    MODE_BOX2 = 3,
    MODE_LINE = 4,
    MODE_MARK = 5,
    MODE_SUBSCRIPT1 = 7,
    MODE_SUBSCRIPT2 = 8,
    MODE_TEXT = 9,
    MODE_URL = 10,
};

// What availability depends on.
struct CommandContext {
    bool projectOpen = false;
    bool hasFrames = false; // an open project with frames and the anchor inside them
    bool atEnd = false;     // frames, and the anchor on the position after the last one
    bool playing = false;
    bool playingFast = false;
    bool paused = false;
    bool recording = false; // recording or paused recording
    int editMode = MODE_NONE;
    bool canPaste = false; // EditorSelection::CanPaste()
    bool videoEncoderPresent = false;
    bool playerOpen = false;
    bool Busy() const { return playing || paused || recording; }
    bool Idle() const { return editMode == MODE_NONE; }
};

struct CommandState {
    bool enabled = false;
    bool pressed = false;
};

// The rule for a toolbar button (by toolbar id).
CommandState ToolbarButtonState(int toolbarId, const CommandContext& c);

class CommandTable {
  public:
    using Handler = std::function<void()>;
    using Availability = std::function<CommandState(const CommandContext&)>;

    // Adds or replaces the handler of menu command `menuId` (and its availability, when given,
    // replacing the built-in rule).
    void Register(int menuId, Handler handler, Availability availability = nullptr);
    bool Has(int menuId) const { return m_entries.count(menuId) != 0; }
    // Whether the command brought a rule of its own (menu items without a button follow it).
    bool HasAvailability(int menuId) const {
        auto it = m_entries.find(menuId);
        return it != m_entries.end() && it->second.availability != nullptr;
    }
    // Runs the handler; false when none is registered.
    bool Run(int menuId) const;
    // A registered availability, else the toolbar rule of the button that runs this command,
    // else enabled.
    CommandState State(int menuId, const CommandContext& c) const;

  private:
    struct Entry {
        Handler handler;
        Availability availability;
    };
    std::map<int, Entry> m_entries;
};

// The toolbar id of a menu command (0 when it has no button) and back.
int ToolbarIdForMenu(int menuId);
int MenuIdForToolbar(int toolbarId);

} // namespace zov
