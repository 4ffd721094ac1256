// The editor window on the offscreen platform with a project made here: opening, the view's
// pixels, the end position, edits, the language switch, the player and playback.
#include "app/Application.h"
#include "base/Log.h"
#include "core/Ani.h"
#include "render/FrameSurfaces.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/QtTestEnv.h"
#include "tests/ui/UiTestProject.h"
#include "ui/FrameView.h"
#include "ui/MainWindow.h"
#include "ui/ThumbnailStrip.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <filesystem>
#include <thread>

using namespace zov;
using zovtest::FramePixel;
using zovtest::TempDir;

namespace {

class Editor : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folders.program = m_dir.Path() + "/";
        m_folders.data = m_dir.Path() + "/data/";
        m_folders.writable = m_dir.Path() + "/";
        m_folders.defaultProject = m_dir.Path() + "/release/";
        m_folders.registerFileType = false;
        std::filesystem::create_directories(m_folders.data + "language");
        for (const char* name : {"languagelst.txt", "langenglish.txt", "langchinese.txt", "langjapanese.txt"})
            std::filesystem::copy_file(std::string(ZOV_SOURCE_DIR) + "/data/language/" + name,
                                       m_folders.data + "language/" + name);
        m_app = std::make_unique<ZovApp>(m_doc, m_folders);
        ASSERT_TRUE(m_app->Startup());
        m_window = std::make_unique<CMainWindow>(*m_app);
        m_window->DialogHooks().askYesNo = [this](const QString& q) {
            m_questions << q;
            return m_answer;
        };
        m_window->DialogHooks().message = [this](const QString& text, bool) { m_messages << text; };
        m_window->resize(1000, 700 + m_window->menuBar()->sizeHint().height());
        m_window->show();
        ASSERT_TRUE(zovtest::WaitUntil([this] { return m_window->Client()->size() == QSize(1000, 700); }))
            << m_window->Client()->width() << "x" << m_window->Client()->height();
    }
    void TearDown() override {
        m_window.reset();
        m_app->Shutdown();
        SetLogPath("");
    }
    std::string Project(int w, int h, int frames, int delay) {
        std::string path = m_dir.File("film.scp");
        EXPECT_TRUE(zovtest::MakeProject(m_doc, path, w, h, frames, delay));
        return path;
    }
    // The view's pixel at (x, y) as the window paints it.
    QRgb ViewPixel(int x, int y) {
        QImage shot = m_window->View()->grab().toImage();
        return shot.pixel(x, y) | 0xFF000000u;
    }

    TempDir m_dir;
    AppFolders m_folders;
    CAni m_doc;
    std::unique_ptr<ZovApp> m_app;
    std::unique_ptr<CMainWindow> m_window;
    QStringList m_questions, m_messages;
    bool m_answer = false;
};

} // namespace

TEST_F(Editor, StartsWithoutAProject) {
    EXPECT_EQ(m_window->windowTitle(), "ZOV Recorder - [No File]");
    EXPECT_EQ(m_window->StatusText(), "No frame");
    EXPECT_EQ(m_window->View()->geometry(), QRect(0, 132, 985, 553)); // no status bar by default
    EXPECT_FALSE(m_window->ToolbarAction(TB_PLAY)->isEnabled());
    EXPECT_TRUE(m_window->ToolbarAction(TB_OPEN)->isEnabled());
    EXPECT_EQ(ViewPixel(10, 10), kEmptyViewColour);
    m_window->RunCommand(ID_SELECT_ALL); // an empty project: nothing selected
    EXPECT_EQ(m_window->Selection().selection.Length(), 0);
}

TEST_F(Editor, TheBarsToggleTheLayout) {
    m_window->RunCommand(ID_STATUS_BAR); // off by default: now on
    EXPECT_EQ(m_window->View()->geometry(), QRect(0, 132, 985, 533));
    EXPECT_EQ(m_window->StatusLabel()->geometry(), QRect(0, 680, 1000, 20));
    EXPECT_TRUE(m_window->Action(ID_STATUS_BAR)->isChecked());
    EXPECT_TRUE(m_window->StatusLabel()->isVisible());
    m_window->RunCommand(ID_TOOLBAR);
    EXPECT_EQ(m_window->Strip()->geometry(), QRect(0, 2, 1000, 90));
    EXPECT_EQ(m_window->View()->geometry(), QRect(0, 108, 985, 557));
    EXPECT_FALSE(m_window->Action(ID_TOOLBAR)->isChecked());
    EXPECT_FALSE(m_app->Config().Flag(Settings::kShowToolbar));
}

TEST_F(Editor, OpeningShowsFrameZeroOneToOneAndTheTitle) {
    const std::string path = Project(120, 90, 6, 250);
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    EXPECT_EQ(m_window->windowTitle(), QString::fromStdString("ZOV Recorder - " + path));
    EXPECT_EQ(m_window->StatusText(), "Frame: 1");
    for (auto [x, y] : {std::pair{0, 0}, {119, 0}, {0, 89}, {119, 89}, {57, 33}})
        EXPECT_EQ(ViewPixel(x, y), FramePixel(0, x, y)) << x << "," << y;
    EXPECT_EQ(ViewPixel(120, 10), kEmptyViewColour);
    EXPECT_TRUE(m_window->ToolbarAction(TB_PLAY)->isEnabled());
    EXPECT_TRUE(m_window->ToolbarAction(TB_CUT)->isEnabled());
    // The strip shows the frames scaled to 80 x 60.
    QImage strip = m_window->Strip()->grab().toImage();
    EXPECT_EQ(strip.pixel(7 + 87 * 2, 2) | 0xFF000000u, FramePixel(2, 0, 0));
    EXPECT_EQ(strip.pixel(5, 30) | 0xFF000000u, kStripAnchorColour);
}

TEST_F(Editor, AFailedOpenShowsWhyAndKeepsTheTitle) {
    zovtest::WriteText(m_dir.File("junk.scp"), "not a project at all, but long enough to be read as one");
    EXPECT_FALSE(m_window->OpenProjectPath(QString::fromStdString(m_dir.File("junk.scp"))));
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_FALSE(m_messages[0].isEmpty());
    EXPECT_EQ(m_window->windowTitle(), "ZOV Recorder - [No File]");
}

TEST_F(Editor, ClickingRightOfTheLastThumbnailIsTheEndOfTheFilm) {
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(Project(64, 48, 3, 250))));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(7 + 87 * 5, 30), QPointF(7 + 87 * 5, 30),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_window->Strip(), &press);
    EXPECT_EQ(m_window->Selection().selection.anchor, 3);
    EXPECT_EQ(ViewPixel(5, 5), kEndOfFilmColour);
    EXPECT_EQ(m_window->StatusText(), "Frame: 4");
    EXPECT_FALSE(m_window->ToolbarAction(TB_CUT)->isEnabled());
    EXPECT_TRUE(m_window->ToolbarAction(TB_PLAY)->isEnabled()); // plays from frame 0
}

TEST_F(Editor, ShiftClickExtendsAndDeleteSelectsTheFollowingFrame) {
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(Project(40, 30, 10, 250))));
    auto click = [this](int32_t frame, Qt::KeyboardModifiers mods) {
        QMouseEvent e(QEvent::MouseButtonPress, QPointF(7 + 87 * frame, 30), QPointF(7 + 87 * frame, 30),
                      Qt::LeftButton, Qt::LeftButton, mods);
        QCoreApplication::sendEvent(m_window->Strip(), &e);
    };
    click(7, Qt::NoModifier);
    click(3, Qt::ShiftModifier);
    EXPECT_EQ(m_window->Selection().selection.extent, -4);
    click(5, Qt::ControlModifier); // Ctrl: nothing
    EXPECT_EQ(m_window->Selection().selection.anchor, 7);
    m_window->RunCommand(ID_PASTE); // no mark, five frames: nothing
    EXPECT_EQ(m_doc.FrameCount(), 10);
    click(2, Qt::NoModifier);
    click(3, Qt::ShiftModifier); // frames 2..3
    m_window->RunCommand(ID_DELETE);
    ASSERT_EQ(m_doc.FrameCount(), 8);
    EXPECT_EQ(m_window->Selection().selection.anchor, 2);
    EXPECT_EQ(m_window->Selection().selection.Length(), 1);
    EXPECT_EQ(ViewPixel(3, 3), FramePixel(4, 3, 3)); // the frame that took frame 2's place
    m_window->RunCommand(ID_UNDO);
    EXPECT_EQ(m_doc.FrameCount(), 10);
    EXPECT_EQ(ViewPixel(3, 3), FramePixel(2, 3, 3));
}

TEST_F(Editor, CutAndPasteMovesFramesAndCopyPasteAppendsAtTheEnd) {
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(Project(40, 30, 5, 250))));
    m_window->SelectAndShowFrame(1);
    m_window->RunCommand(ID_CUT); // frame 1 marked
    m_window->SelectAndShowFrame(4);
    m_window->RunCommand(ID_PASTE);
    ASSERT_EQ(m_doc.FrameCount(), 5);
    // Order now 0, 2, 3, 1, 4 and the moved frame is selected.
    EXPECT_EQ(m_window->Selection().selection.anchor, 3);
    EXPECT_EQ(ViewPixel(0, 0), FramePixel(1, 0, 0));
    m_window->SelectAndShowFrame(0);
    m_window->RunCommand(ID_COPY);
    m_window->SelectAndShowFrame(5); // the end position
    m_window->RunCommand(ID_PASTE);
    ASSERT_EQ(m_doc.FrameCount(), 6);
    m_window->SelectAndShowFrame(5);
    EXPECT_EQ(ViewPixel(0, 0), FramePixel(0, 0, 0));
}

TEST_F(Editor, CutOnAProjectWithoutFramesSaysSo) {
    std::string path = m_dir.File("empty.scp");
    ASSERT_TRUE(m_doc.NewProject(path, false));
    ASSERT_TRUE(m_doc.WriteIndex());
    m_doc.Close();
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    m_window->RunCommand(ID_CUT);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages[0], "The project has no frames to cut.");
}

TEST_F(Editor, SwitchingToJapaneseRelabelsEverything) {
    const std::string path = Project(40, 30, 2, 250);
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    m_window->RunCommand(ID_LANG_JAPANESE);
    EXPECT_EQ(m_window->TopMenu(0)->title(), "ファイル(&F)");
    EXPECT_EQ(m_window->Action(ID_NEW)->text(), "新規作成(&N)...");
    EXPECT_EQ(m_window->ToolbarAction(TB_PLAY)->toolTip(), "再生");
    EXPECT_EQ(m_window->windowTitle(), QString::fromStdString("ZOV レコーダー - [" + path + "]"));
    EXPECT_TRUE(m_window->Action(ID_LANG_JAPANESE)->isChecked());
    EXPECT_FALSE(m_window->Action(ID_LANG_ENGLISH)->isChecked());
    EXPECT_EQ(m_app->Config().LanguageName(), "japanese");
    EXPECT_EQ(m_app->Config().LanguageIndex(), 2);
    m_window->RunCommand(ID_CLOSE);
    EXPECT_EQ(m_window->windowTitle(), "ZOV レコーダー - [ファイルなし]");
}

TEST_F(Editor, AMissingJapaneseFileGivesEnglishWithJapaneseChecked) {
    std::filesystem::remove(m_folders.data + "language/langjapanese.txt");
    m_window->RunCommand(ID_LANG_JAPANESE);
    EXPECT_EQ(m_window->TopMenu(0)->title(), "&File");
    EXPECT_TRUE(m_window->Action(ID_LANG_JAPANESE)->isChecked());
    EXPECT_EQ(m_app->Config().LanguageIndex(), 2);
}

TEST_F(Editor, FitStretchesTheFrameOverTheView) {
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(Project(40, 30, 1, 250))));
    m_window->SetFitToWindow(true);
    const QSize view = m_window->View()->size();
    EXPECT_EQ(ViewPixel(view.width() - 1, view.height() - 1), FramePixel(0, 39, 29));
    EXPECT_EQ(ViewPixel(0, 0), FramePixel(0, 0, 0));
    EXPECT_NE(ViewPixel(view.width() / 2, view.height() / 2), kEmptyViewColour);
    EXPECT_FALSE(m_window->Layout().viewHScroll.isEmpty());
}

TEST_F(Editor, ExitAsksAndNoKeepsTheWindow) {
    m_answer = false;
    m_window->RunCommand(ID_EXIT);
    EXPECT_EQ(m_questions.size(), 1);
    EXPECT_EQ(m_questions[0], "Do you want to exit ZOV Recorder?");
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_FALSE(m_window->close()); // the close box asks the same question
    EXPECT_EQ(m_questions.size(), 2);
}

TEST_F(Editor, EscapeIsSwallowed) {
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(m_window.get(), &esc);
    EXPECT_TRUE(esc.isAccepted());
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_TRUE(m_questions.isEmpty());
}

TEST_F(Editor, CtrlShiftClickCyclesTheWindowSize) {
    EXPECT_EQ(NextCycleSize(QSize(500, 300)), QSize(400, 300));
    EXPECT_EQ(NextCycleSize(QSize(400, 300)), QSize(460, 360));
    EXPECT_EQ(NextCycleSize(QSize(460, 360)), QSize(640, 480));
    EXPECT_EQ(NextCycleSize(QSize(640, 480)), QSize(800, 600));
    EXPECT_EQ(NextCycleSize(QSize(800, 600)), QSize(400, 300));
    m_window->resize(500, 300);
    ASSERT_TRUE(zovtest::WaitUntil([this] { return m_window->size() == QSize(500, 300); }));
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::LeftButton,
                  Qt::ControlModifier | Qt::ShiftModifier);
    QCoreApplication::sendEvent(m_window->View(), &e);
    EXPECT_TRUE(zovtest::WaitUntil([this] { return m_window->frameGeometry().size() == QSize(400, 300); }));
}

TEST_F(Editor, PlayRunsToTheEndAndSelectsTheLastFrame) {
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(Project(32, 24, 4, 250))));
    m_window->SelectAndShowFrame(2);
    m_window->RunCommand(ID_FAST_PLAY);
    EXPECT_EQ(m_window->PlayerState(), PLAYER_PLAYING);
    EXPECT_FALSE(m_window->ToolbarAction(TB_PLAY_FAST)->isEnabled());
    EXPECT_TRUE(m_window->ToolbarAction(TB_PLAY_STOP)->isEnabled());
    EXPECT_FALSE(m_window->ToolbarAction(TB_CUT)->isEnabled());
    ASSERT_TRUE(zovtest::WaitUntil([this] { return m_window->PlayerState() == PLAYER_IDLE; }));
    EXPECT_EQ(m_window->Selection().selection.anchor, 3);
    EXPECT_EQ(ViewPixel(1, 1), FramePixel(3, 1, 1));
    // From the end position, Play starts at frame 0.
    m_window->SelectAndShowFrame(4);
    m_window->RunCommand(ID_FAST_PLAY);
    EXPECT_EQ(m_window->Playback().PlayStart(), 0);
    m_window->RunCommand(ID_PLAY_PAUSE);
    EXPECT_EQ(m_window->PlayerState(), PLAYER_PAUSED);
    m_window->RunCommand(ID_PLAY_STOP);
    EXPECT_EQ(m_window->PlayerState(), PLAYER_IDLE);
    EXPECT_EQ(m_window->Selection().selection.anchor, m_window->PlayingFrame());
}

TEST_F(Editor, DocumentEventsFromAnotherThreadRedrawTheWindow) {
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(Project(40, 30, 14, 250))));
    m_window->SelectAndShowFrame(13);
    EXPECT_GT(m_window->Selection().firstVisible, 0);
    // Elements drawn by the document's painter appear when the list reports a change.
    m_doc.SetElementPainter([](const ElementPaintJob& job) {
        uint8_t* image = job.image;
        const int32_t w = job.width, h = job.height;
        uint8_t* topLeft = image + static_cast<size_t>(h - 1) * Image24::RowBytes(w);
        topLeft[0] = 0x11;
        topLeft[1] = 0x22;
        topLeft[2] = 0x33;
    });
    std::thread([this] { m_doc.Broadcast().OnElementListChanged(); }).join();
    EXPECT_TRUE(zovtest::WaitUntil([this] { return ViewPixel(0, 0) == qRgb(0x33, 0x22, 0x11); }));
    EXPECT_EQ(ViewPixel(1, 0), FramePixel(13, 1, 0));
    // A finished recording shows frame 0 and the strip from frame 0.
    std::thread([this] { m_doc.Broadcast().OnRecordFinish(); }).join();
    EXPECT_TRUE(zovtest::WaitUntil([this] { return m_window->Selection().selection.anchor == 0; }));
    EXPECT_EQ(m_window->Selection().firstVisible, 0);
    EXPECT_EQ(ViewPixel(2, 2), FramePixel(0, 2, 2));
    // A close reported by the document empties the window.
    m_doc.Close();
    EXPECT_TRUE(zovtest::WaitUntil([this] { return ViewPixel(2, 2) == kEmptyViewColour; }));
    EXPECT_EQ(m_window->StatusLabel()->text(), "No frame");
    EXPECT_EQ(m_window->Selection().selection.Length(), 0);
}

TEST_F(Editor, SaveAsGoesOnWithTheCopyAndConfirms) {
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(Project(40, 30, 3, 250))));
    const std::string copy = m_dir.File("copy.scp");
    m_window->DialogHooks().savePath = [&copy](const QString&, const QString&, const QStringList&, int*) {
        return QString::fromStdString(copy);
    };
    m_window->RunCommand(ID_SAVE_AS);
    EXPECT_EQ(m_window->windowTitle(), QString::fromStdString("ZOV Recorder - " + copy));
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages[0], "The project has been saved.");
    EXPECT_EQ(m_doc.DocumentPath(), copy);
    EXPECT_TRUE(std::filesystem::exists(copy));
    // A dialog closed without a name changes nothing.
    m_window->DialogHooks().savePath = [](const QString&, const QString&, const QStringList&, int*) {
        return QString();
    };
    m_window->RunCommand(ID_SAVE_AS);
    EXPECT_EQ(m_messages.size(), 1);
}

TEST_F(Editor, GotoSelectsTheFrameAndScrollsTheStripToIt) {
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(Project(40, 30, 30, 250))));
    m_window->SelectAndShowFrame(3);
    int offered = -1;
    m_window->DialogHooks().gotoFrame = [&offered](int* frame) {
        offered = *frame;
        *frame = 27;
        return true;
    };
    m_window->RunCommand(ID_GOTO);
    EXPECT_EQ(offered, 3); // starts at the selection's start
    EXPECT_EQ(m_window->Selection().selection.anchor, 27);
    EXPECT_EQ(m_window->Selection().selection.Length(), 1);
    EXPECT_LE(m_window->Selection().firstVisible, 27);
    EXPECT_GT(m_window->Selection().firstVisible + m_window->Strip()->Slots(), 27);
    EXPECT_EQ(ViewPixel(4, 4), FramePixel(27, 4, 4));
    EXPECT_EQ(m_window->StatusText(), "Frame: 28");
    m_window->DialogHooks().gotoFrame = [](int* frame) {
        *frame = 1;
        return false; // cancelled
    };
    m_window->RunCommand(ID_GOTO);
    EXPECT_EQ(m_window->Selection().selection.anchor, 27);
}

TEST_F(Editor, StripNavigationButtonsAndScrollRange) {
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(Project(40, 30, 30, 250))));
    auto button = [this](const char* text) {
        for (QPushButton* b : m_window->Client()->findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return static_cast<QPushButton*>(nullptr);
    };
    ASSERT_NE(button(">>"), nullptr);
    EXPECT_EQ(m_window->Strip()->Slots(), 11);
    EXPECT_EQ(m_window->StripScrollBar()->maximum(), 20); // count - slots + 1
    button("<")->click();                                 // already at 0: nothing
    EXPECT_EQ(m_window->Selection().firstVisible, 0);
    button(">>")->click();
    EXPECT_EQ(m_window->Selection().firstVisible, 20);
    button(">")->click(); // the last frame is visible: nothing
    EXPECT_EQ(m_window->Selection().firstVisible, 20);
    button("<")->click();
    EXPECT_EQ(m_window->Selection().firstVisible, 19);
    button("<<")->click();
    EXPECT_EQ(m_window->Selection().firstVisible, 0);
    button(">")->click();
    EXPECT_EQ(m_window->Selection().firstVisible, 1);
    m_window->StripScrollBar()->setValue(7); // dragging the bar sets the first visible frame
    EXPECT_EQ(m_window->Selection().firstVisible, 7);
    QImage strip = m_window->Strip()->grab().toImage();
    EXPECT_EQ(strip.pixel(7, 2) | 0xFF000000u, FramePixel(7, 0, 0));
}

TEST_F(Editor, PlayDuringFastPlayChangesTheSpeedWithoutRestarting) {
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(Project(32, 24, 40, 250))));
    m_window->RunCommand(ID_FAST_PLAY);
    EXPECT_EQ(m_doc.Speed(), 30);
    ASSERT_TRUE(zovtest::WaitUntil([this] { return m_window->PlayingFrame() >= 2; }));
    m_window->RunCommand(ID_PLAY);
    EXPECT_EQ(m_doc.Speed(), 10);
    EXPECT_EQ(m_window->PlayerState(), PLAYER_PLAYING);
    EXPECT_TRUE(m_window->ToolbarAction(TB_PLAY)->isChecked());
    EXPECT_FALSE(m_window->ToolbarAction(TB_PLAY_FAST)->isChecked());
    const int reached = m_window->PlayingFrame();
    // The same run goes on: the next frame reported follows the one reached (a restart would
    // report the selected frame 0 first).
    ASSERT_TRUE(zovtest::WaitUntil([this, reached] { return m_window->PlayingFrame() != reached; }));
    EXPECT_GT(m_window->PlayingFrame(), reached);
    m_window->RunCommand(ID_PLAY_STOP);
    EXPECT_EQ(m_window->PlayerState(), PLAYER_IDLE);
    EXPECT_FALSE(m_window->Playback().Running());
}
