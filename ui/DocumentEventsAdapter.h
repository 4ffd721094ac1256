// The one place where the window meets the document's events: a listener that turns each
// call (made on whatever thread raised it, without the document lock) into a Qt signal,
// delivered queued on the window thread.
#pragma once

#include "core/DocumentEvents.h"

#include <QObject>
#include <QString>

namespace zov {

class CAni;

class DocumentEventsAdapter : public QObject, public IDocumentEvents {
    Q_OBJECT
  public:
    // Adds itself to the document's listeners; removes itself when it goes.
    DocumentEventsAdapter(CAni& doc, QObject* parent = nullptr);
    ~DocumentEventsAdapter() override;

    void OnFrameCaptured(int frameCount) override { emit FrameCaptured(frameCount); }
    void OnRecordFinish() override { emit RecordFinished(); }
    void OnRecordFailed(const std::string& reason) override {
        emit RecordFailed(QString::fromStdString(reason));
    }
    void OnImportProgress(int kind, int appended, const std::string& text) override {
        emit ImportProgress(kind, appended, QString::fromStdString(text));
    }
    void OnClosed() override { emit Closed(); }
    void OnElementListChanged() override { emit ElementListChanged(); }

  signals:
    void FrameCaptured(int frameCount);
    void RecordFinished();
    void RecordFailed(const QString& reason);
    void ImportProgress(int kind, int appended, const QString& text);
    void Closed();
    void ElementListChanged();

  private:
    CAni& m_doc;
};

} // namespace zov
