// The recorder's system-wide hot keys in the Qt event loop: watches the hot-key connection's
// descriptor and turns its presses into hotKey(id) signals (ids 120..123 of platform/HotKeys.h).
//
// Use: construct once in the main window with OpenSystemHotKeys() (the X11 keys of $DISPLAY,
// or the desktop portal's on Wayland; tests pass a FakeHotKeys) and the language table's
// lookup, e.g.
//   new CHotKeyService(CHotKeyService::OpenSystemHotKeys(text), text, this)
// connect hotKey() and grabProblem(), then Start().
// Start() reports each key another program holds (or the desktop left unbound) through
// grabProblem() once, with a sentence for a message box or the log; with no hot keys at all it
// says so once, in a Wayland session with what to use instead.
#pragma once

#include "platform/HotKeys.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace zov {

class CHotKeyService : public QObject {
    Q_OBJECT
  public:
    using TextLookup = std::function<std::string(int)>;

    // The X11 hot keys of $DISPLAY or, in a Wayland session, the desktop portal's global
    // shortcuts described by `text`'s names of the four commands; null when there are none
    // (Start() then reports that the hot keys cannot be used, and what to use instead).
    static std::unique_ptr<IHotKeys> OpenSystemHotKeys(const TextLookup& text);

    CHotKeyService(std::unique_ptr<IHotKeys> keys, TextLookup text, QObject* parent = nullptr);
    ~CHotKeyService() override;

    // Grabs the keys and emits grabProblem() for each one that cannot be had (or once when
    // there are none). Calling it again grabs again without repeating a message given before.
    void Start();
    void Stop();

    // The messages given so far, in order (for the log and for tests).
    const QStringList& Problems() const { return m_problems; }
    IHotKeys* Keys() const { return m_keys.get(); }

    // The message for a key another program holds, in the interface language.
    QString HeldElsewhereText(int id) const;

  signals:
    void hotKey(int id);
    void grabProblem(const QString& message);

  private:
    void OnReadable();
    void Report(const QString& message);

    QString Text(int id) const;

    std::unique_ptr<IHotKeys> m_keys;
    TextLookup m_text;
    QSocketNotifier* m_notifier = nullptr;
    QStringList m_problems;
    bool m_started = false;
};

} // namespace zov
