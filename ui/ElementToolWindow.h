// The element style tool window: a small window beside the editor where the user picks the
// colours, the pen, border and fill, the text, the font and the scroll direction of the
// element being made or changed. It keeps its own style record and announces every change
// (StyleChanged, which the editor receives queued and applies to the current element); the
// editor hands it the style of an element that was made or picked (ReceiveStyle).
//
// The panels are plain widgets drawn by the window; the hit rules of the palette, the pen
// panel and the border-and-fill panel are free functions so they can be checked alone.
#pragma once

#include "elements/ElementTypes.h"

#include <QDialog>
#include <QPoint>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

class QPainter;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace zov {

class Settings;

// A colour of an element (0x00BBGGRR) as a Qt colour, and back.
QColor ColourFromElement(uint32_t bgr);
uint32_t ElementFromColour(const QColor& c);

// Stored texts keep "\r\n" line breaks and UTF-8 for what is not ASCII; Qt's texts use "\n".
std::string StoredTextFromQt(const QString& text);
QString QtTextFromStored(const char* text);

constexpr int kPaletteEntries = 36;
constexpr int kCustomColours = 9;
// Palette entry i: 0..26 the cube of 0x00/0x80/0xFF (blue fastest, then green, then red);
// 27..35 the nine custom colours of the settings.
uint32_t PaletteColour(int index, const Settings& settings);
// The palette entry under a panel point; -1 in the 2-pixel gaps and outside the 9 x 4 cells.
int PaletteIndexAt(QPoint p);
// The pen panel: the width item (0..4, width = item + 1) or the style item (0..4) under a
// point, -1 for none. The style column exists only while the width is 1.
int PenWidthItemAt(QPoint p);
int PenStyleItemAt(QPoint p, int currentWidth);
// The border-and-fill square (0 both, 1 border only, 2 fill only, 3 neither) or -1.
int BorderFillSquareAt(QPoint p);

// What a palette click colours.
enum class ColourTarget { Fore, Back, Border };

// The subscript dialog: the text, the scroll direction and the font of a style.
class SubscriptDialog : public QDialog {
    Q_OBJECT
  public:
    SubscriptDialog(const ElementStyle& style, const std::function<std::string(int)>& text,
                    QWidget* parent = nullptr);
    ~SubscriptDialog() override;
    // The style as the dialog leaves it (valid after accept()).
    const ElementStyle& Style() const { return *m_style; }
    // Opens the font chooser; tests replace it (true: `font` was changed).
    std::function<bool(LogFontA& font, uint32_t colour)> chooseFont;
    QPlainTextEdit* TextField() const { return m_text; }
    QRadioButton* VScroll() const { return m_v; }
    QPushButton* FontButton() const { return m_font; }

  private:
    void Accept();
    std::unique_ptr<ElementStyle> m_style;
    QPlainTextEdit* m_text = nullptr;
    QRadioButton* m_v = nullptr;
    QRadioButton* m_h = nullptr;
    QPushButton* m_font = nullptr;
};

// A LOGFONTA as a Qt font and back (pixel sizes, the face truncated to 31 bytes).
QFont FontFromLogFont(const LogFontA& lf);
void LogFontFromFont(const QFont& font, LogFontA& lf);

class ElementToolWindow : public QWidget {
    Q_OBJECT
  public:
    // `settings` gives the custom colours (read on every paint, written by the colour
    // chooser); `text` the language's texts by index.
    ElementToolWindow(Settings& settings, std::function<std::string(int)> text, QWidget* parent = nullptr);
    ~ElementToolWindow() override;

    const ElementStyle& Style() const { return *m_style; }
    // The style of an element made or picked: shown whole, the text field included. Does not
    // announce a change.
    void ReceiveStyle(const ElementStyle& style);
    void SetTarget(ColourTarget t);
    ColourTarget Target() const { return m_target; }
    // The captions after a language switch.
    void ApplyLanguage();

    // Mouse presses on the panels, in panel coordinates (the widgets call these).
    void PaletteClicked(QPoint p, Qt::KeyboardModifiers modifiers);
    void PenClicked(QPoint p);
    void BorderFillClicked(QPoint p);
    // Paints a panel (the panels call these).
    void PaintSwatches(QPainter& p) const;
    void PaintPalette(QPainter& p) const;
    void PaintPen(QPainter& p) const;
    void PaintBorderFill(QPainter& p) const;

    // Dialog hooks that tests replace: the colour chooser (true: `colour` was chosen) and the
    // subscript dialog (true: `style` was changed and accepted).
    std::function<bool(uint32_t& colour)> chooseColour;
    std::function<bool(ElementStyle& style)> editSubscript;

    QWidget* SwatchPanel() const { return m_swatches; }
    QWidget* PalettePanel() const { return m_palette; }
    QWidget* PenPanel() const { return m_pen; }
    QWidget* BorderFillPanel() const { return m_borderFill; }
    QPlainTextEdit* TextField() const { return m_text; }
    QPushButton* StyleButton() const { return m_styleButton; }
    QRadioButton* TargetButton(ColourTarget t) const;

  signals:
    // Every change made in the window; the style is Style().
    void StyleChanged();

  private:
    void Changed();
    void RepaintPanels();
    void OpenSubscriptDialog();
    void TextEdited();

    Settings& m_settings;
    std::function<std::string(int)> m_textOf;
    std::unique_ptr<ElementStyle> m_style;
    ColourTarget m_target = ColourTarget::Fore;
    QWidget* m_swatches = nullptr;
    QWidget* m_palette = nullptr;
    QWidget* m_pen = nullptr;
    QWidget* m_borderFill = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_styleButton = nullptr;
    std::array<QRadioButton*, 3> m_targets{};
    bool m_settingText = false;
};

} // namespace zov
