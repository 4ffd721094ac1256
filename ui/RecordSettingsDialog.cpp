#include "ui/RecordSettingsDialog.h"

#include "app/Application.h"
#include "base/StringIds.h"
#include "core/Ani.h"
#include "ui/AreaSelectWindow.h"
#include "ui/RecorderCommands.h"
#include "ui/RecorderWindows.h"
#include "ui/WindowFinderWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace zov {

namespace {

const char* const kDelays[] = {"  250", "  500", " 1000", " 2000", " 3000", " 4000", " 5000"};
const int kDelayValues[] = {250, 500, 1000, 2000, 3000, 4000, 5000};
// The preset sizes after the custom entry, in list order.
const QSize kPresets[] = {{640, 480}, {800, 600}, {1024, 768}};
const char* const kPresetTexts[] = {" 640 * 480", " 800 * 600", "1024 * 768"};
const char* const kBitRates[] = {" 8", "16", "24"};

} // namespace

RecordSettingsDialog::RecordSettingsDialog(ZovApp& app, QWidget* mainWindow, bool newStream)
    : QDialog(mainWindow), m_app(app), m_doc(app.Doc()), m_main(mainWindow), m_newStream(newStream) {
    m_message = [this](const QString& text) { QMessageBox::information(this, Tr(S_APP_TITLE), text); };
    m_selectArea = [](QWidget*) -> std::optional<QRect> {
        std::optional<ScreenRect> r = CAreaSelectWindow::Select();
        if (!r)
            return std::nullopt;
        return QRect(r->left, r->top, r->Width(), r->Height());
    };
    Build();
    Fill();
    // The finder of this system, where there is a display to search; a Wayland desktop lets
    // its own picker choose (an X11 finder there would see only the X11 programs' windows).
    if (WaylandSession())
        UsePortalChoice();
    else if (QGuiApplication::platformName() == QLatin1String("xcb"))
        SetFinder(new CWindowFinderWidget);
}

QString RecordSettingsDialog::Tr(int id) const {
    return QString::fromStdString(m_app.Text(id));
}

void RecordSettingsDialog::Build() {
    setWindowTitle(Tr(S_RS_TITLE));
    auto named = [](QWidget* w, int id) {
        w->setObjectName(QString::number(id));
        return w;
    };
    m_delayLabel = new QLabel(Tr(S_RS_DELAY));
    named(m_delayLabel, IDC_RS_DELAY_LABEL);
    m_delay = new QComboBox;
    named(m_delay, IDC_RS_DELAY);
    m_delay->setEditable(true); // a delay may be typed as well as chosen
    m_delay->setInsertPolicy(QComboBox::NoInsert);

    m_areaGroup = new QGroupBox(Tr(S_RS_AREA_GROUP));
    named(m_areaGroup, IDC_RS_AREA_GROUP);
    m_area = new QComboBox;
    named(m_area, IDC_RS_AREA);
    m_area->setMinimumContentsLength(28);
    m_finder = new QLabel;
    named(m_finder, IDC_RS_FINDER);
    static_cast<QLabel*>(m_finder)->setFixedSize(36, 36);
    m_finderHelp = new QLabel(Tr(S_RS_FINDER_HELP));
    named(m_finderHelp, IDC_RS_FINDER_HELP);
    m_finderHelp->setWordWrap(true);
    m_selArea = new QPushButton(Tr(S_RS_SEL_AREA));
    named(m_selArea, IDC_RS_SEL_AREA);
    m_selArea->setAutoDefault(false);

    auto* areaLayout = new QGridLayout(m_areaGroup);
    areaLayout->addWidget(m_area, 0, 0, 1, 3);
    areaLayout->addWidget(m_finder, 1, 0, Qt::AlignTop);
    areaLayout->addWidget(m_finderHelp, 1, 1);
    areaLayout->addWidget(m_selArea, 1, 2, Qt::AlignTop);
    areaLayout->setColumnStretch(1, 1);

    m_pointer = new QCheckBox(Tr(S_RS_POINTER));
    named(m_pointer, IDC_RS_POINTER);
    m_bigPointer = new QCheckBox(Tr(S_RS_BIG_POINTER));
    named(m_bigPointer, IDC_RS_BIG_POINTER);
    m_hideParent = new QCheckBox(Tr(S_RS_HIDE_PARENT));
    named(m_hideParent, IDC_RS_HIDE_PARENT);
    m_sound = new QCheckBox(Tr(S_RS_SOUND));
    named(m_sound, IDC_RS_SOUND);
    m_mp3Label = new QLabel(Tr(S_RS_MP3));
    named(m_mp3Label, IDC_RS_MP3_LABEL);
    m_mp3 = new QComboBox;
    named(m_mp3, IDC_RS_MP3);
    m_ok = new QPushButton(Tr(S_RS_OK));
    named(m_ok, IDC_RS_OK);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(Tr(S_RS_CANCEL));
    named(m_cancel, IDC_RS_CANCEL);
    m_cancel->setAutoDefault(false);

    auto* top = new QVBoxLayout(this);
    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(m_delayLabel);
    delayRow->addWidget(m_delay);
    delayRow->addStretch(1);
    top->addLayout(delayRow);
    top->addWidget(m_areaGroup);
    auto* checks = new QGridLayout;
    checks->addWidget(m_pointer, 0, 0);
    checks->addWidget(m_bigPointer, 0, 1);
    checks->addWidget(m_hideParent, 1, 0);
    checks->addWidget(m_sound, 2, 0, 1, 2);
    top->addLayout(checks);
    auto* mp3Row = new QHBoxLayout;
    mp3Row->addWidget(m_mp3Label);
    mp3Row->addWidget(m_mp3);
    mp3Row->addStretch(1);
    top->addLayout(mp3Row);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    top->addLayout(buttons);

    connect(m_pointer, &QCheckBox::clicked, this, [this](bool on) { m_bigPointer->setEnabled(on); });
    connect(m_sound, &QCheckBox::clicked, this, [this](bool on) { m_mp3->setEnabled(on); });
    connect(m_hideParent, &QCheckBox::clicked, this, [this](bool on) { OnHideParent(on); });
    connect(m_selArea, &QPushButton::clicked, this, [this] { OnSelArea(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { OnOk(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

void RecordSettingsDialog::Fill() {
    const ProjectHeader& h = m_doc.Header();
    const Settings& s = m_app.Config();
    // A stream recording has no project header: it starts from what a new project would.
    const bool fromSettings = m_doc.DocMode() == DOC_STREAM && h.frameDelay <= 0;
    const int32_t frameDelay = fromSettings ? s.FrameDelay() : h.frameDelay;
    const bool recordPointer = fromSettings ? s.Flag(Settings::kRecordPointer) : h.recordPointer != 0;

    for (const char* d : kDelays)
        m_delay->addItem(QString::fromLatin1(d));
    int delayIndex = 0;
    for (int i = 0; i < 7; ++i)
        if (frameDelay == kDelayValues[i])
            delayIndex = i;
    m_delay->setCurrentIndex(delayIndex);

    m_area->addItem(Tr(S_RS_CUSTOM));
    for (const char* p : kPresetTexts)
        m_area->addItem(QString::fromLatin1(p));
    const CaptureRect r = m_doc.GetCaptureRect();
    int areaIndex = 0;
    for (int i = 0; i < 3; ++i)
        if (r.Width() == kPresets[i].width() && r.Height() == kPresets[i].height())
            areaIndex = i + 1;
    m_area->setCurrentIndex(areaIndex);

    m_pointer->setChecked(recordPointer);
    m_bigPointer->setChecked(s.Flag(Settings::kBigPointer));
    m_bigPointer->setEnabled(m_pointer->isChecked());
    m_sound->setChecked(s.Flag(Settings::kRecordSound));

    for (const char* b : kBitRates)
        m_mp3->addItem(QString::fromLatin1(b));
    const uint32_t rate = s.U32(Settings::kMp3BitRate);
    m_mp3->setCurrentIndex(rate == 16 ? 1 : rate == 24 ? 2 : 0);
    m_mp3->setEnabled(m_sound->isChecked());

    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect g = frameGeometry();
        g.moveCenter(screen->geometry().center());
        move(g.topLeft());
    }

    if (m_doc.FrameCount() > 0) {
        m_readOnly = true;
        for (QWidget* w : std::initializer_list<QWidget*>{
                 m_mp3, m_area, m_delay, m_pointer, m_bigPointer, m_hideParent, m_sound, m_ok, m_selArea,
                 m_finderHelp, m_delayLabel, m_mp3Label, m_areaGroup, m_finder})
            w->setEnabled(false);
        // The group's children follow it; the area list and Cancel's neighbours stay as set.
        m_cancel->setEnabled(true);
        m_cancel->setDefault(true);
    }

    if (m_newStream && !m_readOnly) {
        m_hideParent->setChecked(true);
        OnHideParent(true);
    }
}

void RecordSettingsDialog::PutInFinderPlace(QWidget* control) {
    control->setObjectName(QString::number(IDC_RS_FINDER));
    if (auto* grid = qobject_cast<QGridLayout*>(m_areaGroup->layout())) {
        // The layout hands back the old control's item, which is ours to delete.
        delete grid->replaceWidget(m_finder, control);
        delete m_finder;
    }
    m_finder = control;
    m_finder->setEnabled(!m_readOnly);
}

void RecordSettingsDialog::SetFinder(QWidget* finder) {
    if (!finder || finder == m_finder)
        return;
    PutInFinderPlace(finder);
    if (auto* f = qobject_cast<CWindowFinderWidget*>(finder)) {
        f->SetEnabledForPick(!m_readOnly);
        f->setToolTip(Tr(S_REC_FINDER_TIP));
        connect(f, &CWindowFinderWidget::windowEntered, this, [this](const WindowInfo& w) {
            FinderEntered(w.id, QString::fromStdString(w.title), QIcon(WindowIconPixmap(w)));
        });
        connect(f, &CWindowFinderWidget::windowLeft, this, [this] { FinderLeft(); });
        connect(f, &CWindowFinderWidget::windowPicked, this, [this](const WindowInfo&) { FinderReleased(); });
        connect(f, &CWindowFinderWidget::pickCancelled, this, [this] { FinderReleased(); });
    }
}

void RecordSettingsDialog::UsePortalChoice() {
    auto* button = new QPushButton(Tr(S_LX_PORTAL_WINDOW_BUTTON));
    button->setToolTip(Tr(S_LX_PORTAL_WINDOW_TIP));
    button->setAutoDefault(false);
    PutInFinderPlace(button);
    m_finderHelp->setText(Tr(S_LX_PORTAL_HELP));
    connect(button, &QPushButton::clicked, this, [this] { OnPortalWindow(); });
    m_selectArea = [this](QWidget*) -> std::optional<QRect> {
        std::string error;
        const QImage picture = PortalMonitorPicture(m_app, error);
        if (picture.isNull()) {
            QString text = Tr(S_LX_PORTAL_SEL_AREA_FAILED);
            text.replace(QLatin1String("%s"), QString::fromStdString(error));
            m_message(text);
            return std::nullopt;
        }
        std::optional<ScreenRect> r = CAreaSelectWindow::SelectOnPicture(picture);
        if (!r)
            return std::nullopt;
        return QRect(r->left, r->top, r->Width(), r->Height());
    };
    adjustSize();
}

void RecordSettingsDialog::OnPortalWindow() {
    if (m_readOnly)
        return;
    // Which window is the desktop's question when recording begins; the capture engine takes
    // the shared window's size then.
    m_mode = AREA_WINDOW;
    m_window = 0;
    SetCustomText(Tr(S_LX_PORTAL_WINDOW_CHOSEN));
}

QWidget* RecordSettingsDialog::Control(int id) const {
    return findChild<QWidget*>(QString::number(id));
}

bool RecordSettingsDialog::Run() {
    setWindowModality(Qt::ApplicationModal);
    setResult(QDialog::Rejected);
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    show();
    raise();
    activateWindow();
    loop.exec(QEventLoop::DialogExec);
    return result() == QDialog::Accepted;
}

void RecordSettingsDialog::SetCustomText(const QString& text) {
    m_area->setItemText(0, text);
    m_area->setCurrentIndex(0);
}

void RecordSettingsDialog::FinderEntered(quint64 window, const QString& title, const QIcon& icon) {
    if (m_readOnly)
        return;
    m_mode = AREA_WINDOW;
    m_window = window;
    m_windowIcon = icon;
    SetCustomText(title);
}

void RecordSettingsDialog::FinderLeft() {
    if (m_readOnly)
        return;
    m_mode = AREA_NONE;
    m_window = 0;
    SetCustomText(Tr(S_RS_ASK_WINDOW));
}

void RecordSettingsDialog::FinderReleased() {
    // The choice stays as the last move left it; the finder shows its own icon again.
}

void RecordSettingsDialog::ShowMain() {
    m_hidden.Show(m_main, m_app.Config().Flag(Settings::kShowToolWindow));
    m_mainHidden = false;
}

void RecordSettingsDialog::OnHideParent(bool checked) {
    if (checked) {
        if (!m_mainHidden)
            m_hidden.Hide(m_main);
        m_mainHidden = true;
    } else {
        ShowMain();
        raise();
        activateWindow();
    }
}

void RecordSettingsDialog::OnSelArea() {
    if (m_readOnly)
        return;
    const bool hideParent = m_hideParent->isChecked();
    if (!m_mainHidden) {
        m_hidden.Hide(m_main);
        m_mainHidden = true;
    }
    std::vector<WId> ids = m_hidden.Ids();
    ids.push_back(winId());
    hide(); // Run()'s loop goes on: only finished() ends it
    // The frozen picture must not show the windows just hidden.
    bool settled = false;
    WhenOffScreen(this, ids, 200, [&settled] { settled = true; });
    while (!settled)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::optional<QRect> chosen;
    if (m_selectArea)
        chosen = m_selectArea(this);
    if (!hideParent)
        ShowMain();
    show();
    raise();
    activateWindow();
    if (chosen) {
        // The area is what the user came for: Return now accepts it, instead of pressing
        // "Sel Area" again because it still holds the focus.
        m_ok->setFocus(Qt::OtherFocusReason);
        const QRect r = chosen->normalized();
        m_mode = AREA_RECT;
        m_window = 0;
        m_rect = r;
        SetCustomText(QString::asprintf("%s (%d, %d) - (%d, %d)", Tr(S_RS_AREA_PREFIX).toUtf8().constData(),
                                        r.left(), r.top(), r.left() + r.width(), r.top() + r.height()));
    }
}

void RecordSettingsDialog::OnOk() {
    if (m_readOnly)
        return;
    bool number = false;
    const int delay = m_delay->currentText().trimmed().toInt(&number);
    if (!number || delay < 250 || delay > 5000)
        return; // ignored: the dialog stays open

    const int areaIndex = m_area->currentIndex();
    CaptureRect rect;
    bool recordWindow = false;
    if (areaIndex <= 0) {
        if (m_mode == AREA_NONE) {
            m_message(Tr(S_RS_ASK_CHOICE));
            return;
        }
        if (m_mode == AREA_WINDOW)
            recordWindow = true; // its rectangle is taken when the recording starts
        else
            rect = {m_rect.left(), m_rect.top(), m_rect.left() + m_rect.width(),
                    m_rect.top() + m_rect.height()};
    } else {
        const QSize size = kPresets[areaIndex - 1];
        rect = {0, 0, size.width(), size.height()};
    }
    if (!m_doc.SetCaptureRect(rect)) {
        // An area too large for a project: say why and let the user choose again.
        m_message(QString::fromStdString(m_doc.LastMessage()));
        return;
    }
    // A preset or a rectangle replaces an earlier window choice.
    m_doc.SetRecordWindow(recordWindow ? m_window : 0, recordWindow);

    Settings& s = m_app.Config();
    s.SetFlag(Settings::kRecordPointer, m_pointer->isChecked());
    s.SetFlag(Settings::kBigPointer, m_bigPointer->isChecked());
    s.SetFlag(Settings::kRecordSound, m_sound->isChecked());
    s.SetU32(Settings::kMp3BitRate, static_cast<uint32_t>(m_mp3->currentText().trimmed().toInt()));
    s.SetU32(Settings::kFrameDelay, static_cast<uint32_t>(delay));

    m_doc.SetFrameDelay(delay);
    m_doc.SetSoundFormat(m_doc.GetSoundFormat());
    m_doc.SetRecordPointer(m_pointer->isChecked());
    m_doc.SetKeyFrameInterval(10);

    ShowMain();
    done(QDialog::Accepted);
}

void RecordSettingsDialog::OnCancel() {
    ShowMain();
    done(QDialog::Rejected);
}

void RecordSettingsDialog::reject() {
    OnCancel();
}

} // namespace zov
