// The recorder in the editor on the offscreen platform: the Recording Setting dialog's
// opening rules, reactions and checks, and the recorder control over a fake screen (the
// insert order, early ends and failed starts, a stream recording, the status window and
// its menu holding the capture).
#include "app/Application.h"
#include "base/Log.h"
#include "base/StringIds.h"
#include "codec/StreamReader.h"
#include "core/Ani.h"
#include "platform/FakeScreen.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/QtTestEnv.h"
#include "tests/ui/UiTestProject.h"
#include "ui/CommandTable.h"
#include "ui/MainWindow.h"
#include "ui/RecordSettingsDialog.h"
#include "ui/RecorderCommands.h"
#include "ui/RecorderControl.h"
#include "ui/RecorderTray.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>

using namespace zov;
using zovtest::TempDir;

namespace {

// Hands the control a screen the test keeps: the control owns what it is given.
class ScreenRef : public IScreenSource {
  public:
    explicit ScreenRef(FakeScreen& s) : m_s(s) {}
    int ScreenWidth() const override { return m_s.ScreenWidth(); }
    int ScreenHeight() const override { return m_s.ScreenHeight(); }
    int BitsPerPixel() const override { return m_s.BitsPerPixel(); }
    int Depth() const override { return m_s.Depth(); }
    WindowState WindowRect(uint64_t w, ScreenRect& out) override { return m_s.WindowRect(w, out); }
    bool Prepare(int w, int h) override { return m_s.Prepare(w, h); }
    bool Grab(int x, int y, ScreenPixels& out) override { return m_s.Grab(x, y, out); }
    void Release() override { m_s.Release(); }
    bool ReadPointer(PointerState& out) override { return m_s.ReadPointer(out); }

  private:
    FakeScreen& m_s;
};

// A shared screen whose sharing the desktop can stop: grabs fail from then on, as the
// desktop's wish rather than a fault.
class SharedScreen : public ScreenRef {
  public:
    SharedScreen(FakeScreen& s, std::atomic<bool>& stopped) : ScreenRef(s), m_stopped(stopped) {}
    bool Grab(int x, int y, ScreenPixels& out) override { return !m_stopped && ScreenRef::Grab(x, y, out); }
    bool EndedByUser() const override { return m_stopped; }

  private:
    std::atomic<bool>& m_stopped;
};

class Recording : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folders.program = m_dir.Path() + "/";
        m_folders.data = std::string(ZOV_SOURCE_DIR) + "/data/";
        m_folders.writable = m_dir.Path() + "/";
        m_folders.defaultProject = m_dir.Path() + "/release/";
        m_folders.registerFileType = false;
        m_app = std::make_unique<ZovApp>(m_doc, m_folders);
        ASSERT_TRUE(m_app->Startup());
        m_window = std::make_unique<CMainWindow>(*m_app);
        m_window->DialogHooks().message = [this](const QString& text, bool) { m_messages << text; };
        m_window->resize(900, 600);
        m_window->show();
        m_control = Recorder(*m_window);
        ASSERT_NE(m_control, nullptr);
        RecorderControl::Hooks& h = m_control->GetHooks();
        h.settleMs = 0;
        h.openScreen = [this](std::string& error) -> std::unique_ptr<IScreenSource> {
            if (!m_haveScreen) {
                error = "no screen here";
                return nullptr;
            }
            return std::make_unique<ScreenRef>(m_screen);
        };
        h.askBegin = [this](const QString& q) {
            m_questions << q;
            return m_answer;
        };
        h.message = [this](const QString& text) { m_messages << text; };
        m_screen.Fill(0x102030);
    }
    void TearDown() override {
        m_window.reset();
        m_app->Shutdown();
        SetLogPath("");
    }
    std::string LogText() { return zovtest::ReadText(m_dir.File("ZOV Recorder.log")); }
    // Records until the project holds `total` frames, then stops.
    void RecordUntil(int total) {
        ASSERT_TRUE(zovtest::WaitUntil([&] { return m_doc.FrameCount() >= total; }));
        m_control->Stop();
    }

    TempDir m_dir;
    AppFolders m_folders;
    CAni m_doc;
    std::unique_ptr<ZovApp> m_app;
    std::unique_ptr<CMainWindow> m_window;
    RecorderControl* m_control = nullptr;
    FakeScreen m_screen{800, 600};
    bool m_haveScreen = true;
    BeginAnswer m_answer = BeginAnswer::Insert;
    QStringList m_messages, m_questions;
};

template <class T> T* Find(RecordSettingsDialog& d, int id) {
    return qobject_cast<T*>(d.Control(id));
}

} // namespace

TEST_F(Recording, DialogOpensOnTheDelayAndSizeOfTheProject) {
    struct Case {
        int delay;
        CaptureRect rect;
        QString delayText, areaText;
    } cases[] = {
        {750, {0, 0, 800, 600}, "  250", " 800 * 600"},
        {5000, {0, 0, 801, 600}, " 5000", "Custom"},
        {1000, {0, 0, 640, 480}, " 1000", " 640 * 480"},
        {250, {10, 10, 1034, 778}, "  250", "1024 * 768"},
    };
    for (const Case& c : cases) {
        std::string path = m_dir.File("empty.scp");
        ASSERT_TRUE(m_doc.NewProject(path, false));
        m_doc.SetFrameDelay(c.delay);
        ASSERT_TRUE(m_doc.SetCaptureRect(c.rect));
        RecordSettingsDialog d(*m_app, m_window.get(), false);
        EXPECT_EQ(Find<QComboBox>(d, IDC_RS_DELAY)->currentText(), c.delayText) << c.delay;
        EXPECT_EQ(Find<QComboBox>(d, IDC_RS_AREA)->currentText(), c.areaText) << c.rect.right;
        EXPECT_FALSE(d.ReadOnly());
        for (int id : {IDC_RS_OK, IDC_RS_SEL_AREA, IDC_RS_DELAY, IDC_RS_AREA, IDC_RS_HIDE_PARENT})
            EXPECT_TRUE(d.Control(id)->isEnabled()) << id;
        m_doc.Close();
    }
}

TEST_F(Recording, DialogReactionsAndOkWritesSettingsAndDocument) {
    std::string path = m_dir.File("p.scp");
    ASSERT_TRUE(m_doc.NewProject(path, false));
    m_app->Config().SetU32(Settings::kMp3BitRate, 24);
    m_app->Config().SetFlag(Settings::kRecordSound, false);
    m_doc.SetKeyFrameInterval(4);
    RecordSettingsDialog d(*m_app, m_window.get(), false);
    QStringList boxes;
    d.SetMessageHook([&](const QString& t) { boxes << t; });
    auto* pointer = Find<QCheckBox>(d, IDC_RS_POINTER);
    auto* big = Find<QCheckBox>(d, IDC_RS_BIG_POINTER);
    auto* sound = Find<QCheckBox>(d, IDC_RS_SOUND);
    auto* mp3 = Find<QComboBox>(d, IDC_RS_MP3);
    EXPECT_EQ(mp3->currentText(), "24");
    EXPECT_FALSE(mp3->isEnabled());
    sound->click();
    EXPECT_TRUE(mp3->isEnabled());
    pointer->setChecked(true);
    big->setEnabled(true);
    pointer->click();
    EXPECT_FALSE(big->isEnabled());
    pointer->click();
    EXPECT_TRUE(big->isEnabled());

    // A typed delay outside 250..5000 is ignored and the dialog stays.
    auto* delay = Find<QComboBox>(d, IDC_RS_DELAY);
    d.show();
    delay->setEditText("100");
    Find<QComboBox>(d, IDC_RS_AREA)->setCurrentIndex(0);
    d.OnOk();
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(boxes.isEmpty());
    // The custom entry with nothing chosen asks for a choice.
    delay->setEditText("3000");
    d.OnOk();
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].toStdString(), m_app->Text(S_RS_ASK_CHOICE));

    // The finder: over a window its title, over none the request.
    d.FinderEntered(0x400007, "xterm", QIcon());
    EXPECT_EQ(Find<QComboBox>(d, IDC_RS_AREA)->itemText(0), "xterm");
    d.FinderLeft();
    EXPECT_EQ(Find<QComboBox>(d, IDC_RS_AREA)->itemText(0).toStdString(), m_app->Text(S_RS_ASK_WINDOW));
    EXPECT_EQ(d.Mode(), AREA_NONE);
    d.FinderEntered(0x400007, "xterm", QIcon());
    d.FinderReleased();
    // A preset then wins over the window.
    m_doc.SetRecordWindow(0x999, true);
    Find<QComboBox>(d, IDC_RS_AREA)->setCurrentIndex(1);
    d.OnOk();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_FALSE(m_doc.RecordWindowFlag());
    const CaptureRect r = m_doc.GetCaptureRect();
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 480);
    EXPECT_EQ(m_doc.FrameDelay(), 3000);
    EXPECT_EQ(m_doc.KeyFrameInterval(), 10);
    EXPECT_EQ(m_app->Config().FrameDelay(), 3000);
    EXPECT_TRUE(m_app->Config().Flag(Settings::kRecordSound));
    EXPECT_TRUE(m_app->Config().Flag(Settings::kRecordPointer));
    EXPECT_EQ(m_app->Config().U32(Settings::kMp3BitRate), 24u);
    EXPECT_TRUE(m_window->isVisible());
}

TEST_F(Recording, SelAreaKeepsTheDialogRunningAndNormalisesTheRectangle) {
    std::string path = m_dir.File("p.scp");
    ASSERT_TRUE(m_doc.NewProject(path, false));
    RecordSettingsDialog d(*m_app, m_window.get(), false);
    bool mainHiddenDuringSelection = false;
    d.SetAreaSelector([&](QWidget* dialog) -> std::optional<QRect> {
        mainHiddenDuringSelection = !m_window->isVisible() && !dialog->isVisible();
        return QRect(100, 50, 320, 240);
    });
    bool wasRunningAfter = false;
    QTimer::singleShot(0, &d, [&] {
        d.OnSelArea();
        wasRunningAfter = d.isVisible();
        d.OnOk();
    });
    EXPECT_TRUE(d.Run());
    EXPECT_TRUE(mainHiddenDuringSelection);
    EXPECT_TRUE(wasRunningAfter);
    EXPECT_EQ(d.Mode(), AREA_RECT);
    EXPECT_EQ(Find<QComboBox>(d, IDC_RS_AREA)->itemText(0), "Area (100, 50) - (420, 290)");
    const CaptureRect r = m_doc.GetCaptureRect();
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right, 420);
    EXPECT_EQ(r.bottom, 290);
    EXPECT_TRUE(m_window->isVisible());
}

// Sets environment variables for a test's span and puts back what was there.
class EnvFor {
  public:
    EnvFor(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name);
            m_old.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            setenv(name, value, 1);
        }
    }
    ~EnvFor() {
        for (const auto& [name, old] : m_old)
            old ? (void)setenv(name.c_str(), old->c_str(), 1) : (void)unsetenv(name.c_str());
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_old;
};

// On a Wayland desktop the finder's place holds "Window...": the desktop's picker chooses the
// window when recording begins. "Sel Area" needs the desktop's screen; with no session bus it
// says why in a sentence and the dialog goes on as it was.
TEST_F(Recording, OnWaylandTheDesktopChoosesAndSelAreaSaysWhyItCannotShare) {
    EnvFor env{{"WAYLAND_DISPLAY", "zov-test-none"},
               {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"}};
    std::string path = m_dir.File("p.scp");
    ASSERT_TRUE(m_doc.NewProject(path, false));
    RecordSettingsDialog d(*m_app, m_window.get(), false);
    auto* button = Find<QPushButton>(d, IDC_RS_FINDER);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Window...");
    EXPECT_EQ(Find<QLabel>(d, IDC_RS_FINDER_HELP)->text().toStdString(), m_app->Text(S_LX_PORTAL_HELP));
    QStringList dialogMessages;
    d.SetMessageHook([&](const QString& text) { dialogMessages << text; });
    bool visibleAfter = false;
    QTimer::singleShot(0, &d, [&] {
        d.OnSelArea();
        visibleAfter = d.isVisible();
        button->click();
        d.OnOk();
    });
    EXPECT_TRUE(d.Run());
    EXPECT_TRUE(visibleAfter);
    ASSERT_EQ(dialogMessages.size(), 1);
    EXPECT_TRUE(dialogMessages[0].startsWith("The screen could not be shared for the area selection: "))
        << dialogMessages[0].toStdString();
    EXPECT_FALSE(dialogMessages[0].contains("%s"));
    EXPECT_EQ(Find<QComboBox>(d, IDC_RS_AREA)->itemText(0), "A window chosen in the desktop");
    EXPECT_TRUE(m_doc.RecordWindowFlag());
    EXPECT_EQ(m_doc.RecordWindow(), 0u);
    EXPECT_TRUE(m_window->isVisible());
}

TEST_F(Recording, HideParentHidesTheMainWindowWhileTheDialogStays) {
    std::string path = m_dir.File("p.zov");
    ASSERT_TRUE(m_doc.NewProject(path, true));
    RecordSettingsDialog d(*m_app, m_window.get(), /*newStream=*/true);
    auto* hide = Find<QCheckBox>(d, IDC_RS_HIDE_PARENT);
    EXPECT_TRUE(hide->isChecked()); // a new stream starts with it on
    // A stream has no project header: delay and pointer come from the settings.
    EXPECT_EQ(Find<QComboBox>(d, IDC_RS_DELAY)->currentText(), "  500");
    EXPECT_TRUE(Find<QCheckBox>(d, IDC_RS_POINTER)->isChecked());
    EXPECT_FALSE(m_window->isVisible());
    bool visibleWhileHidden = false, mainBack = false;
    QTimer::singleShot(0, &d, [&] {
        visibleWhileHidden = d.isVisible();
        hide->click();
        mainBack = m_window->isVisible() && d.isVisible();
        hide->click();
        d.OnCancel();
    });
    EXPECT_FALSE(d.Run());
    EXPECT_TRUE(visibleWhileHidden);
    EXPECT_TRUE(mainBack);
    EXPECT_TRUE(m_window->isVisible()); // Cancel shows it
}

TEST_F(Recording, OnceTheProjectHasFramesOnlyCancelWorks) {
    const std::string path = m_dir.File("five.scp");
    ASSERT_TRUE(zovtest::MakeProject(m_doc, path, 64, 48, 5, 500));
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    RecordSettingsDialog d(*m_app, m_window.get(), false);
    EXPECT_TRUE(d.ReadOnly());
    for (int id : {IDC_RS_MP3, IDC_RS_AREA, IDC_RS_DELAY, IDC_RS_POINTER, IDC_RS_BIG_POINTER,
                   IDC_RS_HIDE_PARENT, IDC_RS_SOUND, IDC_RS_OK, IDC_RS_SEL_AREA, IDC_RS_FINDER_HELP,
                   IDC_RS_DELAY_LABEL, IDC_RS_MP3_LABEL, IDC_RS_AREA_GROUP})
        EXPECT_FALSE(d.Control(id)->isEnabled()) << id;
    EXPECT_TRUE(d.Control(IDC_RS_CANCEL)->isEnabled());
    const int32_t delay = m_doc.FrameDelay();
    d.show();
    Find<QComboBox>(d, IDC_RS_DELAY)->setEditText("2000");
    d.OnOk();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(m_doc.FrameDelay(), delay);
    d.FinderEntered(0x5, "x", QIcon());
    EXPECT_EQ(d.Mode(), AREA_NONE);
    QTimer::singleShot(0, &d, [&] { qobject_cast<QPushButton*>(d.Control(IDC_RS_CANCEL))->click(); });
    EXPECT_FALSE(d.Run());
}

TEST_F(Recording, InsertPutsTheNewFramesBeforeTheSelectedFrame) {
    const std::string path = m_dir.File("five.scp");
    ASSERT_TRUE(zovtest::MakeProject(m_doc, path, 64, 48, 5, 250));
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    ASSERT_TRUE(m_doc.SetCaptureRect({10, 10, 74, 58}));
    m_doc.SetRecordPointer(false);
    m_window->SelectAndShowFrame(2);
    m_screen.Fill(0xC08040);
    m_answer = BeginAnswer::Insert;
    m_control->Begin();
    EXPECT_EQ(m_questions.size(), 1);
    EXPECT_EQ(m_control->RecorderState(), REC_RECORDING);
    EXPECT_FALSE(m_window->isVisible());
    // A second Begin is refused; Resume while recording does nothing.
    m_control->Begin();
    EXPECT_EQ(m_questions.size(), 1);
    m_control->Resume();
    EXPECT_EQ(m_control->RecorderState(), REC_RECORDING);
    RecordUntil(8);
    ASSERT_EQ(m_doc.FrameCount(), 8);
    EXPECT_EQ(m_control->RecorderState(), REC_IDLE);
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_EQ(m_window->Selection().selection.anchor, 0);
    // Frames 0, 1, new, new, new, 2, 3, 4, told apart by their pixels.
    const int expected[] = {0, 1, -1, -1, -1, 2, 3, 4};
    for (int i = 0; i < 8; ++i) {
        Image24 img;
        ASSERT_TRUE(m_doc.LoadFrame(i, img)) << i;
        const uint8_t* p = img.PixelTopDown(3, 5);
        const QRgb c = expected[i] < 0 ? 0xC08040 : zovtest::FramePixel(expected[i], 3, 5);
        EXPECT_EQ(p[2], qRed(c)) << "frame " << i;
        EXPECT_EQ(p[1], qGreen(c)) << "frame " << i;
        EXPECT_EQ(p[0], qBlue(c)) << "frame " << i;
    }
    // Stop's steps in the log, in order; a Stop when idle is refused.
    m_control->Stop();
    const std::string log = LogText();
    const size_t a = log.find("***** Error status!"), b = log.find("RecordSoundEnd"),
                 c = log.find("CaptureScreenEnd"), d = log.find("ResizeControl"),
                 e = log.find("MakeSureVisible"), f = log.find("***** Status Error");
    ASSERT_NE(a, std::string::npos);
    ASSERT_NE(f, std::string::npos);
    EXPECT_TRUE(a < b && b < c && c < d && d < e && e < f) << log;
}

TEST_F(Recording, ReplaceClearsTheFramesAndCancelRecordsNothing) {
    const std::string path = m_dir.File("five.scp");
    ASSERT_TRUE(zovtest::MakeProject(m_doc, path, 64, 48, 5, 250));
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    ASSERT_TRUE(m_doc.SetCaptureRect({0, 0, 64, 48}));
    m_answer = BeginAnswer::Cancel;
    m_control->Begin();
    EXPECT_EQ(m_control->RecorderState(), REC_IDLE);
    EXPECT_EQ(m_doc.FrameCount(), 5);
    m_answer = BeginAnswer::Replace;
    m_control->Begin();
    EXPECT_EQ(m_doc.FrameCount(), 0);
    RecordUntil(2);
    EXPECT_EQ(m_control->RecorderState(), REC_IDLE);
}

TEST_F(Recording, AnEarlyEndStopsShowsTheWindowAndKeepsTheFrames) {
    std::string path = m_dir.File("win.scp");
    ASSERT_TRUE(m_doc.NewProject(path, false));
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    m_screen.SetWindow(77, {50, 60, 150, 140});
    m_doc.SetRecordWindow(77, true);
    m_control->Begin();
    ASSERT_TRUE(zovtest::WaitUntil([&] { return m_doc.FrameCount() >= 3; }));
    m_screen.RemoveWindow(77); // the recorded window closes
    ASSERT_TRUE(zovtest::WaitUntil([&] { return m_control->RecorderState() == REC_IDLE; }));
    EXPECT_TRUE(m_window->isVisible());
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains("the recorded window was closed")) << m_messages[0].toStdString();
    const int kept = m_doc.FrameCount();
    EXPECT_GE(kept, 3);
    // The index was written: the file holds the frames when opened again.
    {
        CAni again;
        std::string p = path;
        ASSERT_TRUE(again.OpenProject(p));
        EXPECT_EQ(again.FrameCount(), kept);
    }
    // Begin works again, on a window that is gone before it starts: refused with a box.
    m_answer = BeginAnswer::Insert;
    m_control->Begin();
    ASSERT_TRUE(zovtest::WaitUntil([&] { return m_control->RecorderState() == REC_IDLE; }));
    ASSERT_EQ(m_messages.size(), 2);
    EXPECT_TRUE(m_messages[1].contains("cannot be found")) << m_messages[1].toStdString();
    EXPECT_EQ(m_doc.FrameCount(), kept);
    EXPECT_TRUE(m_window->isVisible());
    // And once more on a rectangle: it records.
    m_doc.SetRecordWindow(0, false);
    ASSERT_TRUE(m_doc.SetCaptureRect({0, 0, 100, 80}));
    m_control->Begin();
    RecordUntil(kept + 2);
    EXPECT_GE(m_doc.FrameCount(), kept + 2);
}

// The desktop's "stop sharing" ends the run as Stop does: no message, the frames kept, the
// window back. The end of a run Stop ended never stops the run begun right after it.
TEST_F(Recording, StopSharingEndsTheRunAsStopAndAnOldEndLeavesTheNextRun) {
    std::atomic<bool> stopped{false};
    m_control->GetHooks().openScreen = [&](std::string&) -> std::unique_ptr<IScreenSource> {
        return std::make_unique<SharedScreen>(m_screen, stopped);
    };
    std::string path = m_dir.File("shared.scp");
    ASSERT_TRUE(m_doc.NewProject(path, false));
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    ASSERT_TRUE(m_doc.SetCaptureRect({0, 0, 100, 80}));
    m_control->Begin();
    ASSERT_TRUE(zovtest::WaitUntil([&] { return m_doc.FrameCount() >= 3; }));
    stopped = true;
    ASSERT_TRUE(zovtest::WaitUntil([&] { return m_control->RecorderState() == REC_IDLE; }));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("\n").toStdString();
    EXPECT_TRUE(m_window->isVisible());
    const int kept = m_doc.FrameCount();
    EXPECT_GE(kept, 3);

    stopped = false;
    m_answer = BeginAnswer::Insert;
    m_control->Begin();
    ASSERT_TRUE(zovtest::WaitUntil([&] { return m_doc.FrameCount() >= kept + 2; }));
    m_control->Stop();
    m_control->Begin(); // before the stopped run's end is heard
    ASSERT_TRUE(zovtest::WaitUntil([&] { return m_doc.FrameCount() >= kept + 6; }));
    EXPECT_EQ(m_control->RecorderState(), REC_RECORDING);
    m_control->Stop();
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("\n").toStdString();
}

TEST_F(Recording, NewStreamRecordsTheRealSizeAndRefusesASecondBegin) {
    std::string path = m_dir.File("clip.zov");
    m_control->GetHooks().settings = [this](bool newStream) {
        EXPECT_TRUE(newStream);
        return m_doc.SetCaptureRect({100, 50, 420, 290});
    };
    ASSERT_TRUE(m_control->NewProject(path, true));
    // Begin follows at once.
    ASSERT_TRUE(zovtest::WaitUntil([&] { return m_control->FrameCount() >= 3; }));
    m_control->Stop();
    StreamReader reader;
    const std::vector<uint8_t> bytes = zovtest::ReadAll(path);
    reader.Open(bytes.data(), bytes.size());
    StreamRecord rec;
    int frames = 0;
    while (reader.Next(rec) == ReadStatus::Record)
        ++frames;
    EXPECT_EQ(reader.Header().width, 320);
    EXPECT_EQ(reader.Header().height, 240);
    EXPECT_GE(frames, 3);
    m_control->Begin();
    EXPECT_EQ(m_control->RecorderState(), REC_IDLE);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages[0].toStdString(), m_app->Text(S_REC_STREAM_ENDED));
    EXPECT_EQ(zovtest::ReadAll(path), bytes);

    // A cancelled dialog after New gives the stream up.
    std::string other = m_dir.File("other.zov");
    m_control->GetHooks().settings = [](bool) { return false; };
    EXPECT_FALSE(m_control->NewProject(other, true));
    EXPECT_EQ(m_doc.DocMode(), DOC_NONE);
    EXPECT_FALSE(std::filesystem::exists(other));
}

TEST_F(Recording, StatusWindowCountsFramesAndItsMenuHoldsTheCapture) {
    auto* tray = m_window->findChild<RecorderTray*>();
    ASSERT_NE(tray, nullptr);
    ASSERT_EQ(tray->Tray(), nullptr); // no tray on the offscreen platform
    QWidget* status = tray->StatusWindow();
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(tray->Tip(), "....");
    EXPECT_FALSE(status->isVisible());
    std::string path = m_dir.File("s.scp");
    ASSERT_TRUE(m_doc.NewProject(path, false));
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    ASSERT_TRUE(m_doc.SetCaptureRect({0, 0, 200, 150}));
    m_doc.SetFrameDelay(20); // many frames would fall in the time the menu is open
    // Grabs while a menu is on the screen would put it into a frame.
    std::atomic<bool> menuUp{false};
    std::atomic<int> grabsWithMenu{0};
    m_screen.OnGrab([&](int) {
        if (menuUp)
            ++grabsWithMenu;
    });
    m_control->Begin();
    EXPECT_EQ(tray->Picture(), "recording");
    ASSERT_TRUE(zovtest::WaitUntil([&] { return status->isVisible() && m_control->FrameCount() >= 2; }));
    EXPECT_FALSE(status->geometry().intersects(QRect(0, 0, 200, 150)));
    ASSERT_TRUE(zovtest::WaitUntil(
        [&] { return tray->Tip() == QString("Frames: %1").arg(m_control->FrameCount()); }));
    auto* label = status->findChild<QLabel*>("statusText");
    EXPECT_EQ(label->text(), tray->Tip());
    EXPECT_FALSE(status->findChild<QPushButton*>(QString::number(ID_TRAY_BEGIN))->isEnabled());
    EXPECT_TRUE(status->findChild<QPushButton*>(QString::number(ID_TRAY_PAUSE))->isEnabled());
    EXPECT_FALSE(status->findChild<QPushButton*>(QString::number(ID_TRAY_RESUME))->isEnabled());

    // The menu opens with its bottom-right corner at the pointer; dismissed, the capture goes on.
    int framesAtOpen = 0, framesAtClose = 0;
    QStringList captions;
    QObject::connect(tray, &RecorderTray::menuShown, tray, [&](QMenu* menu) {
        framesAtOpen = static_cast<int>(m_doc.FrameCount());
        QObject::connect(menu, &QMenu::aboutToShow, menu, [&] { menuUp = true; });
        QObject::connect(menu, &QMenu::aboutToHide, menu, [&] { menuUp = false; });
        for (QAction* a : menu->actions())
            captions << QString("%1:%2").arg(a->text()).arg(a->isEnabled());
        QTimer::singleShot(200, menu, [&, menu] {
            framesAtClose = static_cast<int>(m_doc.FrameCount());
            menu->close();
        });
    });
    EXPECT_EQ(tray->RunMenu(QPoint(700, 500)), 0);
    EXPECT_EQ(captions, QStringList({"&Begin Recording:0", "&Pause Recording:1", "&Resume Recording:0",
                                     "&Stop Recording:1"}));
    // Held while open (a frame grabbed before may still have been stored meanwhile).
    EXPECT_LE(framesAtClose, framesAtOpen + 1);
    EXPECT_EQ(grabsWithMenu.load(), 0);
    ASSERT_TRUE(zovtest::WaitUntil([&] { return m_doc.FrameCount() >= framesAtOpen + 2; }));
    EXPECT_EQ(m_control->RecorderState(), REC_RECORDING);
    EXPECT_EQ(RecorderTray::MenuPosition(QPoint(700, 500), QSize(150, 100), QRect(0, 0, 800, 600)),
              QPoint(550, 400));
    EXPECT_EQ(RecorderTray::MenuPosition(QPoint(50, 30), QSize(150, 100), QRect(0, 0, 800, 600)),
              QPoint(0, 0));

    // A whole-screen area leaves no room: hidden while the capture runs, shown while paused.
    QPoint at;
    EXPECT_FALSE(RecorderTray::StatusPlace(QRect(0, 0, 800, 600), QRect(0, 0, 800, 600), QSize(200, 60), at));
    status->findChild<QPushButton*>(QString::number(ID_TRAY_PAUSE))->click();
    EXPECT_EQ(m_control->RecorderState(), REC_PAUSED);
    EXPECT_TRUE(status->findChild<QPushButton*>(QString::number(ID_TRAY_RESUME))->isEnabled());
    status->findChild<QPushButton*>(QString::number(ID_TRAY_STOP))->click();
    EXPECT_EQ(m_control->RecorderState(), REC_IDLE);
    EXPECT_FALSE(status->isVisible());
    EXPECT_EQ(tray->Picture(), "idle");
    EXPECT_TRUE(m_window->isVisible());
}

TEST_F(Recording, CommandsFollowTheRecorderState) {
    std::string path = m_dir.File("c.scp");
    ASSERT_TRUE(m_doc.NewProject(path, false));
    ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    ASSERT_TRUE(m_doc.SetCaptureRect({0, 0, 64, 48}));
    m_window->UpdateCommandStates();
    auto enabled = [&](int id) { return m_window->Action(id)->isEnabled(); };
    EXPECT_TRUE(enabled(ID_REC_BEGIN));
    EXPECT_FALSE(enabled(ID_REC_PAUSE));
    EXPECT_FALSE(enabled(ID_REC_STOP));
    m_window->RunCommand(ID_REC_BEGIN);
    EXPECT_FALSE(enabled(ID_REC_BEGIN));
    EXPECT_TRUE(enabled(ID_REC_PAUSE));
    EXPECT_FALSE(enabled(ID_REC_RESUME));
    m_window->RunCommand(ID_REC_PAUSE);
    EXPECT_EQ(m_control->RecorderState(), REC_PAUSED);
    EXPECT_TRUE(enabled(ID_REC_RESUME));
    m_window->RunCommand(ID_REC_RESUME);
    EXPECT_EQ(m_control->RecorderState(), REC_RECORDING);
    m_window->RunCommand(ID_REC_STOP);
    EXPECT_EQ(m_control->RecorderState(), REC_IDLE);
    EXPECT_TRUE(enabled(ID_REC_BEGIN));
    // No screen at all: the start fails, the window comes back with the reason.
    m_haveScreen = false;
    m_answer = BeginAnswer::Insert;
    m_window->RunCommand(ID_REC_BEGIN);
    ASSERT_TRUE(zovtest::WaitUntil([&] { return m_control->RecorderState() == REC_IDLE; }));
    ASSERT_FALSE(m_messages.isEmpty());
    EXPECT_TRUE(m_messages.last().contains("no screen here"));
    EXPECT_TRUE(m_window->isVisible());
}
