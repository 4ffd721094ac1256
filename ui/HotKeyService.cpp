#include "ui/HotKeyService.h"

#include "base/Log.h"
#include "base/StringIds.h"
#include "platform/PortalHotKeys.h"
#include "platform/ScreenSource.h"
#include "platform/X11Windows.h"

#include <QSocketNotifier>

namespace zov {

std::unique_ptr<IHotKeys> CHotKeyService::OpenSystemHotKeys(const TextLookup& text) {
    std::string error;
    if (!WaylandSession())
        return OpenX11HotKeys(std::string(), error);
    // No program may grab keys on a Wayland desktop; the desktop's global shortcuts, where it
    // offers them, are named to the user by what they do.
    PortalHotKeyOptions options;
    for (int id = HOTKEY_BEGIN; id <= HOTKEY_STOP; ++id)
        options.descriptions.push_back(text ? text(S_REC_HOTKEY_BEGIN + (id - HOTKEY_BEGIN))
                                            : HotKeyName(id));
    std::unique_ptr<IHotKeys> keys = OpenPortalHotKeys(options, error);
    if (!keys)
        Log(("I: no hot keys: " + error).c_str(), __FILE__, __LINE__);
    return keys;
}

CHotKeyService::CHotKeyService(std::unique_ptr<IHotKeys> keys, TextLookup text, QObject* parent)
    : QObject(parent), m_keys(std::move(keys)), m_text(std::move(text)) {
    if (m_keys && m_keys->Fd() >= 0) {
        m_notifier = new QSocketNotifier(m_keys->Fd(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &CHotKeyService::OnReadable);
    }
}

CHotKeyService::~CHotKeyService() {
    Stop();
}

QString CHotKeyService::Text(int id) const {
    return m_text ? QString::fromStdString(m_text(id)) : QString();
}

QString CHotKeyService::HeldElsewhereText(int id) const {
    const QString name = QString::fromStdString(HotKeyName(id));
    const QString command = Text(S_REC_HOTKEY_BEGIN + (id - HOTKEY_BEGIN));
    // "%s (%s)": the key, then what it does, filled in that order. On a Wayland desktop the
    // keys are the desktop's to give, not another program's to hold.
    QString text = Text(WaylandSession() ? S_LX_HOTKEY_NOT_BOUND : S_REC_HOTKEY_HELD);
    const QString values[] = {name, command};
    for (const QString& value : values) {
        const qsizetype at = text.indexOf(QLatin1String("%s"));
        if (at < 0)
            break;
        text.replace(at, 2, value);
    }
    return text;
}

void CHotKeyService::Report(const QString& message) {
    if (m_problems.contains(message))
        return;
    m_problems.append(message);
    Log(message.toStdString().c_str(), __FILE__, __LINE__);
    emit grabProblem(message);
}

void CHotKeyService::Start() {
    m_started = true;
    if (!m_keys) {
        // A Wayland desktop without global shortcuts has no hot keys for any program: said
        // with what to use instead.
        Report(Text(WaylandSession() ? S_REC_WAYLAND_NOTE : S_REC_HOTKEYS_UNAVAILABLE));
        return;
    }
    for (const HotKeyGrabProblem& problem : m_keys->Grab())
        Report(HeldElsewhereText(problem.id));
    // Events may already wait in the connection's buffer, where the notifier cannot see them.
    OnReadable();
}

void CHotKeyService::Stop() {
    if (m_keys)
        m_keys->Ungrab();
}

void CHotKeyService::OnReadable() {
    if (!m_keys)
        return;
    for (int id : m_keys->Dispatch())
        emit hotKey(id);
    // A desktop that asked its user answers the binding only now.
    for (const HotKeyGrabProblem& problem : m_keys->LateProblems())
        Report(HeldElsewhereText(problem.id));
}

} // namespace zov
