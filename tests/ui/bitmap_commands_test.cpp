// Import Frames from BMP Files in the editor on the offscreen platform: the naming rule's
// message, a compressed bitmap refused, the frames placed before the selected frame with the
// report, and one Undo taking them back.
#include "app/Application.h"
#include "base/Bitmap.h"
#include "base/Log.h"
#include "core/Ani.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/QtTestEnv.h"
#include "tests/ui/UiTestProject.h"
#include "ui/CommandTable.h"
#include "ui/ExportCommands.h"
#include "ui/MainWindow.h"

#include <algorithm>
#include <filesystem>

using namespace zov;
using zovtest::TempDir;

namespace {

// Rows of 96 bytes: difference frames carry whole 96-byte blocks only.
constexpr int W = 32, H = 30;

class ImportCommand : public ::testing::Test {
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
        m_window->DialogHooks().message = [this](const QString& text, bool) { m_messages << text; };
        m_window->DialogHooks().askYesNo = [this](const QString& text) {
            m_questions << text;
            return m_answer;
        };
        m_window->DialogHooks().openPath = [this](const QString&, const QString&, const QString& filter) {
            m_filters << filter;
            return m_chosen;
        };
        std::string path = m_dir.File("film.scp");
        ASSERT_TRUE(zovtest::MakeProject(m_doc, path, W, H, 4, 100));
        ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    }
    void TearDown() override {
        m_window.reset();
        m_app->Shutdown();
        SetLogPath("");
    }
    // A 24-bit bottom-up picture that differs from shot to shot.
    static std::vector<uint8_t> Shot(int t) {
        const int row = Image24::RowBytes(W);
        std::vector<uint8_t> img(size_t(row) * H, 0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                uint8_t* p = img.data() + size_t(y) * size_t(row) + size_t(x) * 3;
                p[0] = uint8_t(x * 3 + t);
                p[1] = uint8_t(y * 9 + t * 2);
                p[2] = uint8_t(t * 7);
            }
        return img;
    }
    void WriteShot(const std::string& name, int t) {
        Image24 img;
        img.Allocate(W, H);
        const auto pic = Shot(t);
        std::copy(pic.begin(), pic.end(), img.bits.begin());
        ASSERT_TRUE(WriteBmp(m_dir.File(name), img));
    }
    std::vector<uint8_t> Frame(int index) {
        std::vector<uint8_t> img;
        FrameHeader h{};
        EXPECT_TRUE(m_doc.LoadFrame(index, img, h));
        return img;
    }

    TempDir m_dir;
    AppFolders m_folders;
    CAni m_doc;
    std::unique_ptr<ZovApp> m_app;
    std::unique_ptr<CMainWindow> m_window;
    QStringList m_messages, m_filters, m_questions;
    bool m_answer = false;
    QString m_chosen;
};

} // namespace

TEST_F(ImportCommand, NamesOutsideTheRuleAndCompressedBitmapsAreRefused) {
    WriteShot("image.bmp", 1);
    WriteShot("12.bmp", 2);
    for (const char* name : {"image.bmp", "12.bmp"}) {
        m_chosen = QString::fromStdString(m_dir.File(name));
        m_window->RunCommand(ID_IMPORT_BMP);
        ASSERT_FALSE(m_messages.isEmpty()) << name;
        EXPECT_EQ(m_messages.takeLast(), "Filename Should Be: file0001.bmp");
    }
    EXPECT_EQ(m_filters.value(0), "BMP Files (*.bmp)");
    WriteShot("rle0001.bmp", 3);
    auto bytes = zovtest::ReadAll(m_dir.File("rle0001.bmp"));
    zovtest::Put32(bytes, 30, 1); // BI_RLE8
    ASSERT_TRUE(zovtest::WriteAll(m_dir.File("rle0001.bmp"), bytes));
    m_chosen = QString::fromStdString(m_dir.File("rle0001.bmp"));
    m_window->RunCommand(ID_IMPORT_BMP);
    ASSERT_FALSE(m_messages.isEmpty());
    EXPECT_TRUE(m_messages.takeLast().contains("compressed"));
    EXPECT_EQ(m_doc.FrameCount(), 4);
}

TEST_F(ImportCommand, FramesGoBeforeTheSelectedFrameAndOneUndoTakesThemBack) {
    WriteShot("shot098.bmp", 98);
    WriteShot("shot099.bmp", 99);
    WriteShot("shot100.bmp", 100);
    std::vector<std::vector<uint8_t>> before;
    for (int i = 0; i < 4; ++i)
        before.push_back(Frame(i));
    m_window->SelectAndShowFrame(1);
    m_chosen = QString::fromStdString(m_dir.File("shot098.bmp"));
    m_window->RunCommand(ID_IMPORT_BMP);
    ASSERT_EQ(m_doc.FrameCount(), 7);
    ASSERT_FALSE(m_messages.isEmpty());
    EXPECT_EQ(m_messages.takeLast(), "Import finished, 3 frames appended");
    EXPECT_EQ(Frame(0), before[0]);
    EXPECT_EQ(Frame(1), Shot(98));
    EXPECT_EQ(Frame(2), Shot(99));
    EXPECT_EQ(Frame(3), Shot(100));
    EXPECT_EQ(Frame(4), before[1]);
    // The imported frames are the selection.
    EXPECT_EQ(m_window->Selection().selection.Start(), 1);
    EXPECT_EQ(m_window->Selection().selection.Length(), 3);
    m_window->RunCommand(ID_UNDO);
    ASSERT_EQ(m_doc.FrameCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Frame(i), before[size_t(i)]) << i;
}

// The bitmap export from the editor: an earlier series in the folder is asked about before
// anything is written; no leaves the folder as it was, yes replaces the series.
TEST_F(ImportCommand, BitmapExportAsksBeforeReplacingAnEarlierSeries) {
    const std::string out = m_dir.File("out");
    std::filesystem::create_directories(out);
    ASSERT_TRUE(zovtest::WriteText(out + "/file0001.bmp", "old"));
    ExportDialogHooks().chooseFolder = [&](const QString&, const QString&, const QString&) {
        return QString::fromStdString(out);
    };
    m_answer = false;
    m_window->RunCommand(ID_EXPORT_BMP);
    ASSERT_EQ(m_questions.size(), 1);
    EXPECT_TRUE(m_questions.takeLast().contains("already holds bitmap files"));
    EXPECT_EQ(zovtest::ReadText(out + "/file0001.bmp"), "old");
    EXPECT_FALSE(zov::FileExists(out + "/cursor.txt"));
    EXPECT_FALSE(zov::FileExists(out + "/file0002.bmp"));
    m_answer = true;
    m_window->RunCommand(ID_EXPORT_BMP);
    ExportDialogHooks().chooseFolder = nullptr;
    ASSERT_FALSE(m_messages.isEmpty());
    EXPECT_EQ(m_messages.takeLast(), "The bitmap files have been exported.");
    for (int i = 1; i <= 4; ++i)
        EXPECT_TRUE(zov::FileExists(out + "/file000" + std::to_string(i) + ".bmp")) << i;
    const std::string cursor = zovtest::ReadText(out + "/cursor.txt");
    EXPECT_EQ(std::count(cursor.begin(), cursor.end(), '\n'), 5) << cursor;
}
