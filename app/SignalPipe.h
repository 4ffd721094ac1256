// SIGTERM and SIGINT turned into an event of the window thread: the handler writes one byte
// into a pipe, a socket notifier on its other end runs the callback. Nothing else happens in
// the handler.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace zov {

class SignalPipe : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers; `onSignal` runs on the window thread with the signal number.
    explicit SignalPipe(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~SignalPipe() override; // restores the default handlers
    bool Installed() const { return m_notifier != nullptr; }

  private:
    void Drain();
    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace zov
