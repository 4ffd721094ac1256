#include "ui/ElementToolWindow.h"

#include "app/Settings.h"
#include "base/StringIds.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstring>

namespace zov {

// Texts of the subscript dialog (the elements' range of the language table).
constexpr int kSubscriptPrompt = S_ELEMENTS_FIRST + 10; // "Type Your Sub Script Here:"
constexpr int kVScroll = S_ELEMENTS_FIRST + 11;
constexpr int kHScroll = S_ELEMENTS_FIRST + 12;

QColor ColourFromElement(uint32_t c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

uint32_t ElementFromColour(const QColor& c) {
    return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
           static_cast<uint32_t>(c.blue()) << 16;
}

std::string StoredTextFromQt(const QString& text) {
    QString t = text;
    t.replace("\r\n", "\n");
    t.replace('\r', '\n');
    t.replace("\n", "\r\n");
    return t.toStdString();
}

QString QtTextFromStored(const char* text) {
    const QByteArray bytes(text ? text : "");
    // Texts of older files may be single-byte ones of another code page: those that are not
    // UTF-8 are taken as Latin-1 rather than shown as replacement characters.
    QString t = QString::fromUtf8(bytes);
    if (t.toUtf8() != bytes)
        t = QString::fromLatin1(bytes);
    t.replace("\r\n", "\n");
    return t;
}

uint32_t PaletteColour(int index, const Settings& settings) {
    if (index < 0 || index >= kPaletteEntries)
        return 0;
    if (index >= 27)
        return settings.U32(Settings::kColourTable + 4 * static_cast<size_t>(index - 27));
    static const uint32_t level[3] = {0x00, 0x80, 0xFF};
    const uint32_t b = level[index % 3], g = level[(index / 3) % 3], r = level[index / 9];
    return r | g << 8 | b << 16;
}

int PaletteIndexAt(QPoint p) {
    if (p.x() < 0 || p.y() < 0)
        return -1;
    const int c = p.x() / 20, r = p.y() / 20;
    if (c > 8 || r > 3)
        return -1;
    // The cell spans (20c + 2, 20r + 2)-(20c + 20, 20r + 20), right and bottom excluded.
    if (p.x() < 20 * c + 2 || p.y() < 20 * r + 2)
        return -1;
    return r * 9 + c;
}

int PenWidthItemAt(QPoint p) {
    for (int i = 0; i < 5; ++i)
        if (QRect(QPoint(5, 5 + 16 * i), QPoint(84, 17 + 16 * i)).contains(p))
            return i;
    return -1;
}

int PenStyleItemAt(QPoint p, int currentWidth) {
    if (currentWidth != 1)
        return -1;
    for (int i = 0; i < 5; ++i)
        if (QRect(QPoint(100, 5 + 16 * i), QPoint(179, 17 + 16 * i)).contains(p))
            return i;
    return -1;
}

int BorderFillSquareAt(QPoint p) {
    for (int k = 0; k < 4; ++k)
        if (QRect(QPoint(12 + 26 * k, 12), QPoint(26 + 26 * k, 26)).contains(p))
            return k;
    return -1;
}

QFont FontFromLogFont(const LogFontA& lf) {
    char face[33] = {};
    std::memcpy(face, lf.lfFaceName, 32);
    QFont f(QString::fromLatin1(face));
    const int h = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
    f.setPixelSize(h > 0 ? h : 13);
    f.setWeight(lf.lfWeight >= 600 ? QFont::Bold : QFont::Normal);
    f.setItalic(lf.lfItalic != 0);
    f.setUnderline(lf.lfUnderline != 0);
    f.setStrikeOut(lf.lfStrikeOut != 0);
    return f;
}

void LogFontFromFont(const QFont& font, LogFontA& lf) {
    int px = font.pixelSize();
    if (px <= 0)
        px = qRound(font.pointSizeF() * 96.0 / 72.0);
    lf.lfHeight = -px;
    lf.lfWidth = 0;
    lf.lfWeight = font.bold() ? 700 : 400;
    lf.lfItalic = font.italic() ? 1 : 0;
    lf.lfUnderline = font.underline() ? 1 : 0;
    lf.lfStrikeOut = font.strikeOut() ? 1 : 0;
    std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
    const QByteArray face = font.family().toLatin1();
    std::memcpy(lf.lfFaceName, face.constData(), std::min<size_t>(static_cast<size_t>(face.size()), 31));
}

// ---- the subscript dialog ---------------------------------------------------------------------

SubscriptDialog::SubscriptDialog(const ElementStyle& style, const std::function<std::string(int)>& text,
                                 QWidget* parent)
    : QDialog(parent), m_style(std::make_unique<ElementStyle>(style)) {
    auto tr = [&](int id) { return QString::fromStdString(text(id)); };
    setWindowTitle(tr(S_ADD_SUBSCRIPT1).remove('&').section(" (", 0, 0));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr(kSubscriptPrompt), this));
    m_text = new QPlainTextEdit(this);
    m_text->setPlainText(QtTextFromStored(m_style->text));
    layout->addWidget(m_text);
    auto* row = new QHBoxLayout;
    m_v = new QRadioButton(tr(kVScroll), this);
    m_h = new QRadioButton(tr(kHScroll), this);
    (m_style->scrollMode ? m_v : m_h)->setChecked(true);
    m_font = new QPushButton(QStringLiteral("Font..."), this);
    row->addWidget(m_v);
    row->addWidget(m_h);
    row->addStretch();
    row->addWidget(m_font);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    chooseFont = [this](LogFontA& lf, uint32_t colour) {
        (void)colour; // the chooser's colour is not taken
        bool ok = false;
        const QFont f = QFontDialog::getFont(&ok, FontFromLogFont(lf), this);
        if (ok)
            LogFontFromFont(f, lf);
        return ok;
    };
    connect(m_font, &QPushButton::clicked, this,
            [this] { (void)chooseFont(m_style->font, m_style->foreColour); });
    connect(buttons, &QDialogButtonBox::accepted, this, &SubscriptDialog::Accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(360, 220);
}

SubscriptDialog::~SubscriptDialog() = default;

void SubscriptDialog::Accept() {
    const std::string t = StoredTextFromQt(m_text->toPlainText());
    const size_t n = std::min(t.size(), sizeof m_style->text - 1);
    std::memcpy(m_style->text, t.data(), n);
    m_style->text[n] = 0;
    m_style->scrollMode = m_v->isChecked() ? 1 : 0;
    accept();
}

// ---- the panels -------------------------------------------------------------------------------

namespace {

// A plain panel: its owner paints it and takes its presses.
class Panel : public QWidget {
  public:
    Panel(QSize size, std::function<void(QPainter&)> paint,
          std::function<void(QPoint, Qt::KeyboardModifiers)> press, QWidget* parent)
        : QWidget(parent), m_paint(std::move(paint)), m_press(std::move(press)) {
        setFixedSize(size);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        m_paint(p);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && m_press)
            m_press(e->position().toPoint(), e->modifiers());
    }

  private:
    std::function<void(QPainter&)> m_paint;
    std::function<void(QPoint, Qt::KeyboardModifiers)> m_press;
};

// Rectangles as the panels give them: right and bottom excluded.
QRect Box(int l, int t, int r, int b) {
    return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

void SampleLine(QPainter& p, int x1, int x2, int y, int width, int style) {
    QPen pen(Qt::black);
    pen.setWidth(width);
    static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                          Qt::DashDotDotLine};
    pen.setStyle(width == 1 ? styles[std::clamp(style, 0, 4)] : Qt::SolidLine);
    p.setPen(pen);
    p.drawLine(x1, y, x2, y);
}

} // namespace

ElementToolWindow::ElementToolWindow(Settings& settings, std::function<std::string(int)> text,
                                     QWidget* parent)
    : QWidget(parent, Qt::Tool), m_settings(settings), m_textOf(std::move(text)),
      m_style(std::make_unique<ElementStyle>()) {
    ResetElementStyle(*m_style);
    m_swatches = new Panel(
        QSize(56, 71), [this](QPainter& p) { PaintSwatches(p); }, nullptr, this);
    m_palette = new Panel(
        QSize(182, 82), [this](QPainter& p) { PaintPalette(p); },
        [this](QPoint at, Qt::KeyboardModifiers m) { PaletteClicked(at, m); }, this);
    m_pen = new Panel(
        QSize(185, 90), [this](QPainter& p) { PaintPen(p); },
        [this](QPoint at, Qt::KeyboardModifiers) { PenClicked(at); }, this);
    m_borderFill = new Panel(
        QSize(118, 39), [this](QPainter& p) { PaintBorderFill(p); },
        [this](QPoint at, Qt::KeyboardModifiers) { BorderFillClicked(at); }, this);
    for (int i = 0; i < 3; ++i) {
        m_targets[static_cast<size_t>(i)] = new QRadioButton(this);
        const ColourTarget t = static_cast<ColourTarget>(i);
        connect(m_targets[static_cast<size_t>(i)], &QRadioButton::toggled, this, [this, t](bool on) {
            if (on)
                m_target = t;
        });
    }
    m_targets[0]->setChecked(true);
    m_text = new QPlainTextEdit(this);
    m_text->setFixedHeight(54);
    m_text->setTabChangesFocus(true);
    m_styleButton = new QPushButton(this);
    connect(m_text, &QPlainTextEdit::textChanged, this, &ElementToolWindow::TextEdited);
    connect(m_styleButton, &QPushButton::clicked, this, &ElementToolWindow::OpenSubscriptDialog);

    chooseColour = [this](uint32_t& colour) {
        const QColor c = QColorDialog::getColor(ColourFromElement(colour), this);
        if (!c.isValid())
            return false;
        colour = ElementFromColour(c);
        return true;
    };
    editSubscript = [this](ElementStyle& style) {
        SubscriptDialog d(style, m_textOf, this);
        if (d.exec() != QDialog::Accepted)
            return false;
        style = d.Style();
        return true;
    };

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->addWidget(m_swatches, 0, 0, Qt::AlignTop);
    grid->addWidget(m_palette, 0, 1, Qt::AlignTop);
    auto* radios = new QVBoxLayout;
    for (QRadioButton* b : m_targets)
        radios->addWidget(b);
    radios->addStretch();
    grid->addLayout(radios, 1, 0, 1, 1);
    grid->addWidget(m_pen, 1, 1, Qt::AlignTop);
    grid->addWidget(m_borderFill, 2, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(m_text, 3, 0, 1, 2);
    grid->addWidget(m_styleButton, 4, 0, 1, 2, Qt::AlignRight);
    ApplyLanguage();
}

ElementToolWindow::~ElementToolWindow() = default;

void ElementToolWindow::ApplyLanguage() {
    auto tr = [this](int id) { return QString::fromStdString(m_textOf(id)); };
    setWindowTitle(tr(S_ELEMENT_STYLE_TITLE));
    m_targets[0]->setText(tr(S_SET_FORE_COLOUR));
    m_targets[1]->setText(tr(S_SET_BACK_COLOUR));
    m_targets[2]->setText(tr(S_SET_BORDER_COLOUR));
    m_styleButton->setText(tr(S_STYLE_BUTTON));
}

QRadioButton* ElementToolWindow::TargetButton(ColourTarget t) const {
    return m_targets[static_cast<size_t>(t)];
}

void ElementToolWindow::SetTarget(ColourTarget t) {
    m_targets[static_cast<size_t>(t)]->setChecked(true);
    m_target = t;
}

void ElementToolWindow::ReceiveStyle(const ElementStyle& style) {
    *m_style = style;
    m_style->text[sizeof m_style->text - 1] = 0;
    m_settingText = true;
    m_text->setPlainText(QtTextFromStored(m_style->text));
    m_settingText = false;
    RepaintPanels();
}

void ElementToolWindow::Changed() {
    emit StyleChanged();
}

void ElementToolWindow::RepaintPanels() {
    for (QWidget* w : {m_swatches, m_palette, m_pen, m_borderFill})
        w->update();
}

void ElementToolWindow::PaletteClicked(QPoint p, Qt::KeyboardModifiers modifiers) {
    const int index = PaletteIndexAt(p);
    if (index < 0)
        return;
    if ((modifiers & Qt::ControlModifier) && index >= 27) {
        uint32_t colour = PaletteColour(index, m_settings);
        if (!chooseColour || !chooseColour(colour))
            return;
        m_settings.SetU32(Settings::kColourTable + 4 * static_cast<size_t>(index - 27), colour & 0xFFFFFF);
        m_palette->update();
    }
    const uint32_t colour = PaletteColour(index, m_settings);
    switch (m_target) {
    case ColourTarget::Fore:
        m_style->foreColour = colour;
        break;
    case ColourTarget::Back:
        m_style->backColour = colour;
        break;
    case ColourTarget::Border:
        m_style->borderColour = colour;
        break;
    }
    m_swatches->update();
    Changed();
}

void ElementToolWindow::PenClicked(QPoint p) {
    const int w = PenWidthItemAt(p);
    const int s = PenStyleItemAt(p, m_style->penWidth);
    if (w >= 0)
        m_style->penWidth = w + 1;
    else if (s >= 0)
        m_style->penStyle = s;
    else
        return;
    m_pen->update();
    Changed();
}

void ElementToolWindow::BorderFillClicked(QPoint p) {
    const int k = BorderFillSquareAt(p);
    if (k < 0)
        return;
    m_style->borderFlag = (k == 0 || k == 1) ? 1 : 0;
    m_style->fillFlag = (k == 0 || k == 2) ? 1 : 0;
    Changed();
    m_borderFill->update();
}

void ElementToolWindow::TextEdited() {
    if (m_settingText)
        return;
    const std::string t = StoredTextFromQt(m_text->toPlainText());
    const size_t n = std::min(t.size(), sizeof m_style->text - 1);
    std::memcpy(m_style->text, t.data(), n);
    m_style->text[n] = 0;
    Changed();
}

void ElementToolWindow::OpenSubscriptDialog() {
    auto copy = std::make_unique<ElementStyle>(*m_style);
    if (!editSubscript || !editSubscript(*copy))
        return;
    *m_style = *copy;
    m_settingText = true;
    m_text->setPlainText(QtTextFromStored(m_style->text));
    m_settingText = false;
    RepaintPanels();
    Changed();
}

// ---- painting ---------------------------------------------------------------------------------

void ElementToolWindow::PaintSwatches(QPainter& p) const {
    p.fillRect(QRect(QPoint(0, 0), m_swatches->size()), palette().window());
    QPen pen(ColourFromElement(m_style->borderColour));
    pen.setWidth(2);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::white);
    p.drawRect(Box(5, 5, 51, 66));
    p.setBrush(ColourFromElement(m_style->backColour));
    p.drawRect(Box(17, 20, 47, 60));
    p.setBrush(ColourFromElement(m_style->foreColour));
    p.drawRect(Box(9, 12, 39, 52));
}

void ElementToolWindow::PaintPalette(QPainter& p) const {
    p.fillRect(QRect(QPoint(0, 0), m_palette->size()), palette().window());
    for (int i = 0; i < kPaletteEntries; ++i) {
        const int c = i % 9, r = i / 9;
        p.fillRect(QRect(20 * c + 2, 20 * r + 2, 18, 18), ColourFromElement(PaletteColour(i, m_settings)));
    }
}

void ElementToolWindow::PaintPen(QPainter& p) const {
    p.fillRect(QRect(QPoint(0, 0), m_pen->size()), Qt::white);
    for (int w = 1; w <= 5; ++w) {
        const int y = 11 + 16 * (w - 1);
        if (w == m_style->penWidth)
            p.fillRect(Box(5, y - 6, 85, y + 7), QColor(0xC0, 0xC0, 0xC0));
        SampleLine(p, 11, 79, y, w, 0);
    }
    if (m_style->penWidth != 1)
        return;
    for (int s = 0; s <= 4; ++s) {
        const int y = 11 + 16 * s;
        if (s == m_style->penStyle)
            p.fillRect(Box(100, y - 6, 180, y + 7), QColor(0xC0, 0xC0, 0xC0));
        SampleLine(p, 106, 174, y, 1, s);
    }
}

void ElementToolWindow::PaintBorderFill(QPainter& p) const {
    p.fillRect(QRect(QPoint(0, 0), m_borderFill->size()), Qt::white);
    const int current = m_style->borderFlag ? (m_style->fillFlag ? 0 : 1) : (m_style->fillFlag ? 2 : 3);
    for (int k = 0; k < 4; ++k) {
        const QRect square = Box(12 + 26 * k, 12, 27 + 26 * k, 27);
        const bool border = k == 0 || k == 1, fill = k == 0 || k == 2;
        if (k == current) // the chosen combination sits on a grey plate
            p.fillRect(square.adjusted(-5, -5, 5, 5), QColor(0xC0, 0xC0, 0xC0));
        p.setPen(border ? QPen(Qt::black) : QPen(Qt::NoPen));
        p.setBrush(fill ? QBrush(QColor(0x80, 0x80, 0x80)) : QBrush(Qt::NoBrush));
        p.drawRect(square.adjusted(0, 0, -1, -1));
        if (!border && !fill) { // "neither": a dotted outline so the square is still seen
            p.setPen(QPen(Qt::gray, 1, Qt::DotLine));
            p.drawRect(square.adjusted(0, 0, -1, -1));
        }
    }
}

} // namespace zov
