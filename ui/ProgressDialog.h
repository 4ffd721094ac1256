// A modal progress dialog for work that can take more than a second: the work runs on a
// worker thread while the window thread keeps painting; the dialog shows itself only when the
// work lasts longer than a second. Cancel sets a flag the work polls.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>

class QLabel;
class QPushButton;

namespace zov {

class ProgressDialog : public QDialog {
    Q_OBJECT
  public:
    ProgressDialog(QWidget* parent, const QString& title, const QString& text, const QString& cancelText);

    // Runs `work` and returns its result once it has ended. With `cancellable`, the Cancel
    // button sets CancelFlag(); the work decides how to stop and must leave things as they were.
    bool Run(const std::function<bool()>& work, bool cancellable);
    const std::atomic<bool>& CancelFlag() const { return m_cancel; }
    bool Cancelled() const { return m_cancel.load(); }
    void SetText(const QString& text);
    // How long the work may run before the dialog appears.
    void SetShowDelay(int ms) { m_showDelayMs = ms; }

  protected:
    void reject() override; // Escape and the close box cancel, as the button does

  private:
    QLabel* m_text;
    QPushButton* m_cancelButton;
    std::atomic<bool> m_cancel{false};
    bool m_cancellable = false;
    int m_showDelayMs = 1000;
};

} // namespace zov
