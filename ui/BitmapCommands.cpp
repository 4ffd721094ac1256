#include "ui/BitmapCommands.h"

#include "app/Application.h"
#include "base/Bitmap.h"
#include "base/ProgramFolder.h"
#include "base/StringIds.h"
#include "core/Ani.h"
#include "export/AviExport.h"
#include "export/BitmapExport.h"
#include "export/WmvExport.h"
#include "ui/ExportCommands.h"
#include "ui/MainWindow.h"
#include "ui/ProgressDialog.h"

#include <QApplication>

#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <chrono>
#include <cstdio>
#include <thread>

namespace zov {

namespace {

QString Tr(CMainWindow& w, int id) {
    return QString::fromStdString(w.App().Text(id));
}

// Whether the bitmap's header asks for a compression the import does not read (bit-field
// masks of 16- and 32-bit files are not compression).
bool IsCompressedBitmap(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    unsigned char h[54];
    const bool read = std::fread(h, 1, sizeof h, f) == sizeof h;
    std::fclose(f);
    if (!read || h[0] != 'B' || h[1] != 'M')
        return false;
    const uint32_t compression = h[30] | (h[31] << 8) | (h[32] << 16) | (uint32_t(h[33]) << 24);
    const uint16_t bits = static_cast<uint16_t>(h[28] | (h[29] << 8));
    return compression != 0 && !(compression == 3 && (bits == 16 || bits == 32));
}

// Relays the worker's progress to the dialog's label on the window thread.
class ImportProgressRelay : public IDocumentEvents {
  public:
    ImportProgressRelay(ProgressDialog& dialog, QString label)
        : m_dialog(&dialog), m_label(std::move(label)) {}
    void OnImportProgress(int kind, int appended, const std::string&) override {
        if (kind != kImportProgressStep)
            return;
        QPointer<ProgressDialog> dialog = m_dialog;
        const QString text = QString("%1: %2").arg(m_label).arg(appended);
        QMetaObject::invokeMethod(
            m_dialog,
            [dialog, text] {
                if (dialog)
                    dialog->SetText(text);
            },
            Qt::QueuedConnection);
    }

  private:
    ProgressDialog* m_dialog;
    QString m_label;
};

} // namespace

void ImportBitmapSeries(CMainWindow& w, const QString& path) {
    CAni& doc = w.App().Doc();
    auto& dialogs = w.DialogHooks();
    const std::string first = path.toStdString();
    // Where the frames go: before the selected frame, or at the end.
    const int32_t countBefore = doc.FrameCount();
    int32_t position = w.Selection().selection.Start();
    if (position < 0 || position > countBefore)
        position = countBefore;
    BmpSeriesName series;
    if (!ParseBmpSeriesName(first, series)) {
        dialogs.message("Filename Should Be: file0001.bmp", true);
        return;
    }
    if (IsCompressedBitmap(first)) {
        dialogs.message(Tr(w, S_IMPORT_COMPRESSED), true);
        return;
    }
    BitmapAppendRequest request;
    request.firstPath = first;
    bool ok = false;
    {
        ProgressDialog progress(&w, Tr(w, S_IMPORT_BMP), Tr(w, S_IMPORT_PROGRESS), Tr(w, S_PROGRESS_CANCEL));
        ImportProgressRelay relay(progress, Tr(w, S_IMPORT_APPENDED));
        doc.AddListener(&relay);
        ok = progress.Run(
            [&] {
                if (!doc.StartBitmapAppend(request))
                    return false;
                // The dialog's stop ends the series after the frame under way; the dialog
                // stays until the worker has ended.
                while (request.finished.load() == 0) {
                    if (progress.Cancelled() && doc.StopBitmapAppend(request))
                        break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                doc.WaitBitmapAppend(request);
                return request.result;
            },
            /*cancellable=*/true);
        doc.RemoveListener(&relay);
    }
    const int32_t appended = ok ? request.appended.load() : 0;
    if (appended <= 0) {
        QString why = Tr(w, S_IMPORT_FAILED);
        if (!request.error.empty())
            why += "\n" + QString::fromStdString(request.error);
        dialogs.message(why, true);
        w.SelectAndShowFrame(countBefore > 0 ? std::min(position, countBefore - 1) : 0);
        return;
    }
    int32_t start = doc.FrameCount() - appended;
    if (position < start) {
        if (doc.PlaceAppendedFrames(appended, position))
            start = position;
        else
            dialogs.message(QString::fromStdString(doc.LastMessage()), true);
    }
    w.SelectAndShowFrame(start);
    w.Selection().selection = {start, appended};
    w.RefreshStrip();
    w.UpdateCommandStates();
    dialogs.message(
        QString("%1, %2 %3").arg(Tr(w, S_EXPORT_BMP_REPORT1)).arg(appended).arg(Tr(w, S_EXPORT_BMP_REPORT2)),
        false);
}

namespace {
// The encoder command: zov-recorder.conf beside the settings file, else the program
// folder's zov-wmenc.
std::string EncoderCommand(CMainWindow& w) {
    return ConfiguredEncoderCommand(w.App().Folders().writable + kRecorderConfName, ProgramFolder());
}
} // namespace

void RegisterBitmapCommands(CMainWindow& w) {
    CMainWindow* window = &w;
    // Runs on the export's worker thread; the overwrite question goes to the window thread
    // and the export waits for the answer before it writes anything.
    RegisterExporter(kExportKeyBmp, [window](CAni& ani, const ExportOptions& options, const ExportJob& job,
                                             std::string& error) {
        BitmapExportRequest request;
        request.folder = options.outputPath;
        request.walk = ExportWalkRequest::FromOptions(options, ani.ImageWidth(), ani.ImageHeight());
        request.walk.cancel = job.cancel;
        request.walk.progress = job.progress;
        request.confirmOverwrite = [window](const std::vector<std::string>&) {
            bool yes = false;
            QMetaObject::invokeMethod(
                window,
                [window, &yes] { yes = window->DialogHooks().askYesNo(Tr(*window, S_EXPORT_BMP_EXISTS)); },
                Qt::BlockingQueuedConnection);
            return yes;
        };
        int32_t written = 0;
        const BitmapExportResult r = ExportBitmaps(ani, request, written, error);
        if (r == BitmapExportResult::Cancelled || r == BitmapExportResult::NotOverwritten)
            error.clear();
        return r == BitmapExportResult::Done;
    });
    RegisterExporter(kExportKeyWmv, [window](CAni& ani, const ExportOptions& options, const ExportJob& job,
                                             std::string& error) {
        WmvExportRequest request;
        request.target = options.outputPath;
        request.encoderCommand = EncoderCommand(*window);
        request.cancel = job.cancel;
        request.writeAvi = [&](const std::string& avi, std::string& err) {
            ExportOptions o = options;
            o.outputPath = avi;
            o.compressor = CompressorChoice{};
            o.needAudio = true;
            AviExportControl control;
            control.cancel = job.cancel;
            control.progress = job.progress;
            AviExportResult result;
            return ExportProjectToAvi(ani, o, control, result, err);
        };
        const WmvExportResult r = ExportWmv(request, error);
        if (r == WmvExportResult::NoEncoder)
            error = Tr(*window, S_WMV_NO_ENCODER).toStdString() + " (" + error + ")";
        if (r == WmvExportResult::Cancelled)
            error.clear();
        return r == WmvExportResult::Done;
    });
    auto available = [](const CommandContext& c) {
        return CommandState{c.hasFrames && !c.Busy() && c.Idle(), false};
    };
    w.Commands().Register(
        ID_EXPORT_BMP, [window] { (void)RunExportCommand(*window, kExportKeyBmp); }, available);
    w.Commands().Register(
        ID_EXPORT_WMV, [window] { (void)RunExportCommand(*window, kExportKeyWmv); },
        [window](const CommandContext& c) {
            return CommandState{
                c.hasFrames && !c.Busy() && c.Idle() && EncoderPresent(EncoderCommand(*window)), false};
        });
    w.Commands().Register(
        ID_IMPORT_BMP,
        [&w] {
            const QString path = w.DialogHooks().openPath(
                Tr(w, S_IMPORT_BMP), QString::fromStdString(w.App().Config().DefaultFolder()),
                "BMP Files (*.bmp)");
            if (!path.isEmpty())
                ImportBitmapSeries(w, path);
        },
        [](const CommandContext& c) {
            return CommandState{c.projectOpen && !c.Busy() && c.Idle(), false};
        });
}

} // namespace zov
