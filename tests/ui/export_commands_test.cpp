// The export commands of the editor on the offscreen platform: the file chooser's title and
// filters, the extension rule and its question, Frame Select, Area Select handing the options
// to the export-area element, the compressor chooser, and the result messages.
#include "app/Application.h"
#include "app/Settings.h"
#include "base/Log.h"
#include "base/StringIds.h"
#include "core/Ani.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/QtTestEnv.h"
#include "tests/ui/UiTestProject.h"
#include "ui/ExportCommands.h"
#include "ui/MainWindow.h"

#include <QMenuBar>
#include <filesystem>

using namespace zov;
using zovtest::TempDir;
namespace fs = std::filesystem;

namespace {

class ExportFlow : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folders.program = m_dir.Path() + "/";
        m_folders.data = m_dir.Path() + "/data/";
        m_folders.writable = m_dir.Path() + "/";
        m_folders.defaultProject = m_dir.Path() + "/release/";
        m_folders.registerFileType = false;
        fs::create_directories(m_folders.data + "language");
        for (const char* name : {"languagelst.txt", "langenglish.txt", "langchinese.txt", "langjapanese.txt"})
            fs::copy_file(std::string(ZOV_SOURCE_DIR) + "/data/language/" + name,
                          m_folders.data + "language/" + name);
        m_app = std::make_unique<ZovApp>(m_doc, m_folders);
        ASSERT_TRUE(m_app->Startup());
        m_window = std::make_unique<CMainWindow>(*m_app);
        m_window->DialogHooks().askYesNo = [this](const QString& q) {
            m_questions << q;
            return m_answer;
        };
        m_window->DialogHooks().message = [this](const QString& text, bool warning) {
            m_messages << text;
            m_warnings << warning;
        };
        m_window->DialogHooks().savePath = [this](const QString& title, const QString&,
                                                  const QStringList& filters, int*) {
            m_titles << title;
            m_filters = filters;
            return m_paths.isEmpty() ? QString() : m_paths.takeFirst();
        };
        ExportDialogHooks().chooseCompressor = [this](CompressorChoice& c) {
            ++m_compressorAsked;
            c.encoder = m_compressor;
        };
        ExportDialogHooks().startAreaSelection = nullptr;
        m_window->show();
        std::string path = m_dir.File("film.scp");
        ASSERT_TRUE(zovtest::MakeProject(m_doc, path, 40, 30, 8, 500));
        ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(path)));
    }
    void TearDown() override {
        ExportDialogHooks() = ExportDialogs{};
        m_window.reset();
        m_app->Shutdown();
        SetLogPath("");
    }
    QString Tr(int id) { return QString::fromStdString(m_app->Text(id)); }
    // Frames the file's avih counts and its width.
    uint32_t AviFrames(const std::string& path) { return zovtest::Le32(zovtest::ReadAll(path), 48); }
    uint32_t AviWidth(const std::string& path) { return zovtest::Le32(zovtest::ReadAll(path), 64); }

    TempDir m_dir;
    AppFolders m_folders;
    CAni m_doc;
    std::unique_ptr<ZovApp> m_app;
    std::unique_ptr<CMainWindow> m_window;
    QStringList m_questions, m_messages, m_titles, m_filters, m_paths;
    QList<bool> m_warnings;
    bool m_answer = false;
    int m_compressorAsked = 0;
    std::string m_compressor;
};

} // namespace

TEST_F(ExportFlow, AviTakesItsExtensionAsksForAnAppendedNameThatExistsAndReports) {
    const QString demo = QString::fromStdString(m_dir.File("demo"));
    m_paths = {demo};
    m_window->RunCommand(ID_EXPORT_AVI);
    EXPECT_TRUE(fs::exists(m_dir.File("demo.AVI")));
    EXPECT_FALSE(fs::exists(m_dir.File("demo")));
    EXPECT_EQ((QStringList{"AVI Video (*.avi)", "All Files (*.*)"}), m_filters);
    EXPECT_EQ((QStringList{"Save As Stream File (AVI Format)"}), m_titles);
    EXPECT_EQ(1, m_compressorAsked);
    EXPECT_EQ((QStringList{Tr(S_EXPORT_DONE)}), m_messages);
    EXPECT_EQ(8u, AviFrames(m_dir.File("demo.AVI")));
    EXPECT_FALSE(ExportInProgress());

    // "demo" again: demo.AVI exists and the chooser never asked about it, so the flow asks;
    // No goes back to the chooser, whose Cancel ends the command with the old file untouched.
    ASSERT_TRUE(zovtest::WriteText(m_dir.File("demo.AVI"), "older"));
    m_paths = {demo};
    m_messages.clear();
    m_window->RunCommand(ID_EXPORT_AVI);
    ASSERT_EQ(1, m_questions.size());
    EXPECT_TRUE(m_questions[0].contains(QString::fromStdString(m_dir.File("demo.AVI"))));
    EXPECT_EQ(3, m_titles.size()); // asked again after No
    EXPECT_EQ("older", zovtest::ReadText(m_dir.File("demo.AVI")));
    EXPECT_TRUE(m_messages.isEmpty());

    // A name with the extension in any case stays as it is, compressor and all.
    m_paths = {QString::fromStdString(m_dir.File("Clip.avi"))};
    m_compressor = "zmbv";
    m_window->RunCommand(ID_EXPORT_AVI);
    const std::vector<uint8_t> clip = zovtest::ReadAll(m_dir.File("Clip.avi"));
    ASSERT_GT(clip.size(), 200u);
    EXPECT_EQ("ZMBV", std::string(reinterpret_cast<const char*>(&clip[112]), 4)); // strh handler
    EXPECT_FALSE(fs::exists(m_dir.File("Clip.avi.AVI")));
    EXPECT_EQ(1, m_questions.size());
}

TEST_F(ExportFlow, FrameSelectTakesTheSelectedFramesAndFailuresSayWhy) {
    m_app->Config().SetFlag(Settings::kFrameSelect, true);
    m_window->Selection().selection = {2, 3}; // frames 2..4
    m_paths = {QString::fromStdString(m_dir.File("sel.avi"))};
    m_window->RunCommand(ID_EXPORT_AVI);
    EXPECT_EQ(3u, AviFrames(m_dir.File("sel.avi")));

    m_paths = {QString::fromStdString(m_dir.File("missing/sel.avi"))};
    m_messages.clear();
    m_warnings.clear();
    m_window->RunCommand(ID_EXPORT_AVI);
    ASSERT_EQ(1, m_messages.size());
    EXPECT_TRUE(m_messages[0].startsWith(Tr(S_EXPORT_FAILED)));
    EXPECT_GT(m_messages[0].size(), Tr(S_EXPORT_FAILED).size()); // and why
    EXPECT_EQ((QList<bool>{true}), m_warnings);
}

TEST_F(ExportFlow, AreaSelectWaitsForTheAreaThenTheDispatcherRuns) {
    m_app->Config().SetFlag(Settings::kAreaSelect, true);
    ExportOptions handed;
    int started = 0;
    ExportDialogHooks().startAreaSelection = [&](const ExportOptions& o) {
        handed = o;
        ++started;
    };
    m_paths = {QString::fromStdString(m_dir.File("area"))};
    m_window->RunCommand(ID_EXPORT_ZOV);
    ASSERT_EQ(1, started);
    EXPECT_EQ((QStringList{Tr(S_EXPORT_AREA_PROMPT)}), m_messages);
    EXPECT_EQ(m_dir.File("area.ZOV"), handed.outputPath);
    EXPECT_TRUE(handed.areaSelect);
    EXPECT_FALSE(fs::exists(m_dir.File("area.zov"))); // nothing written yet

    // The element has the area: the dispatcher writes the stream cut to it.
    handed.left = 5;
    handed.top = 4;
    handed.right = 26;
    handed.bottom = 19;
    m_messages.clear();
    EXPECT_EQ(0, RunExport(*m_window, handed));
    const std::vector<uint8_t> stream = zovtest::ReadAll(m_dir.File("area.zov"));
    ASSERT_GT(stream.size(), 16u);
    EXPECT_EQ(21, stream[5]); // width
    EXPECT_EQ(15, stream[7]); // height
    EXPECT_EQ((QStringList{Tr(S_EXPORT_DONE)}), m_messages);
    EXPECT_EQ(-1, RunExport(*m_window, DefaultExportOptions(m_doc, "MOV"))); // no exporter, no word
    EXPECT_EQ(1, m_messages.size());
}

TEST(ExportExtension, AppendedInCapitalsUnlessPresentInAnyCase) {
    EXPECT_EQ("demo.AVI", WithExportExtension("demo", "AVI"));
    EXPECT_EQ("demo.AVI", WithExportExtension("demo", "avi"));
    EXPECT_EQ("/a/demo.avi", WithExportExtension("/a/demo.avi", "AVI"));
    EXPECT_EQ("/a/demo.Zov", WithExportExtension("/a/demo.Zov", "ZOV"));
    EXPECT_EQ("/a.avi/demo.WMV", WithExportExtension("/a.avi/demo", "wmv"));
    EXPECT_EQ("x.avi.ZOV", WithExportExtension("x.avi", "ZOV"));
}
