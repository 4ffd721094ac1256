// Element editing in the editor window on the offscreen platform: the mouse on the frame view
// makes, picks, moves and reshapes elements; the element clipboard, delete and undo; images,
// marks, the status text's URL and the export area.
#include "app/Application.h"
#include "app/Settings.h"
#include "base/Log.h"
#include "core/Ani.h"
#include "elements/ElementList.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/QtTestEnv.h"
#include "tests/ui/UiTestProject.h"
#include "ui/ElementCommands.h"
#include "ui/ElementEditor.h"
#include "ui/ElementToolWindow.h"
#include "ui/ExportCommands.h"
#include "ui/FrameView.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <cstring>
#include <filesystem>

using namespace zov;
using zovtest::TempDir;

namespace {

class ElementEditing : public ::testing::Test {
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
        std::filesystem::copy(std::string(ZOV_SOURCE_DIR) + "/data/marker", m_folders.data + "marker");
        m_app = std::make_unique<ZovApp>(m_doc, m_folders);
        ASSERT_TRUE(m_app->Startup());
        m_window = std::make_unique<CMainWindow>(*m_app);
        m_window->DialogHooks().message = [this](const QString& text, bool) { m_messages << text; };
        m_window->resize(1000, 700 + m_window->menuBar()->sizeHint().height());
        m_window->show();
        ASSERT_TRUE(zovtest::WaitUntil([this] { return m_window->Client()->size() == QSize(1000, 700); }));
        editor = ElementEditorOf(*m_window);
        tool = ElementToolWindowOf(*m_window);
        ASSERT_TRUE(editor && tool);
    }
    void TearDown() override {
        m_window.reset();
        m_app->Shutdown();
        SetLogPath("");
    }
    void Open(int w = 200, int h = 150, int frames = 25) {
        m_path = m_dir.File("film.scp");
        ASSERT_TRUE(zovtest::MakeProject(m_doc, m_path, w, h, frames, 250));
        ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(m_path)));
    }
    void Reopen() {
        m_window->RunCommand(ID_CLOSE);
        ASSERT_EQ(m_doc.Elements().Count(), 0);
        ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(m_path)));
    }
    void Mouse(QEvent::Type type, QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier,
               Qt::MouseButton button = Qt::LeftButton) {
        FrameView* v = m_window->View();
        const Qt::MouseButton b = type == QEvent::MouseMove ? Qt::NoButton : button;
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent e(type, QPointF(p), v->mapToGlobal(QPointF(p)), b, held, m);
        QApplication::sendEvent(v, &e);
    }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers m = Qt::NoModifier) {
        Mouse(QEvent::MouseButtonPress, from, m);
        Mouse(QEvent::MouseMove, (from + to) / 2, m);
        Mouse(QEvent::MouseMove, to, m);
        Mouse(QEvent::MouseButtonRelease, to, m);
    }
    void Click(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier) {
        Mouse(QEvent::MouseButtonPress, p, m);
        Mouse(QEvent::MouseButtonRelease, p, m);
    }
    // A box over frames first..last, saved with the project.
    ElementRecord* AddBox(int32_t first, int32_t last, ElementRect r) {
        ElementRecord* e = m_doc.Elements().Create(first, last, ELEMENT_BOX);
        e->Body<ShapeBody>()->rect = r;
        e->Body<ShapeBody>()->penWidth = 1;
        e->Body<ShapeBody>()->borderFlag = 1;
        EXPECT_TRUE(m_doc.WriteIndex());
        m_window->ShowAnchor();
        return e;
    }
    static ElementRect RectOf(const ElementRecord* r) {
        return *reinterpret_cast<const ElementRect*>(r->body.data());
    }
    void SelectFrames(int32_t first, int32_t last) {
        m_window->SelectAndShowFrame(first);
        m_window->Selection().ExtendTo(last);
    }

    TempDir m_dir;
    AppFolders m_folders;
    CAni m_doc;
    std::unique_ptr<ZovApp> m_app;
    std::unique_ptr<CMainWindow> m_window;
    ElementEditor* editor = nullptr;
    ElementToolWindow* tool = nullptr;
    std::string m_path;
    QStringList m_messages;
};

void ExpectRect(const ElementRect& r, int l, int t, int rr, int b) {
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rr);
    EXPECT_EQ(r.bottom, b);
}

// A BMP file: `header` 40, 108 or 124 bytes, bits at `offset`.
std::vector<uint8_t> Bmp(int w, int h, int bpp, uint32_t compression, uint32_t header, uint32_t offset,
                         const std::vector<uint8_t>& bits, const uint32_t* masks = nullptr) {
    std::vector<uint8_t> f(offset, 0);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, static_cast<uint32_t>(offset + bits.size()));
    put32(10, offset);
    put32(14, header);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    f[26] = 1;
    f[28] = static_cast<uint8_t>(bpp);
    put32(30, compression);
    if (masks)
        for (int i = 0; i < 3; ++i)
            put32(54 + 4 * static_cast<size_t>(i), masks[i]);
    f.insert(f.end(), bits.begin(), bits.end());
    return f;
}

} // namespace

TEST_F(ElementEditing, ABoxDrawnUpwardsEndsNormalisedAndIsSavedWhenFinished) {
    Open();
    m_window->RunCommand(ID_DRAW_BOX);
    Drag({100, 80}, {40, 20});
    ASSERT_EQ(m_doc.Elements().Count(), 1);
    ElementRecord* box = m_doc.Elements().At(0);
    EXPECT_EQ(box->kind, ELEMENT_BOX);
    ExpectRect(RectOf(box), 40, 20, 100, 80);
    EXPECT_EQ(editor->Current(), box);
    EXPECT_EQ(m_window->EditMode(), MODE_BOX) << "the tool stays active";
    // New elements take the default style: the blue border, the settings' black fill.
    EXPECT_EQ(box->Body<ShapeBody>()->borderColour, 0xFF0000u);
    EXPECT_EQ(box->Body<ShapeBody>()->fillColour, 0u);
    // The tool window hears of it (queued) and shows its style; a change there reaches it.
    ASSERT_TRUE(zovtest::WaitUntil([&] { return tool->TextField()->toPlainText() == "Your text here"; }));
    tool->TargetButton(ColourTarget::Back)->click();
    tool->PaletteClicked(QPoint(45, 25), Qt::NoModifier);
    ASSERT_TRUE(zovtest::WaitUntil([&] { return box->Body<ShapeBody>()->fillColour == 0xFF0080u; }));
    // A press outside finishes it (saved), no tool is left; the next box starts from the
    // default style again, not from the tool window's last choice.
    Click({180, 140});
    EXPECT_EQ(editor->Current(), nullptr);
    EXPECT_EQ(m_window->EditMode(), MODE_NONE);
    m_window->RunCommand(ID_DRAW_BOX);
    Drag({150, 100}, {170, 120});
    ASSERT_EQ(m_doc.Elements().Count(), 2);
    EXPECT_EQ(m_doc.Elements().At(1)->Body<ShapeBody>()->fillColour, 0u);
    Reopen();
    ASSERT_GE(m_doc.Elements().Count(), 1);
    ExpectRect(RectOf(m_doc.Elements().At(0)), 40, 20, 100, 80);
    EXPECT_EQ(m_doc.Elements().At(0)->Body<ShapeBody>()->fillColour, 0xFF0080u);
}

TEST_F(ElementEditing, LinesKeepTheirDirectionAndBalloonsPointUpRight) {
    Open();
    m_window->RunCommand(ID_DRAW_LINE);
    Drag({150, 50}, {20, 60});
    ASSERT_EQ(m_doc.Elements().Count(), 1);
    const LineBody* line = m_doc.Elements().At(0)->Body<LineBody>();
    EXPECT_EQ(line->x1, 150);
    EXPECT_EQ(line->y1, 50);
    EXPECT_EQ(line->x2, 20);
    EXPECT_EQ(line->y2, 60);
    m_window->RunCommand(ID_CANCEL_EDIT);

    m_window->RunCommand(ID_DRAW_BOX2);
    Mouse(QEvent::MouseButtonPress, {60, 90});
    ASSERT_EQ(m_doc.Elements().Count(), 2);
    const Box2Body* b = m_doc.Elements().At(1)->Body<Box2Body>();
    EXPECT_EQ(b->tip.x, 90);
    EXPECT_EQ(b->tip.y, 60);
    Mouse(QEvent::MouseMove, {20, 130});
    Mouse(QEvent::MouseButtonRelease, {20, 130});
    ExpectRect(b->textRect, 20, 90, 60, 130);
    EXPECT_EQ(b->outline[0].x, b->outline[7].x);
    EXPECT_EQ(b->outline[0].y, b->outline[7].y);
    EXPECT_EQ(b->outline[0].x, 60) << "the outline starts at the bottom-right corner";
    EXPECT_EQ(b->outline[0].y, 130);
}

TEST_F(ElementEditing, CtrlClickTwoThenADragMovesBothAndSaves) {
    Open();
    ElementRecord* a = AddBox(0, 24, {10, 10, 40, 40});
    ElementRecord* c = AddBox(0, 24, {100, 10, 140, 50});
    AddBox(0, 24, {10, 100, 40, 140}); // not selected: stays
    Click({20, 20}, Qt::ControlModifier);
    Click({120, 30}, Qt::ControlModifier);
    EXPECT_EQ(m_window->EditMode(), MODE_MULTIPLE);
    EXPECT_EQ(m_doc.Elements().SelectionCount(), 2);
    Drag({20, 20}, {30, 35});
    ExpectRect(RectOf(a), 20, 25, 50, 55);
    ExpectRect(RectOf(c), 110, 25, 150, 65);
    ExpectRect(RectOf(m_doc.Elements().At(2)), 10, 100, 40, 140);
    // Ctrl+click on a selected one takes it out of the selection.
    Click({40, 40}, Qt::ControlModifier);
    EXPECT_EQ(m_doc.Elements().SelectionCount(), 1);
    Reopen();
    ExpectRect(RectOf(m_doc.Elements().At(0)), 20, 25, 50, 55);
    ExpectRect(RectOf(m_doc.Elements().At(1)), 110, 25, 150, 65);
}

TEST_F(ElementEditing, PickThenDragMovesAndUndoPutsItBack) {
    Open();
    ElementRecord* a = AddBox(0, 24, {10, 10, 40, 40});
    Drag({20, 20}, {25, 22}); // a pick: the drag that picks moves nothing
    EXPECT_EQ(editor->Current(), a);
    ExpectRect(RectOf(a), 10, 10, 40, 40);
    EXPECT_EQ(m_window->EditMode(), MODE_BOX) << "after a pick the element's own tool";
    Drag({25, 22}, {35, 30});
    ExpectRect(RectOf(a), 20, 18, 50, 48);
    Drag({50, 48}, {60, 58}); // the bottom-right handle sizes it
    ExpectRect(RectOf(a), 20, 18, 60, 58);
    m_window->RunCommand(ID_UNDO);
    ASSERT_EQ(m_doc.Elements().Count(), 1);
    ExpectRect(RectOf(m_doc.Elements().At(0)), 20, 18, 50, 48);
    m_window->RunCommand(ID_UNDO);
    ExpectRect(RectOf(m_doc.Elements().At(0)), 10, 10, 40, 40);
}

TEST_F(ElementEditing, CopyFromTenToTwentyPastesOverThreeToFour) {
    Open();
    AddBox(10, 20, {10, 10, 40, 40});
    AddBox(10, 20, {50, 10, 90, 40});
    m_window->SelectAndShowFrame(10);
    editor->UpdatePopup();
    m_window->RunCommand(ID_SELECT_ALL_ELEMENTS);
    EXPECT_EQ(m_doc.Elements().SelectionCount(), 2);
    m_window->RunCommand(ID_COPY_ELEMENTS);
    EXPECT_EQ(m_doc.Elements().ClipboardCount(), 2);
    SelectFrames(3, 4);
    m_window->RunCommand(ID_PASTE_ELEMENTS);
    ASSERT_EQ(m_doc.Elements().Count(), 4);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(m_doc.Elements().At(i)->firstFrame, 10);
        EXPECT_EQ(m_doc.Elements().At(i)->lastFrame, 20);
        EXPECT_EQ(m_doc.Elements().At(2 + i)->firstFrame, 3);
        EXPECT_EQ(m_doc.Elements().At(2 + i)->lastFrame, 4);
    }
    ExpectRect(RectOf(m_doc.Elements().At(3)), 50, 10, 90, 40);
    m_window->RunCommand(ID_UNDO); // the paste
    EXPECT_EQ(m_doc.Elements().Count(), 2);
}

TEST_F(ElementEditing, DeleteElementEmptiesTheClipboardAndUndoBringsItBack) {
    Open();
    AddBox(0, 5, {10, 10, 40, 40});
    AddBox(0, 5, {50, 10, 90, 40});
    m_window->RunCommand(ID_SELECT_ALL_ELEMENTS);
    m_window->RunCommand(ID_COPY_ELEMENTS);
    editor->UpdatePopup();
    QAction* paste = nullptr;
    for (QAction* a : editor->Popup()->actions())
        if (a->data().toInt() == ID_PASTE_ELEMENTS)
            paste = a;
    ASSERT_NE(paste, nullptr);
    EXPECT_TRUE(paste->isEnabled());
    EXPECT_EQ(paste->text(), "Paste Copied Element(s)");
    m_window->RunCommand(ID_CANCEL_EDIT); // the selection goes, the clipboard stays
    EXPECT_EQ(m_doc.Elements().ClipboardCount(), 2);
    Click({20, 20}); // picks the box on the left alone
    EXPECT_EQ(m_doc.Elements().SelectionCount(), 1);
    m_window->RunCommand(ID_DELETE_ELEMENT);
    EXPECT_EQ(m_doc.Elements().Count(), 1);
    EXPECT_EQ(m_doc.Elements().ClipboardCount(), 0);
    editor->UpdatePopup();
    EXPECT_FALSE(paste->isEnabled());
    Reopen(); // "Delete Element" saved the block
    EXPECT_EQ(m_doc.Elements().Count(), 1);
    // Undo of a delete puts the element back in its place.
    Click({60, 20});
    m_window->RunCommand(ID_DELETE_ELEMENT);
    EXPECT_EQ(m_doc.Elements().Count(), 0);
    m_window->RunCommand(ID_UNDO);
    ASSERT_EQ(m_doc.Elements().Count(), 1);
    ExpectRect(RectOf(m_doc.Elements().At(0)), 50, 10, 90, 40);
}

TEST_F(ElementEditing, UndoAfterCreatingRemovesTheElement) {
    Open();
    m_window->RunCommand(ID_DRAW_CIRCLE);
    Drag({30, 30}, {90, 70});
    ASSERT_EQ(m_doc.Elements().Count(), 1);
    m_window->RunCommand(ID_UNDO);
    EXPECT_EQ(m_doc.Elements().Count(), 0);
    EXPECT_EQ(editor->Current(), nullptr);
    // The tool goes on making elements.
    Drag({30, 30}, {90, 70});
    EXPECT_EQ(m_doc.Elements().Count(), 1);
}

TEST_F(ElementEditing, NewElementsSpanTheSelectedFramesAndFitViewDoublesAtHalfScale) {
    Open(400, 300, 10);
    SelectFrames(3, 7);
    m_window->RunCommand(ID_DRAW_BOX);
    Drag({10, 10}, {60, 40});
    ASSERT_EQ(m_doc.Elements().Count(), 1);
    EXPECT_EQ(m_doc.Elements().At(0)->firstFrame, 3);
    EXPECT_EQ(m_doc.Elements().At(0)->lastFrame, 7);
    m_window->RunCommand(ID_CANCEL_EDIT);
    // A view of exactly half the frame's size, fitted: view points are half frame points.
    m_window->RunCommand(ID_TOOLBAR); // off: the view starts at 108
    const int extra = m_window->menuBar()->sizeHint().height();
    m_window->resize(215, 108 + 15 + 150 + extra);
    ASSERT_TRUE(zovtest::WaitUntil([&] { return m_window->View()->size() == QSize(200, 150); }))
        << m_window->View()->width() << "x" << m_window->View()->height();
    m_window->SetFitToWindow(true);
    m_window->SelectAndShowFrame(0);
    m_window->RunCommand(ID_DRAW_BOX);
    Drag({10, 10}, {60, 40});
    ASSERT_EQ(m_doc.Elements().Count(), 2);
    ExpectRect(RectOf(m_doc.Elements().At(1)), 20, 20, 120, 80);
}

TEST_F(ElementEditing, TheStatusTextShowsTheUrlUnderTheMouse) {
    Open();
    ElementRecord* link = m_doc.Elements().Create(0, 3, ELEMENT_URLLINK);
    link->Body<UrlLinkBody>()->rect = {10, 10, 60, 40};
    m_doc.Elements().SetText(link, "https://example.org/a");
    m_window->RunCommand(ID_STATUS_BAR);
    Mouse(QEvent::MouseMove, {20, 20});
    EXPECT_EQ(m_window->StatusLabel()->text(), "https://example.org/a");
    Mouse(QEvent::MouseMove, {100, 100});
    EXPECT_EQ(m_window->StatusLabel()->text(), m_window->StatusText());
    m_window->SelectAndShowFrame(5); // not shown on frame 5
    Mouse(QEvent::MouseMove, {20, 20});
    EXPECT_EQ(m_window->StatusLabel()->text(), m_window->StatusText());
}

TEST(ImageFiles, HeadersOffsetsBitFieldsAndTopDownRows) {
    TempDir dir;
    // 24 bits, 101 wide: rows of 304 bytes; a 108-byte header and a gap before the bits.
    std::vector<uint8_t> bits24(304 * 2);
    for (size_t i = 0; i < bits24.size(); ++i)
        bits24[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(zovtest::WriteAll(dir.File("a.bmp"), Bmp(101, 2, 24, 0, 108, 200, bits24)));
    ImageInfoHeader info{};
    std::vector<uint8_t> out;
    ASSERT_TRUE(ReadImageFile(dir.File("a.bmp"), info, out));
    EXPECT_EQ(info.biSize, 40u);
    EXPECT_EQ(info.biWidth, 101);
    EXPECT_EQ(info.biBitCount, 24);
    EXPECT_EQ(info.biCompression, 0u);
    EXPECT_EQ(out, bits24);
    // 16-bit 5-6-5 bit fields, top-down: converted to 24 bits, bottom row first.
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::vector<uint8_t> bits16 = {0x00, 0xF8, 0x1F, 0x00, /* row 0 (top): red, blue */
                                   0xE0, 0x07, 0xFF, 0xFF /* row 1: green, white */};
    ASSERT_TRUE(zovtest::WriteAll(dir.File("b.bmp"), Bmp(2, -2, 16, 3, 40, 66, bits16, masks)));
    ASSERT_TRUE(ReadImageFile(dir.File("b.bmp"), info, out));
    EXPECT_EQ(info.biBitCount, 24);
    EXPECT_EQ(info.biHeight, 2);
    ASSERT_EQ(out.size(), 16u);
    const std::vector<uint8_t> expect = {0, 255, 0,   255, 255, 255, 0, 0,  // bottom: green, white
                                         0, 0,   255, 255, 0,   0,   0, 0}; // top: red, blue
    EXPECT_EQ(out, expect);
    // 32-bit bit fields in R G B A byte order become B G R.
    const uint32_t rgba[3] = {0x000000FF, 0x0000FF00, 0x00FF0000};
    ASSERT_TRUE(zovtest::WriteAll(dir.File("c.bmp"), Bmp(1, 1, 32, 3, 124, 138, {10, 20, 30, 255}, rgba)));
    ASSERT_TRUE(ReadImageFile(dir.File("c.bmp"), info, out));
    EXPECT_EQ(out, (std::vector<uint8_t>{30, 20, 10, 0}));
    // 32-bit plain bits are kept.
    ASSERT_TRUE(zovtest::WriteAll(dir.File("d.bmp"), Bmp(1, 1, 32, 0, 40, 54, {1, 2, 3, 4})));
    ASSERT_TRUE(ReadImageFile(dir.File("d.bmp"), info, out));
    EXPECT_EQ(info.biBitCount, 32);
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3, 4}));
    // Refused: 8 bits, bits cut short, an unknown header, a claim far beyond the file.
    ASSERT_TRUE(zovtest::WriteAll(dir.File("e.bmp"), Bmp(4, 1, 8, 0, 40, 54, {1, 2, 3, 4})));
    EXPECT_FALSE(ReadImageFile(dir.File("e.bmp"), info, out));
    std::vector<uint8_t> cut = Bmp(101, 2, 24, 0, 40, 54, bits24);
    cut.resize(cut.size() - 1);
    ASSERT_TRUE(zovtest::WriteAll(dir.File("f.bmp"), cut));
    EXPECT_FALSE(ReadImageFile(dir.File("f.bmp"), info, out));
    ASSERT_TRUE(zovtest::WriteAll(dir.File("g.bmp"), Bmp(1, 1, 24, 0, 64, 80, {1, 2, 3, 0})));
    EXPECT_FALSE(ReadImageFile(dir.File("g.bmp"), info, out));
    ASSERT_TRUE(zovtest::WriteAll(dir.File("h.bmp"), Bmp(16000, 16000, 24, 0, 40, 54, {1, 2, 3, 0})));
    EXPECT_FALSE(ReadImageFile(dir.File("h.bmp"), info, out));
}

TEST_F(ElementEditing, ImagesAndMarksAreCentredOnTheSelectedFrames) {
    Open(200, 150, 10);
    std::vector<uint8_t> bits(12 * 10, 0x40);
    ASSERT_TRUE(zovtest::WriteAll(m_dir.File("img.bmp"), Bmp(4, 10, 24, 0, 40, 54, bits)));
    m_window->DialogHooks().openPath = [&](const QString&, const QString&, const QString&) {
        return QString::fromStdString(m_dir.File("img.bmp"));
    };
    SelectFrames(2, 6);
    m_window->RunCommand(ID_ADD_IMAGE);
    ASSERT_EQ(m_doc.Elements().Count(), 1);
    const ElementRecord* img = m_doc.Elements().At(0);
    EXPECT_EQ(img->kind, ELEMENT_IMAGE);
    EXPECT_EQ(img->firstFrame, 2);
    EXPECT_EQ(img->lastFrame, 6);
    ExpectRect(img->Body<ImageBody>()->rect, 98, 70, 102, 80);
    EXPECT_EQ(m_window->EditMode(), MODE_IMAGE);
    EXPECT_EQ(m_doc.Elements().SelectionCount(), 1);
    m_window->RunCommand(ID_CANCEL_EDIT);

    // A file that is no image: a message, nothing made.
    zovtest::WriteText(m_dir.File("img.bmp"), "no bitmap");
    m_window->RunCommand(ID_ADD_IMAGE);
    EXPECT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_doc.Elements().Count(), 1);

    // A mark: chosen from the marks shipped, transparent, 40 x 40.
    QStringList offered;
    editor->chooseMark = [&](const QStringList& marks) {
        offered = marks;
        return marks.isEmpty() ? QString() : marks.first();
    };
    m_window->RunCommand(ID_ADD_MARK);
    EXPECT_GE(offered.size(), 20);
    ASSERT_EQ(m_doc.Elements().Count(), 2);
    const ElementRecord* mark = m_doc.Elements().At(1);
    EXPECT_EQ(mark->Body<ImageBody>()->transparentFlag, 1u);
    ExpectRect(mark->Body<ImageBody>()->rect, 80, 55, 120, 95);
    // Cancelled: back to no tool, nothing made.
    m_window->RunCommand(ID_CANCEL_EDIT);
    editor->chooseMark = [](const QStringList&) { return QString(); };
    m_window->RunCommand(ID_ADD_MARK);
    EXPECT_EQ(m_window->EditMode(), MODE_NONE);
    EXPECT_EQ(m_doc.Elements().Count(), 2);
}

TEST(Marks, AreTwentyFourBitOnTheKeyTeal) {
    const std::filesystem::path folder = std::filesystem::path(ZOV_SOURCE_DIR) / "data" / "marker";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".bmp")
            continue;
        ++count;
        ImageInfoHeader info{};
        std::vector<uint8_t> bits;
        ASSERT_TRUE(ReadImageFile(entry.path().string(), info, bits)) << entry.path();
        EXPECT_EQ(info.biBitCount, 24) << entry.path();
        // The corners are the key colour exactly (stored B G R: 128, 128, 0).
        const size_t row = (static_cast<size_t>(info.biWidth) * 3 + 3) & ~size_t{3};
        for (size_t at : {size_t{0}, row * static_cast<size_t>(info.biHeight - 1)}) {
            EXPECT_EQ(bits[at], 128) << entry.path();
            EXPECT_EQ(bits[at + 1], 128) << entry.path();
            EXPECT_EQ(bits[at + 2], 0) << entry.path();
        }
    }
    EXPECT_GE(count, 21); // eight arrows, nine numbers, tick, cross, hand, star
}

TEST_F(ElementEditing, TheExportAreaGoesToTheExportWhenFinished) {
    Open(200, 100, 10);
    ExportOptions options;
    options.formatKey = "ZOV";
    options.outputPath = m_dir.File("out.zov");
    options.first = 2;
    options.last = 5;
    options.areaSelect = true;
    int runs = 0;
    ExportOptions ran;
    ASSERT_TRUE(StartExportArea(*m_window, options, [&](const ExportOptions& o) {
        ran = o;
        ++runs;
    }));
    EXPECT_EQ(m_window->EditMode(), MODE_SAVE_AREA);
    ASSERT_EQ(m_doc.Elements().Count(), 1);
    ExpectRect(m_doc.Elements().At(0)->Body<SaveAreaBody>()->area, 50, 25, 150, 75);
    Drag({100, 50}, {90, 45}); // moved by (-10, -5)
    Click({5, 5});             // outside: finished
    EXPECT_EQ(m_doc.Elements().Count(), 0) << "the area leaves the list";
    ASSERT_TRUE(zovtest::WaitUntil([&] { return runs == 1; }));
    EXPECT_EQ(ran.left, 40);
    EXPECT_EQ(ran.top, 20);
    EXPECT_EQ(ran.right, 140);
    EXPECT_EQ(ran.bottom, 70);
    EXPECT_EQ(ran.first, 2);
    EXPECT_EQ(ran.last, 5);
    EXPECT_EQ(ran.outputPath, options.outputPath);
    // The export flow's "Area Select" reaches the same placement.
    ASSERT_TRUE(static_cast<bool>(ExportDialogHooks().startAreaSelection));
    ExportDialogHooks().startAreaSelection(options);
    EXPECT_EQ(m_window->EditMode(), MODE_SAVE_AREA);
    ASSERT_EQ(m_doc.Elements().Count(), 1);
    EXPECT_EQ(m_doc.Elements().At(0)->kind, ELEMENT_SAVEAREA);
    m_window->RunCommand(ID_CANCEL_EDIT); // finishes it: the area goes to the export
    EXPECT_EQ(m_doc.Elements().Count(), 0);
    options.outputPath = std::string(300, 'x'); // too long for the stored record: refused
    EXPECT_FALSE(StartExportArea(*m_window, options, [](const ExportOptions&) {}));
}

TEST_F(ElementEditing, ToolWindowFollowsItsCommandAndTheMarkDialogGivesThePath) {
    ASSERT_TRUE(zovtest::WaitUntil([&] { return tool->isVisible(); })) << "shown at start: the option is on";
    m_window->RunCommand(ID_TOOL_WINDOW);
    EXPECT_FALSE(tool->isVisible());
    EXPECT_FALSE(m_app->Config().Flag(Settings::kShowToolWindow));
    EXPECT_FALSE(m_window->Action(ID_TOOL_WINDOW)->isChecked());
    m_window->RunCommand(ID_TOOL_WINDOW);
    EXPECT_TRUE(tool->isVisible());
    EXPECT_TRUE(m_window->Action(ID_TOOL_WINDOW)->isChecked());
    tool->close(); // its own close box clears the option too
    EXPECT_FALSE(m_app->Config().Flag(Settings::kShowToolWindow));
    EXPECT_FALSE(m_window->Action(ID_TOOL_WINDOW)->isChecked());

    const QStringList marks = editor->MarkFiles();
    ASSERT_GE(marks.size(), 21);
    MarkDialog dialog(marks, "Choose a Mark");
    EXPECT_EQ(dialog.List()->count(), marks.size());
    dialog.List()->setCurrentRow(5);
    EXPECT_EQ(dialog.ChosenPath(), marks[5]);
}
