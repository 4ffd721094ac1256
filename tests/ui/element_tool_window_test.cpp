// The element style tool window: where palette, pen and border-and-fill clicks land, what
// they change, what the window announces, and the subscript dialog.
#include "app/Settings.h"
#include "tests/ui/QtTestEnv.h"
#include "ui/ElementToolWindow.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <cstring>

using namespace zov;

namespace {

struct ToolWindowTest : ::testing::Test {
    ToolWindowTest() {
        settings.FillDefaults("/tmp/");
        window = std::make_unique<ElementToolWindow>(settings,
                                                     [](int id) { return "text " + std::to_string(id); });
    }
    Settings settings;
    std::unique_ptr<ElementToolWindow> window;
};

// Whether any pixel of `area` differs from white.
bool AnyInk(const QImage& img, QRect area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                return true;
    return false;
}

} // namespace

TEST(Palette, CubeThenTheSettingsCustomColours) {
    Settings s;
    s.FillDefaults("/tmp/");
    EXPECT_EQ(PaletteColour(0, s), 0x000000u);
    EXPECT_EQ(PaletteColour(1, s), 0x800000u);
    EXPECT_EQ(PaletteColour(2, s), 0xFF0000u);
    EXPECT_EQ(PaletteColour(3, s), 0x008000u);
    EXPECT_EQ(PaletteColour(5, s), 0xFF8000u);
    EXPECT_EQ(PaletteColour(9, s), 0x000080u);
    EXPECT_EQ(PaletteColour(11, s), 0xFF0080u);
    EXPECT_EQ(PaletteColour(26, s), 0xFFFFFFu);
    s.SetU32(Settings::kColourTable + 4 * 2, 0x123456);
    EXPECT_EQ(PaletteColour(29, s), 0x123456u);
    EXPECT_EQ(PaletteColour(27, s), 0u);
    EXPECT_EQ(PaletteIndexAt(QPoint(45, 25)), 11);
    EXPECT_EQ(PaletteIndexAt(QPoint(41, 21)), -1); // the gap of the same cell
    EXPECT_EQ(PaletteIndexAt(QPoint(42, 22)), 11);
    EXPECT_EQ(PaletteIndexAt(QPoint(59, 39)), 11);
    EXPECT_EQ(PaletteIndexAt(QPoint(179, 79)), 35);
    EXPECT_EQ(PaletteIndexAt(QPoint(182, 50)), -1);
    EXPECT_EQ(PaletteIndexAt(QPoint(50, 82)), -1);
}

TEST_F(ToolWindowTest, APaletteClickColoursTheChosenTargetAndAnnouncesIt) {
    QSignalSpy changed(window.get(), &ElementToolWindow::StyleChanged);
    EXPECT_TRUE(window->TargetButton(ColourTarget::Fore)->isChecked()) << "fore is chosen on opening";
    const ElementStyle before = window->Style();
    window->PaletteClicked(QPoint(41, 21), Qt::NoModifier);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(std::memcmp(&before, &window->Style(), sizeof before), 0);

    window->PaletteClicked(QPoint(45, 25), Qt::NoModifier);
    EXPECT_EQ(window->Style().foreColour, 0xFF0080u);
    EXPECT_EQ(changed.count(), 1);
    window->TargetButton(ColourTarget::Back)->click();
    window->PaletteClicked(QPoint(5, 5), Qt::NoModifier); // entry 0, black
    EXPECT_EQ(window->Style().backColour, 0u);
    window->TargetButton(ColourTarget::Border)->click();
    window->PaletteClicked(QPoint(65, 5), Qt::NoModifier); // entry 3
    EXPECT_EQ(window->Style().borderColour, 0x008000u);
    EXPECT_EQ(window->Style().foreColour, 0xFF0080u);
    EXPECT_EQ(changed.count(), 3);
    // The swatches show it: the fore square's inside at (20, 30) is entry 11's colour.
    const QImage sw = window->SwatchPanel()->grab().toImage();
    EXPECT_EQ(sw.pixel(20, 30) & 0xFFFFFF, 0x8000FFu);
}

TEST_F(ToolWindowTest, CtrlOpensTheColourChooserOnlyOnTheCustomRow) {
    int asked = 0;
    uint32_t answer = 0x00A0B0;
    bool accept = true;
    window->chooseColour = [&](uint32_t& c) {
        ++asked;
        if (accept)
            c = answer;
        return accept;
    };
    window->PaletteClicked(QPoint(45, 25), Qt::ControlModifier); // row 1: no chooser
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(window->Style().foreColour, 0xFF0080u);
    window->PaletteClicked(QPoint(45, 65), Qt::ControlModifier); // row 3, column 2: custom 2
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(settings.U32(Settings::kColourTable + 8), 0x00A0B0u);
    EXPECT_EQ(window->Style().foreColour, 0x00A0B0u);
    accept = false; // cancelled: the click ends there
    QSignalSpy changed(window.get(), &ElementToolWindow::StyleChanged);
    window->PaletteClicked(QPoint(5, 65), Qt::ControlModifier);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(window->Style().foreColour, 0x00A0B0u);
    window->PaletteClicked(QPoint(5, 65), Qt::NoModifier); // plain: the stored custom colour
    EXPECT_EQ(window->Style().foreColour, settings.U32(Settings::kColourTable));
}

TEST_F(ToolWindowTest, WidthThreeHidesThePenStyleColumn) {
    QSignalSpy changed(window.get(), &ElementToolWindow::StyleChanged);
    const QRect styleColumn(100, 0, 85, 90);
    EXPECT_TRUE(AnyInk(window->PenPanel()->grab().toImage(), styleColumn));
    window->PenClicked(QPoint(120, 40)); // style item 2: dot
    EXPECT_EQ(window->Style().penStyle, 2);
    window->PenClicked(QPoint(30, 40)); // width item 2
    EXPECT_EQ(window->Style().penWidth, 3);
    EXPECT_FALSE(AnyInk(window->PenPanel()->grab().toImage(), styleColumn));
    window->PenClicked(QPoint(120, 10)); // the hidden column takes no clicks
    EXPECT_EQ(window->Style().penStyle, 2);
    EXPECT_EQ(changed.count(), 2);
    window->PenClicked(QPoint(30, 8)); // width 1 again: the column is back
    EXPECT_EQ(window->Style().penWidth, 1);
    EXPECT_TRUE(AnyInk(window->PenPanel()->grab().toImage(), styleColumn));
    EXPECT_EQ(PenWidthItemAt(QPoint(84, 17)), 0);
    EXPECT_EQ(PenWidthItemAt(QPoint(85, 17)), -1);
    EXPECT_EQ(PenWidthItemAt(QPoint(30, 18)), -1) << "the gap between rows";
}

TEST_F(ToolWindowTest, BorderAndFillSquares) {
    window->BorderFillClicked(QPoint(12 + 26 * 2, 20));
    EXPECT_EQ(window->Style().borderFlag, 0);
    EXPECT_EQ(window->Style().fillFlag, 1);
    window->BorderFillClicked(QPoint(26 + 26 * 1, 26));
    EXPECT_EQ(window->Style().borderFlag, 1);
    EXPECT_EQ(window->Style().fillFlag, 0);
    window->BorderFillClicked(QPoint(12 + 26 * 3, 12));
    EXPECT_EQ(window->Style().borderFlag, 0);
    EXPECT_EQ(window->Style().fillFlag, 0);
    EXPECT_EQ(BorderFillSquareAt(QPoint(27, 20)), -1);
    EXPECT_EQ(BorderFillSquareAt(QPoint(20, 27)), -1);
}

TEST_F(ToolWindowTest, TextFieldStoresCrLfAndAReceivedStyleIsNotAnnounced) {
    QSignalSpy changed(window.get(), &ElementToolWindow::StyleChanged);
    auto style = std::make_unique<ElementStyle>();
    ResetElementStyle(*style);
    std::strcpy(style->text, "one\r\ntwo");
    style->penWidth = 4;
    window->ReceiveStyle(*style);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(window->TextField()->toPlainText(), "one\ntwo");
    EXPECT_EQ(window->Style().penWidth, 4);
    window->TextField()->setPlainText("a\nb\xC3\xA9");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_STREQ(window->Style().text, "a\r\nb\xC3\xA9");
    EXPECT_EQ(QtTextFromStored("x\r\ny"), "x\ny");
    EXPECT_EQ(QtTextFromStored("\xE9t\xE9"), QString::fromUtf8("\xC3\xA9t\xC3\xA9")) << "Latin-1 fallback";
}

TEST_F(ToolWindowTest, StyleButtonTakesTheDialogsStyleOnlyOnOk) {
    QSignalSpy changed(window.get(), &ElementToolWindow::StyleChanged);
    window->editSubscript = [](ElementStyle&) { return false; };
    window->StyleButton()->click();
    EXPECT_EQ(changed.count(), 0);
    window->editSubscript = [](ElementStyle& s) {
        std::strcpy(s.text, "l1\r\nl2");
        s.scrollMode = 1;
        return true;
    };
    window->StyleButton()->click();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(window->Style().scrollMode, 1);
    EXPECT_EQ(window->TextField()->toPlainText(), "l1\nl2");
}

TEST(SubscriptDialog, OkTakesTextScrollModeAndTheChosenFont) {
    auto style = std::make_unique<ElementStyle>();
    ResetElementStyle(*style);
    std::strcpy(style->text, "a\r\nb");
    style->scrollMode = 0;
    style->foreColour = 0x0000FF;
    SubscriptDialog d(*style, [](int) { return std::string("t"); });
    EXPECT_EQ(d.TextField()->toPlainText(), "a\nb");
    EXPECT_FALSE(d.VScroll()->isChecked());
    uint32_t shownColour = 0;
    d.chooseFont = [&](LogFontA& lf, uint32_t colour) {
        shownColour = colour;
        QFont f("DejaVu Sans");
        f.setPixelSize(20);
        f.setBold(true);
        LogFontFromFont(f, lf);
        return true;
    };
    d.FontButton()->click();
    EXPECT_EQ(shownColour, 0x0000FFu);
    d.TextField()->setPlainText("x\ny\nz");
    d.VScroll()->setChecked(true);
    auto* box = d.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    box->button(QDialogButtonBox::Ok)->click();
    ASSERT_EQ(d.result(), QDialog::Accepted);
    EXPECT_STREQ(d.Style().text, "x\r\ny\r\nz");
    EXPECT_EQ(d.Style().scrollMode, 1);
    EXPECT_EQ(d.Style().font.lfHeight, -20);
    EXPECT_EQ(d.Style().font.lfWeight, 700);
    EXPECT_STREQ(d.Style().font.lfFaceName, "DejaVu Sans");
    EXPECT_EQ(d.Style().foreColour, 0x0000FFu) << "the chooser's colour is not taken";
}
