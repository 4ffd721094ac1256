// Indexes into the language string table (data/language/lang*.txt, 213 lines each, line i
// holding text i). Every user-visible text that follows the interface language is taken by
// one of these indexes. Slots are handed out per subsystem so that parallel work never
// takes the same line twice: a new text goes into its subsystem's reserved range.
#pragma once

namespace zov {

constexpr int kLanguageStringCount = 213;
// Texts this system needs beyond the 213 lines (a Wayland desktop's screen sharing, say) live
// in a file of their own per language, lang<name>-linux.txt, keyed by id from this number on,
// so that the 213-line files stay as every reader of them expects.
constexpr int kLinuxStringFirst = 1000;

enum StringId : int {
    S_APP_TITLE = 0,
    S_NO_FILE = 1, // window title text when no project is open
    // Top menus, in order: File, View, Edit Frames, Edit Element, Player, Recorder, Help.
    S_MENU_FILE = 2,
    S_MENU_VIEW = 3,
    S_MENU_EDIT_FRAMES = 4,
    S_MENU_EDIT_ELEMENT = 5,
    S_MENU_PLAYER = 6,
    S_MENU_RECORDER = 7,
    S_MENU_HELP = 8,
    S_NEW = 9,
    S_OPEN = 10,
    S_SAVE = 11,
    S_SAVE_AS = 12,
    S_PROPERTIES = 13,
    S_CLOSE = 14,
    S_EXPORT_ZOV = 15,
    S_EXPORT_AVI = 16,
    S_EXPORT_WMV = 17,
    S_EXPORT_BMP = 18,
    S_SAVE_OPTION = 19,
    S_FRAME_SELECT = 20,
    S_AREA_SELECT = 21,
    S_IMPORT = 22,
    S_IMPORT_BMP = 23,
    S_EXIT = 24,
    S_TOOLBAR = 25,
    S_STATUS_BAR = 26,
    S_TOOL_WINDOW = 27,
    S_FULL_SCREEN = 28,
    S_UNDO = 29,
    S_SELECT_ALL = 30,
    S_CUT = 31,
    S_COPY = 32,
    S_PASTE = 33,
    S_DELETE = 34,
    S_FRAME_LABEL = 35,      // status text "%s: %d"
    S_NO_FRAME = 36,         // status text of a project without frames
    S_EXIT_QUESTION = 37,    // yes/no before the program ends
    S_BEGIN_QUESTION_1 = 38, // recording into a project with frames: two lines of one question
    S_BEGIN_QUESTION_2 = 39,
    S_READY_TO_RECORD_SOUND = 40,
    S_GOTO = 41,
    S_SET_URL_LINK = 42,
    S_DRAW_LINE = 43,
    S_DRAW_CIRCLE = 44,
    S_DRAW_BOX = 45,
    S_DRAW_BOX2 = 46,
    S_DRAWING_TOOLS = 47,
    S_ADD_MARK = 48,
    S_ADD_TEXT = 49,
    S_ADD_SUBSCRIPT1 = 50,
    S_ADD_SUBSCRIPT2 = 51,
    S_ADD_IMAGE = 52,
    S_ELEMENTS_ONLY = 53,
    S_CANCEL_EDIT = 54,
    S_PLAY = 55,
    S_FAST_PLAY = 56,
    S_PLAY_PAUSE = 57,
    S_PLAY_STOP = 58,
    S_REC_BEGIN = 59,
    S_REC_PAUSE = 60,
    S_REC_RESUME = 61,
    S_REC_STOP = 62,
    S_HOW_TO = 63,
    S_ABOUT = 64,
    S_TRAY_LABEL = 65, // tray tip "%s %d"
    S_TRAY_BEGIN = 66, // tray menu captions
    S_TRAY_PAUSE = 67,
    S_TRAY_RESUME = 68,
    S_TRAY_STOP = 69,
    // Exports: 70-73, 79-81, 84, 86, 87, 89, 90, 99, 135, 136, 171-185.
    S_EXPORT_FOLDER_PROMPT = 70,
    S_EXPORT_TITLE = 71,
    S_EXPORT_BMP_DONE = 72,
    S_EXPORT_BMP_FAILED = 73,
    S_SAVE_AS_DONE = 74,
    S_SAVE_FAILED = 75,
    S_OPEN_TITLE = 76,
    S_CUT_NO_FRAMES = 77,
    S_NEW_TITLE = 78,
    S_EXPORT_BMP_REPORT1 = 79, // "%s, %d %s"
    S_EXPORT_BMP_REPORT2 = 80,
    S_EXPORT_BMP_REPORT_TITLE = 81,
    S_FILTER_PROJECT = 82,
    S_FILTER_BITMAP = 83,
    S_FILTER_ZOV = 84,
    S_FILTER_SOUND = 85,
    S_FILTER_WMV = 86,
    S_FILTER_AVI = 87,
    S_FILTER_MP3 = 88,
    S_EXPORTING = 89,
    S_FILTER_ALL = 90,
    S_PROGRESS_CANCEL = 91,
    S_STRIP_FONT_FACE = 92, // face of the strip's time texts
    S_PROGRESS_OPENING = 93,
    S_PROGRESS_SAVING = 94,
    S_PROGRESS_TITLE = 95,
    S_PASTE_FAILED = 96,
    S_DELETE_FAILED = 97,
    S_INSERT_SOUND = 98,
    S_EXPORT_AREA_PROMPT = 99,
    // Recording settings dialog, recorder control and capture: 100-134.
    S_RECORDING_FIRST = 100,
    // Hot keys, window finder and area selection: 120-134.
    S_REC_HOTKEY_HELD = 120,         // "%s (%s)": key name, its command (128-131)
    S_REC_HOTKEYS_UNAVAILABLE = 121, // no display for the hot keys
    S_REC_WAYLAND_NOTE = 122,        // once at start on a Wayland desktop without hot keys
    S_REC_AREA_GRAB_FAILED = 123,    // another program holds pointer or keyboard
    S_REC_FINDER_TIP = 124,          // tool tip of the finder icon
    S_REC_AREA_HINT = 125,           // title of the area-selection window
    S_REC_STOP_HINT = 126,           // "Press Ctrl+Shift+F12 to stop the recording."
    S_REC_HOTKEYS_TITLE = 127,       // title of the hot-key messages
    S_REC_HOTKEY_BEGIN = 128,        // what each hot key does, in key order
    S_REC_HOTKEY_PAUSE = 129,
    S_REC_HOTKEY_RESUME = 130,
    S_REC_HOTKEY_STOP = 131,
    S_REC_SHOW_MAIN = 132,    // "Show ZOV Recorder"
    S_REC_STATUS_TITLE = 133, // "Recorder status"
    S_REC_NO_SCREEN = 134,    // no screen to record from
    S_RECORDING_LAST = 134,
    // The "Recording Setting" dialog and the recorder control: 100-119.
    S_RS_TITLE = 100,
    S_RS_DELAY = 101,
    S_RS_AREA_GROUP = 102,
    S_RS_FINDER_HELP = 103,
    S_RS_SEL_AREA = 104,
    S_RS_POINTER = 105,
    S_RS_BIG_POINTER = 106,
    S_RS_HIDE_PARENT = 107,
    S_RS_SOUND = 108,
    S_RS_MP3 = 109,
    S_RS_OK = 110,
    S_RS_CANCEL = 111,
    S_RS_CUSTOM = 112,        // the area list's custom entry before anything is chosen
    S_RS_ASK_WINDOW = 113,    // the custom entry while the finder is over no window
    S_RS_AREA_PREFIX = 114,   // "%s (%d, %d) - (%d, %d)" after "Sel Area"
    S_RS_ASK_CHOICE = 115,    // OK with the custom entry and nothing chosen
    S_REC_STREAM_ENDED = 116, // Begin on a stream recording that has ended
    S_REC_PAUSED_NOTE = 117,  // after the frame count in the status window while paused
    S_REC_FAILED = 118,       // "%s" + reason: the recording ended early
    S_REC_NOT_STARTED = 119,  // "%s" + reason: the recording could not start
    S_EXPORT_DONE = 135,
    S_EXPORT_FAILED = 136,
    S_ABOUT_LINK = 137,
    S_ABOUT_TITLE = 138,
    S_ABOUT_LINE1 = 139,
    S_ABOUT_LINE2 = 140,
    S_ABOUT_OK = 141,
    S_PLAYER_TITLE = 142,
    S_PLAYER_PLAY = 143,
    S_PLAYER_FAST = 144,
    S_PLAYER_PAUSE = 145,
    S_PLAYER_STOP = 146,
    S_PLAYER_RETURN = 147,
    S_GOTO_GO = 148,
    S_GOTO_MINUTES = 149,
    S_GOTO_SECONDS = 150,
    S_NOT_A_PROJECT = 151,
    // Elements (pop-up menu, style tool window, subtitle dialog, default text): 152-165.
    S_ELEMENTS_FIRST = 152,
    S_DELETE_ELEMENT = 152, // the element pop-up menu, 152-156
    S_DELETE_ALL_ELEMENTS = 153,
    S_COPY_ELEMENTS = 154,
    S_PASTE_ELEMENTS = 155,
    S_SELECT_ALL_ELEMENTS = 156,
    S_STYLE_BUTTON = 157, // the style tool window, 157-161
    S_SET_FORE_COLOUR = 158,
    S_SET_BACK_COLOUR = 159,
    S_SET_BORDER_COLOUR = 160,
    S_ELEMENT_STYLE_TITLE = 161,
    S_ELEMENTS_LAST = 165,
    // Sound: 166-170, the names of the sound commands the menu leaves out (only "Ready to
    // Record Sound", 40, is offered).
    S_SOUND_FIRST = 166,
    S_IMPORT_SOUND_FILE = 166,
    S_CUT_SOUND = 167,
    S_COPY_SOUND = 168,
    S_PASTE_SOUND = 169,
    S_DELETE_SOUND = 170,
    S_SOUND_LAST = 170,
    S_EXPORT_BMP_EXISTS = 171,
    // Exports and imports, marks and images: 172-183.
    S_EXPORTS_FIRST = 172,
    S_EXPORT_REPLACE = 172, // "%s" is the file's path
    S_AVI_COMPRESSION_TITLE = 173,
    S_AVI_UNCOMPRESSED = 174,
    S_AVI_KEY_EVERY = 175,
    S_AVI_QUALITY = 176,
    S_AVI_DATA_RATE = 177,
    S_IMPORT_PROGRESS = 178, // the import's progress text before its first frame
    S_IMPORT_APPENDED = 179, // "appended frames" of the progress text "%s: %d"
    S_WMV_NO_ENCODER = 180,
    S_IMPORT_COMPRESSED = 182, // a compressed bitmap chosen for import
    S_IMPORT_FAILED = 183,
    S_EXPORTS_LAST = 183,
    S_FOLDER_OK = 184,
    S_FOLDER_CANCEL = 185,
    // Tool tips, one per toolbar button in toolbar order (separators have none).
    S_TIP_FIRST = 186,
    S_TIP_LAST = 212,

    // lang<name>-linux.txt: the recording settings on a Wayland desktop.
    S_LX_PORTAL_HELP = 1000,            // in place of the finder's help text
    S_LX_PORTAL_WINDOW_BUTTON = 1001,   // the button that asks for one window
    S_LX_PORTAL_WINDOW_TIP = 1002,      // its tool tip
    S_LX_PORTAL_WINDOW_CHOSEN = 1003,   // the custom entry once a window is asked for
    S_LX_PORTAL_SEL_AREA_FAILED = 1004, // "%s": why the screen could not be shared
    S_LX_HOTKEY_NOT_BOUND = 1005,       // "%s (%s)": a hot key the desktop left without a key
    S_LX_LAST = 1005,
};

} // namespace zov
