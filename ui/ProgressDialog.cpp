#include "ui/ProgressDialog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <thread>

namespace zov {

ProgressDialog::ProgressDialog(QWidget* parent, const QString& title, const QString& text,
                               const QString& cancelText)
    : QDialog(parent) {
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    m_text = new QLabel(text, this);
    m_cancelButton = new QPushButton(cancelText, this);
    layout->addWidget(m_text);
    layout->addWidget(m_cancelButton, 0, Qt::AlignRight);
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { reject(); });
}

void ProgressDialog::SetText(const QString& text) {
    m_text->setText(text);
}

void ProgressDialog::reject() {
    if (m_cancellable)
        m_cancel = true;
}

bool ProgressDialog::Run(const std::function<bool()>& work, bool cancellable) {
    m_cancellable = cancellable;
    m_cancelButton->setVisible(cancellable);
    std::atomic<bool> done{false};
    bool result = false;
    std::thread worker([&] {
        result = work();
        done = true;
        QMetaObject::invokeMethod(
            this, [] {}, Qt::QueuedConnection); // wakes the loop below
    });
    QTimer showTimer; // local, so it can never fire after Run has returned
    showTimer.setSingleShot(true);
    connect(&showTimer, &QTimer::timeout, this, [this, &done] {
        if (!done)
            show();
    });
    showTimer.start(m_showDelayMs);
    // Until the dialog shows, the user's input waits; once shown, the dialog is modal.
    while (!done) {
        const auto flags = isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
        QCoreApplication::processEvents(flags | QEventLoop::WaitForMoreEvents);
    }
    worker.join();
    hide();
    return result;
}

} // namespace zov
