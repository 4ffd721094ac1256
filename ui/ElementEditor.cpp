#include "ui/ElementEditor.h"

#include "app/Application.h"
#include "app/Settings.h"
#include "base/Log.h"
#include "base/StringIds.h"
#include "core/Ani.h"
#include "core/UndoStack.h"
#include "elements/ElementList.h"
#include "ui/FrameView.h"
#include "ui/MainWindow.h"
#include "ui/ThumbnailStrip.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <utility>

namespace zov {

namespace {

// Texts of the image and mark commands (exports and imports range of the language table).
constexpr int kChooseMarkText = 172;
constexpr int kImageFailedText = 173;
constexpr int kMarkFailedText = 174;
constexpr int kChooseImageText = 175;
constexpr int kDefaultElementText = S_ELEMENTS_FIRST + 13; // "Your text here"

// The rectangle every kind but 0, 3 and 7 keeps at the start of its body.
ElementRect* RectOf(ElementRecord& r) {
    if (r.kind == ELEMENT_LINE || r.kind == ELEMENT_BOX2 || r.kind == ELEMENT_RESERVED7 ||
        r.body.size() < sizeof(ElementRect))
        return nullptr;
    return reinterpret_cast<ElementRect*>(r.body.data());
}

// The tool that reshapes an element of each kind after a pick.
int ToolOfKind(int32_t kind) {
    switch (kind) {
    case ELEMENT_LINE:
        return MODE_LINE;
    case ELEMENT_CIRCLE:
        return MODE_CIRCLE;
    case ELEMENT_BOX:
        return MODE_BOX;
    case ELEMENT_BOX2:
        return MODE_BOX2;
    case ELEMENT_TEXT:
        return MODE_TEXT;
    case ELEMENT_SUBSCRIPT1:
        return MODE_SUBSCRIPT1;
    case ELEMENT_SUBSCRIPT2:
        return MODE_SUBSCRIPT2;
    case ELEMENT_URLLINK:
        return MODE_URL;
    case ELEMENT_IMAGE:
        return MODE_IMAGE;
    default:
        return MODE_NONE;
    }
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A channel of a bit-field pixel scaled to 8 bits.
uint8_t Channel(uint32_t pixel, uint32_t mask) {
    if (!mask)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    const uint32_t max = mask >> shift;
    const uint32_t v = (pixel & mask) >> shift;
    return static_cast<uint8_t>((static_cast<uint64_t>(v) * 255 + max / 2) / max);
}

} // namespace

void DefaultElementStyle(const Settings& settings, const std::string& defaultText, ElementStyle& out) {
    ResetElementStyle(out, nullptr, defaultText.c_str());
    // The settings' record holds the style up to the border and fill flags (84 bytes).
    std::memcpy(&out, settings.bytes.data() + Settings::kTextStyle, offsetof(ElementStyle, spareColour));
    out.font.lfFaceName[31] = 0;
    const char* stored = reinterpret_cast<const char*>(settings.bytes.data() + Settings::kTextStyle +
                                                       offsetof(ElementStyle, text));
    if (stored[0]) {
        const size_t n = strnlen(stored, sizeof out.text - 1);
        std::memcpy(out.text, stored, n);
        out.text[n] = 0;
    }
}

bool ReadImageFile(const std::string& path, ImageInfoHeader& info, std::vector<uint8_t>& bits) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (file.size() < 14 + 40 || file[0] != 'B' || file[1] != 'M')
        return false;
    const uint32_t offBits = Le32(&file[10]);
    const uint32_t headerSize = Le32(&file[14]);
    if (headerSize != 40 && headerSize != 108 && headerSize != 124)
        return false;
    if (file.size() < 14 + static_cast<size_t>(headerSize))
        return false;
    const uint8_t* h = &file[14];
    const int32_t width = static_cast<int32_t>(Le32(h + 4));
    const int32_t rawHeight = static_cast<int32_t>(Le32(h + 8));
    const uint16_t bitCount = static_cast<uint16_t>(h[14] | h[15] << 8);
    const uint32_t compression = Le32(h + 16);
    if (width < 1 || rawHeight == 0 || rawHeight == INT32_MIN || width > 16384)
        return false;
    const bool topDown = rawHeight < 0;
    const int32_t height = topDown ? -rawHeight : rawHeight;
    if (height > 16384 || (bitCount != 16 && bitCount != 24 && bitCount != 32))
        return false;
    const bool bitFields = compression == 3;
    if (compression != 0 && !bitFields)
        return false;
    const size_t row = ((static_cast<size_t>(width) * bitCount / 8) + 3) & ~size_t{3};
    const size_t size = row * static_cast<size_t>(height);
    if (offBits > file.size() || file.size() - offBits < size)
        return false;
    const uint8_t* src = file.data() + offBits;

    uint32_t masks[3] = {0, 0, 0};
    if (bitFields) {
        // The masks follow a 40-byte header, or sit inside a larger one.
        if (headerSize == 40 && file.size() < 14 + 40 + 12)
            return false;
        for (int i = 0; i < 3; ++i)
            masks[i] = Le32(h + 40 + 4 * i);
        if (bitCount == 24 || !masks[0] || !masks[1] || !masks[2])
            return false;
    }
    auto sourceRow = [&](int32_t y) { // bottom-up index y
        return src + row * static_cast<size_t>(topDown ? height - 1 - y : y);
    };
    std::memset(&info, 0, sizeof info);
    info.biSize = 40;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    if (!bitFields) {
        info.biBitCount = bitCount;
        bits.resize(size);
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(bits.data() + row * static_cast<size_t>(y), sourceRow(y), row);
    } else {
        // Bit-field bits become plain 24-bit ones, whatever order their masks give.
        const size_t outRow = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
        info.biBitCount = 24;
        bits.assign(outRow * static_cast<size_t>(height), 0);
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* s = sourceRow(y);
            uint8_t* d = bits.data() + outRow * static_cast<size_t>(y);
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t px = bitCount == 16 ? static_cast<uint32_t>(s[2 * x] | s[2 * x + 1] << 8)
                                                   : Le32(s + 4 * static_cast<size_t>(x));
                d[3 * x] = Channel(px, masks[2]);
                d[3 * x + 1] = Channel(px, masks[1]);
                d[3 * x + 2] = Channel(px, masks[0]);
            }
        }
    }
    info.biSizeImage = static_cast<uint32_t>(bits.size());
    return true;
}

ElementEditor::ElementEditor(CMainWindow& window, CAni& doc)
    : QObject(&window), m_window(window), m_doc(doc), m_style(std::make_unique<ElementStyle>()) {
    DefaultElementStyle(m_window.App().Config(), m_window.App().Text(kDefaultElementText), *m_style);
    ClearHandles(m_handles);
    m_popup = new QMenu(&window);
    const std::pair<int, int> items[] = {{ID_DELETE_ELEMENT, S_DELETE_ELEMENT},
                                         {ID_DELETE_ALL_ELEMENTS, S_DELETE_ALL_ELEMENTS},
                                         {ID_COPY_ELEMENTS, S_COPY_ELEMENTS},
                                         {ID_PASTE_ELEMENTS, S_PASTE_ELEMENTS},
                                         {ID_SELECT_ALL_ELEMENTS, S_SELECT_ALL_ELEMENTS}};
    for (auto [id, text] : items) {
        QAction* a = m_popup->addAction(QString());
        a->setData(id);
        a->setProperty("zovString", text);
        const int cmd = id;
        connect(a, &QAction::triggered, this, [this, cmd] { m_window.RunCommand(cmd); });
    }
    chooseMark = [](const QStringList&) { return QString(); };
}

ElementEditor::~ElementEditor() = default;

QString ElementEditor::Tr(int id) const {
    return QString::fromStdString(m_window.App().Text(id));
}

// ---- state --------------------------------------------------------------------------------------

int ElementEditor::Mode() const {
    return Ready() ? m_window.EditMode() : MODE_NONE;
}

void ElementEditor::SetMode(int mode) {
    m_window.ReflectEditMode(mode);
}

ElementRecord* ElementEditor::Current() const {
    return m_currentId ? m_doc.Elements().FindId(m_currentId) : nullptr;
}

void ElementEditor::SetCurrent(ElementRecord* r) {
    m_currentId = r ? r->id : 0;
    if (!r)
        ClearHandles(m_handles);
}

bool ElementEditor::Ready() const {
    return m_doc.IsFileOpen() && m_doc.DocMode() == DOC_PROJECT && m_doc.FrameCount() > 0;
}

int32_t ElementEditor::Anchor() const {
    return m_window.Selection().selection.anchor;
}

int32_t ElementEditor::RangeFirst() const {
    return m_doc.SelectionStart();
}

int32_t ElementEditor::RangeLast() const {
    const int64_t last = int64_t{m_doc.SelectionStart()} + std::max<int32_t>(m_doc.SelectionCount(), 1) - 1;
    return static_cast<int32_t>(std::min<int64_t>(last, m_doc.FrameCount() - 1));
}

void ElementEditor::SetEditMode(int mode) {
    const int old = m_window.EditMode();
    m_doc.Elements().ClearSelection();
    SetMode(mode);
    if (mode != old && FinishCurrent())
        SetMode(MODE_NONE);
    if (Ready())
        RedrawWork();
    if (mode != old)
        RedrawStrip();
}

// ---- drawing --------------------------------------------------------------------------------------

void ElementEditor::RedrawWork() {
    m_window.ShowAnchor();
}

void ElementEditor::RedrawDisplay() {
    m_window.RefreshView();
    m_window.View()->update();
}

void ElementEditor::RedrawStrip() {
    m_window.Strip()->InvalidateThumbnails();
    m_window.RefreshStrip();
}

void ElementEditor::SaveBlock() {
    if (!m_doc.WriteIndex())
        ZOV_LOG("Save Elements Fail");
}

// ---- undo -----------------------------------------------------------------------------------------

void ElementEditor::PushChange(const std::vector<ElementRecord*>& changing) {
    ElementUndo step = m_doc.ElementUndoBase();
    for (ElementRecord* r : changing)
        if (r)
            step.before.push_back(*r);
    if (!m_doc.PushElementUndo(std::move(step)))
        ZOV_LOG("E: Fail");
}

void ElementEditor::PushCreation(const std::vector<uint64_t>& ids, ElementUndo&& base) {
    base.created = ids;
    if (!m_doc.PushElementUndo(std::move(base)))
        ZOV_LOG("E: Fail");
}

// ---- the mouse ------------------------------------------------------------------------------------

QPoint ElementEditor::ToFrame(QPoint view) const {
    return m_window.View()->ToFramePixel(view, QSize(m_doc.ImageWidth(), m_doc.ImageHeight()));
}

void ElementEditor::ViewPress(QPoint view, Qt::KeyboardModifiers modifiers) {
    if (!Ready() || m_window.PlayerState() != PLAYER_IDLE)
        return;
    if ((modifiers & Qt::ControlModifier) && (modifiers & Qt::ShiftModifier))
        return; // the window's size cycle
    if (modifiers & Qt::ControlModifier) {
        m_doc.Select(m_window.Selection().selection.Start(), m_window.Selection().selection.End());
        ToggleSelectAt(ToFrame(view));
        return;
    }
    m_pressed = true;
    MouseDown(ToFrame(view));
    if (Mode() == MODE_NONE)
        m_window.View()->setCursor(Qt::ArrowCursor);
}

void ElementEditor::ViewMove(QPoint view) {
    if (!Ready())
        return;
    if (m_pressed) {
        MouseMove(ToFrame(view));
        return;
    }
    // With a tool: the cursor of the handle under the mouse, the move cursor over the element.
    if (Mode() != MODE_NONE) {
        const QPoint p = ToFrame(view);
        Qt::CursorShape shape = Qt::CrossCursor;
        if (ElementRecord* cur = Current()) {
            switch (HandleAt(m_handles, p.x(), p.y())) {
            case CURSOR_SIZEALL:
                shape = Qt::SizeAllCursor;
                break;
            case CURSOR_SIZENWSE:
                shape = Qt::SizeFDiagCursor;
                break;
            case CURSOR_SIZENESW:
                shape = Qt::SizeBDiagCursor;
                break;
            case CURSOR_SIZENS:
                shape = Qt::SizeVerCursor;
                break;
            case CURSOR_SIZEWE:
                shape = Qt::SizeHorCursor;
                break;
            default:
                if (m_doc.Elements().HitTest(cur, p.x(), p.y(), RangeFirst(), false))
                    shape = Qt::SizeAllCursor;
            }
        }
        m_window.View()->setCursor(shape);
        return;
    }
    // Over the view with no tool: the URL of a link under the mouse, else the frame text.
    if (m_window.PlayerState() == PLAYER_IDLE) {
        const QPoint p = ToFrame(view);
        const std::string url = UrlAt(m_doc.Elements(), Anchor(), p.x(), p.y());
        m_window.StatusLabel()->setText(url.empty() ? m_window.StatusText() : QString::fromStdString(url));
    }
}

void ElementEditor::ViewRelease(QPoint view) {
    if (!m_pressed)
        return;
    m_pressed = false;
    if (Ready())
        MouseUp(ToFrame(view));
}

void ElementEditor::MouseDown(QPoint p) {
    if (!Ready() || Anchor() < 0 || Anchor() >= m_doc.FrameCount())
        return;
    m_pressPoint = m_lastPoint = p;
    m_creating = false;
    m_changePushed = false;
    m_moved = false;
    Press(p, 0);
}

void ElementEditor::Press(QPoint p, int depth) {
    CElementList& list = m_doc.Elements();
    const int32_t f = RangeFirst();
    const int mode = Mode();
    if (mode == MODE_NONE) {
        if (Current())
            return;
        ElementRecord* r = list.FindAt(f, p.x(), p.y(), false);
        if (!r) {
            list.ClearSelection();
            SetCurrent(nullptr);
            RedrawWork();
            return;
        }
        if (list.IsSelected(r))
            return;
        list.ClearSelection();
        SetCurrent(r);
        list.Select(r);
        if (r->kind == ELEMENT_RESERVED7 || r->kind == ELEMENT_SAVEAREA) {
            RedrawWork();
            return;
        }
        BuildHandles(*r, m_handles, kHandleNone);
        list.ReadStyle(r, *m_style);
        emit ElementPicked(r->kind);
        SetMode(MODE_PICKED);
        RedrawWork();
        return;
    }
    if (mode == MODE_MULTIPLE) {
        ElementRecord* r = list.FindAt(f, p.x(), p.y(), false);
        if (!r) {
            list.ClearSelection();
            SetMode(MODE_NONE);
            RedrawWork();
            return;
        }
        if (list.IsSelected(r))
            return; // the drag moves the whole selection
        SetMode(MODE_NONE);
        SetCurrent(nullptr);
        list.ClearSelection();
        if (depth < 2)
            Press(p, depth + 1);
        return;
    }
    if (ElementRecord* cur = Current()) {
        if (PickHandle(m_handles, p.x(), p.y()))
            return;
        if (list.HitTest(cur, p.x(), p.y(), f, false)) {
            m_handles.current = kHandleWhole;
            return;
        }
        FinishCurrent();
        if (depth < 2)
            Press(p, depth + 1);
        return;
    }
    // A tool without a current element makes one.
    int kind = -1;
    switch (mode) {
    case MODE_CIRCLE:
        kind = ELEMENT_CIRCLE;
        break;
    case MODE_BOX:
        kind = ELEMENT_BOX;
        break;
    case MODE_BOX2:
        kind = ELEMENT_BOX2;
        break;
    case MODE_LINE:
        kind = ELEMENT_LINE;
        break;
    case MODE_SUBSCRIPT1:
        kind = ELEMENT_SUBSCRIPT1;
        break;
    case MODE_SUBSCRIPT2:
        kind = ELEMENT_SUBSCRIPT2;
        break;
    case MODE_TEXT:
        kind = ELEMENT_TEXT;
        break;
    case MODE_URL:
        kind = ELEMENT_URLLINK;
        break;
    default:
        ZOV_LOG("E: Fail");
        return;
    }
    // New elements start from the default style, not from the last one chosen.
    DefaultElementStyle(m_window.App().Config(), m_window.App().Text(kDefaultElementText), *m_style);
    ElementUndo base = m_doc.ElementUndoBase();
    ElementRecord* r = list.Create(f, RangeLast(), kind);
    if (!r) {
        ZOV_LOG("E: Fail");
        return;
    }
    if (kind != ELEMENT_URLLINK)
        list.ApplyStyle(r, *m_style);
    int handle = 7;
    if (kind == ELEMENT_LINE) {
        LineBody* b = r->Body<LineBody>();
        b->x1 = b->x2 = p.x();
        b->y1 = b->y2 = p.y();
        handle = 2;
    } else if (kind == ELEMENT_BOX2) {
        Box2Body* b = r->Body<Box2Body>();
        b->textRect = {p.x(), p.y(), p.x(), p.y()};
        b->tip = {p.x() + 30, p.y() - 30};
        for (ElementPoint& o : b->outline)
            o = {p.x(), p.y()};
    } else if (ElementRect* rect = RectOf(*r)) {
        *rect = {p.x(), p.y(), p.x(), p.y()};
    }
    SetCurrent(r);
    BuildHandles(*r, m_handles, handle);
    emit ElementPicked(kind);
    PushCreation({r->id}, std::move(base));
    list.Select(r);
    m_creating = true;
    RedrawWork();
}

void ElementEditor::MouseMove(QPoint p) {
    if (!Ready())
        return;
    const int32_t dx = p.x() - m_lastPoint.x(), dy = p.y() - m_lastPoint.y();
    if (dx == 0 && dy == 0)
        return;
    ElementRecord* cur = Current();
    if (cur && m_handles.current != kHandleNone) {
        if (!m_creating && !m_changePushed) {
            PushChange({cur});
            m_changePushed = true;
        }
        const int h = m_handles.current;
        if (cur->kind == ELEMENT_LINE) {
            LineBody* b = cur->Body<LineBody>();
            ElementPoint s{b->x1, b->y1}, e{b->x2, b->y2};
            if (MoveLine(s, e, dx, dy, h)) {
                b->x1 = s.x;
                b->y1 = s.y;
                b->x2 = e.x;
                b->y2 = e.y;
            }
        } else if (cur->kind == ELEMENT_BOX2) {
            Box2Body* b = cur->Body<Box2Body>();
            ReshapeBox2(b->textRect, b->tip, b->outline, dx, dy, h, false);
        } else if (ElementRect* rect = RectOf(*cur)) {
            ResizeRect(*rect, dx, dy, h, false);
        }
        BuildHandles(*cur, m_handles, h);
        m_moved = true;
    }
    if (Mode() == MODE_MULTIPLE) {
        if (!m_changePushed) {
            std::vector<ElementRecord*> selected;
            int cursor = 0;
            while (ElementRecord* r = m_doc.Elements().NextSelected(cursor))
                selected.push_back(r);
            PushChange(selected);
            m_changePushed = true;
        }
        m_doc.Elements().MoveSelection(dx, dy);
        m_moved = true;
    }
    m_lastPoint = p;
    RedrawDisplay();
}

void ElementEditor::MouseUp(QPoint p) {
    (void)p;
    if (!Ready())
        return;
    if (ElementRecord* cur = Current()) {
        if (cur->kind == ELEMENT_BOX2) {
            Box2Body* b = cur->Body<Box2Body>();
            ReshapeBox2(b->textRect, b->tip, b->outline, 0, 0, kHandleWhole, true);
        } else if (ElementRect* rect = RectOf(*cur)) {
            *rect = NormaliseRect(*rect);
        }
        BuildHandles(*cur, m_handles, kHandleWhole);
    }
    if (Mode() == MODE_PICKED) {
        ElementRecord* cur = Current();
        SetMode(cur ? ToolOfKind(cur->kind) : MODE_NONE);
    }
    if (Mode() == MODE_MULTIPLE && m_moved) {
        SaveBlock();
        RedrawStrip();
    }
    m_creating = false;
    RedrawDisplay();
}

bool ElementEditor::ToggleSelectAt(QPoint p) {
    if (!Ready())
        return false;
    CElementList& list = m_doc.Elements();
    // An element still being made is finished (and saved) first; it stays selected.
    if (Current())
        FinishCurrent();
    ElementRecord* r = list.FindAt(RangeFirst(), p.x(), p.y(), false);
    if (r) {
        if (list.IsSelected(r))
            list.Deselect(r);
        else
            list.Select(r);
    }
    SetCurrent(nullptr);
    SetMode(MODE_MULTIPLE);
    RedrawWork();
    return r != nullptr;
}

// ---- operations -----------------------------------------------------------------------------------

bool ElementEditor::FinishCurrent() {
    ElementRecord* cur = Current();
    if (!cur)
        return false;
    if (cur->kind == ELEMENT_SAVEAREA) {
        // The area leaves the list and goes to the export as the request's area.
        const SaveAreaBody body = *cur->Body<SaveAreaBody>();
        ExportOptions options = m_pendingExport;
        const ElementRect area = NormaliseRect(body.area);
        const int32_t w = m_doc.ImageWidth(), h = m_doc.ImageHeight();
        options.left = std::clamp(area.left, 0, w);
        options.top = std::clamp(area.top, 0, h);
        options.right = std::clamp(area.right, 0, w);
        options.bottom = std::clamp(area.bottom, 0, h);
        options.first = body.firstFrame;
        options.last = body.lastFrame;
        SetMode(MODE_NONE);
        (void)m_doc.Elements().Delete(cur);
        SetCurrent(nullptr);
        ClearHandles(m_handles);
        RedrawWork();
        if (auto run = std::exchange(m_runExport, nullptr))
            QMetaObject::invokeMethod(
                this, [run, options] { run(options); }, Qt::QueuedConnection);
        return true;
    }
    SetMode(MODE_NONE);
    SetCurrent(nullptr);
    ClearHandles(m_handles);
    SaveBlock();
    RedrawStrip();
    return true;
}

bool ElementEditor::SelectAllInFrame(int32_t f) {
    if (!Ready())
        return false;
    CElementList& list = m_doc.Elements();
    if (list.CountInFrame(f) < 1)
        return false;
    if (Current())
        FinishCurrent();
    list.ClearSelection();
    for (int i = 0; i < list.Count(); ++i)
        if (ElementRecord* r = list.At(i); r->ShownOn(f))
            list.Select(r);
    SetCurrent(nullptr);
    SetMode(MODE_MULTIPLE);
    RedrawWork();
    return true;
}

bool ElementEditor::DeleteSelected() {
    CElementList& list = m_doc.Elements();
    if (!Ready() || list.SelectionCount() < 1)
        return false;
    ElementUndo step = m_doc.ElementUndoBase();
    list.ClearClipboard();
    std::vector<ElementRecord*> selected;
    int cursor = 0;
    while (ElementRecord* r = list.NextSelected(cursor))
        selected.push_back(r);
    for (ElementRecord* r : selected)
        if (auto taken = list.Take(r))
            step.removed.push_back(std::move(taken));
    if (!m_doc.PushElementUndo(std::move(step)))
        ZOV_LOG("E: Fail"); // the stack is full: the elements are gone for good
    SetCurrent(nullptr);
    SetMode(MODE_NONE);
    SaveBlock();
    RedrawWork();
    RedrawStrip();
    return true;
}

bool ElementEditor::DeleteAllInFrame(int32_t f) {
    CElementList& list = m_doc.Elements();
    if (!Ready() || f < 0 || f >= m_doc.FrameCount() || list.CountInFrame(f) < 1)
        return false;
    ElementUndo step = m_doc.ElementUndoBase();
    ElementRecord* shown[1024];
    const int n = list.ElementsInFrame(f, shown, 1024);
    const int count = n == -2 ? 1024 : n;
    for (int i = 0; i < count; ++i)
        if (auto taken = list.Take(shown[i]))
            step.removed.push_back(std::move(taken));
    if (!m_doc.PushElementUndo(std::move(step)))
        ZOV_LOG("E: Fail");
    if (!Current())
        SetCurrent(nullptr);
    SaveBlock();
    RedrawWork();
    RedrawStrip();
    return true;
}

bool ElementEditor::CopySelected() {
    CElementList& list = m_doc.Elements();
    if (!Ready() || list.SelectionCount() < 1)
        return false;
    list.CopySelection();
    return true;
}

bool ElementEditor::PasteCopied(int32_t first, int32_t last) {
    CElementList& list = m_doc.Elements();
    if (!Ready() || first < 0 || last < first || last >= m_doc.FrameCount() || list.ClipboardCount() < 1)
        return false;
    ElementUndo base = m_doc.ElementUndoBase();
    const int before = list.Count();
    const int status = list.PasteClipboard(first, last);
    std::vector<uint64_t> made;
    for (int i = before; i < list.Count(); ++i)
        made.push_back(list.At(i)->id);
    if (!made.empty())
        PushCreation(made, std::move(base));
    SaveBlock();
    RedrawWork();
    RedrawStrip();
    return status == 0;
}

bool ElementEditor::AddImageFromFile(const std::string& path, bool transparent) {
    if (!Ready())
        return false;
    ImageInfoHeader info{};
    std::vector<uint8_t> bits;
    if (!ReadImageFile(path, info, bits))
        return false;
    if (Current())
        FinishCurrent();
    CElementList& list = m_doc.Elements();
    SetMode(MODE_IMAGE);
    ElementUndo base = m_doc.ElementUndoBase();
    ElementRecord* r = list.Create(RangeFirst(), RangeLast(), ELEMENT_IMAGE);
    if (!r) {
        SetMode(MODE_NONE);
        return false;
    }
    if (transparent)
        m_style->fillFlag = 0; // a mark stands on the key colour: only the mark itself shows
    list.ApplyStyle(r, *m_style);
    if (list.SetImage(r, info, bits.data(), static_cast<uint32_t>(bits.size())) != 0) {
        (void)list.Delete(r);
        SetMode(MODE_NONE);
        return false;
    }
    const int64_t fw = m_doc.ImageWidth(), fh = m_doc.ImageHeight(), iw = info.biWidth, ih = info.biHeight;
    r->Body<ImageBody>()->rect = {static_cast<int32_t>((fw - iw) / 2), static_cast<int32_t>((fh - ih) / 2),
                                  static_cast<int32_t>((fw + iw) / 2), static_cast<int32_t>((fh + ih) / 2)};
    SetCurrent(r);
    BuildHandles(*r, m_handles, kHandleNone);
    emit ElementPicked(ELEMENT_IMAGE);
    PushCreation({r->id}, std::move(base));
    list.ClearSelection();
    list.Select(r);
    RedrawWork();
    RedrawStrip();
    return true;
}

void ElementEditor::ApplyStyleToCurrent(const ElementStyle& style) {
    *m_style = style;
    ElementRecord* cur = Current();
    if (!cur)
        return;
    m_doc.Elements().ApplyStyle(cur, style);
    BuildHandles(*cur, m_handles, m_handles.current);
    RedrawDisplay();
}

bool ElementEditor::StartSaveArea(const ExportOptions& options,
                                  std::function<void(const ExportOptions&)> run) {
    if (!Ready() || Current() || !ExportOptionsFitRecord(options))
        return false;
    CElementList& list = m_doc.Elements();
    const int32_t count = m_doc.FrameCount();
    const int32_t last = options.last < 0 ? count - 1 : std::min(options.last, count - 1);
    const int32_t first = std::clamp(options.first, 0, std::max(last, 0));
    // The area is placed on a frame it is shown on.
    if (Anchor() < first || Anchor() > last)
        m_window.SelectAndShowFrame(first);
    m_doc.Select(first, first);
    RedrawWork();
    list.ClearSelection();
    SetMode(MODE_SAVE_AREA);
    ElementRecord* r = list.Create(first, last, ELEMENT_SAVEAREA);
    if (!r) {
        SetMode(MODE_NONE);
        return false;
    }
    SaveAreaBody* b = r->Body<SaveAreaBody>();
    const int32_t w = m_doc.ImageWidth(), h = m_doc.ImageHeight();
    b->area = {w / 4, h / 4, w - w / 4, h - h / 4};
    b->firstFrame = first;
    b->lastFrame = last;
    b->areaSelect = options.areaSelect ? 1 : 0;
    b->frameSelect = options.frameSelect ? 1 : 0;
    std::memcpy(b->formatKey, options.formatKey.data(), options.formatKey.size());
    std::memcpy(b->outputPath, options.outputPath.data(), options.outputPath.size());
    m_pendingExport = options;
    m_runExport = std::move(run);
    SetCurrent(r);
    BuildHandles(*r, m_handles, 7);
    list.Select(r);
    RedrawDisplay();
    return true;
}

// ---- commands -------------------------------------------------------------------------------------

QStringList ElementEditor::MarkFiles() const {
    QDir dir(QString::fromStdString(m_window.App().Folders().data + "marker"));
    QStringList out;
    for (const QString& name : dir.entryList({"*.bmp", "*.BMP"}, QDir::Files, QDir::Name))
        out << dir.filePath(name);
    return out;
}

void ElementEditor::CmdAddImage() {
    if (!Ready())
        return;
    const QString path = m_window.DialogHooks().openPath(
        Tr(kChooseImageText), QString::fromStdString(m_window.App().Config().DefaultFolder()), "*.bmp *.BMP");
    if (path.isEmpty())
        return;
    m_doc.Select(m_window.Selection().selection.Start(), m_window.Selection().selection.End());
    if (!AddImageFromFile(path.toStdString()))
        m_window.DialogHooks().message(Tr(kImageFailedText), true);
}

void ElementEditor::CmdAddMark() {
    if (!Ready())
        return;
    if (Current())
        FinishCurrent();
    SetMode(MODE_MARK);
    const QString path = chooseMark(MarkFiles());
    if (path.isEmpty()) {
        SetMode(MODE_NONE);
        RedrawWork();
        return;
    }
    m_doc.Select(m_window.Selection().selection.Start(), m_window.Selection().selection.End());
    if (!AddImageFromFile(path.toStdString(), true)) {
        SetMode(MODE_NONE);
        m_window.DialogHooks().message(Tr(kMarkFailedText), true);
    }
}

void ElementEditor::UpdatePopup() {
    CElementList& list = m_doc.Elements();
    const bool ready = Ready();
    const int32_t anchor = Anchor();
    const bool anchorShows =
        ready && anchor >= 0 && anchor < m_doc.FrameCount() && list.CountInFrame(anchor) > 0;
    for (QAction* a : m_popup->actions()) {
        a->setText(Tr(a->property("zovString").toInt()));
        switch (a->data().toInt()) {
        case ID_DELETE_ELEMENT:
        case ID_COPY_ELEMENTS:
            a->setEnabled(ready && list.SelectionCount() > 0);
            break;
        case ID_PASTE_ELEMENTS:
            a->setEnabled(ready && list.ClipboardCount() > 0);
            break;
        default:
            a->setEnabled(anchorShows);
        }
    }
}

void ElementEditor::ShowPopup(QPoint globalPos) {
    if (m_window.PlayerState() != PLAYER_IDLE)
        return;
    UpdatePopup();
    m_popup->popup(globalPos);
}

} // namespace zov
