#include "ui/ExportCommands.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <filesystem>
#include <map>

#include "app/Application.h"
#include "app/Settings.h"
#include "base/Log.h"
#include "base/StringIds.h"
#include "core/Ani.h"
#include "export/AviEncoder.h"
#include "export/AviExport.h"
#include "export/StreamExport.h"
#include "ui/MainWindow.h"
#include "ui/ProgressDialog.h"

namespace zov {

namespace {

std::atomic<bool> g_exporting{false};
std::atomic<bool> g_streamExporting{false};

std::string UpperKey(const std::string& key) {
    std::string k = key;
    for (char& c : k)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return k;
}

std::map<std::string, Exporter>& Exporters() {
    static std::map<std::string, Exporter> exporters;
    return exporters;
}

QString Text(CMainWindow& w, int id) {
    return QString::fromStdString(w.App().Text(id));
}

// A menu caption without its access-key marker: the title of the file chooser.
QString Caption(CMainWindow& w, int id) {
    QString t = Text(w, id);
    t.remove('&');
    return t;
}

// The folder the choosers start in: the last one an export went to in this session.
QString& LastExportFolder() {
    static QString folder;
    return folder;
}

// The compressor chooser: the encoders present, key-frame rate, quality and data rate.
void ChooseCompressorDialog(CMainWindow& w, CompressorChoice& choice) {
    QDialog dialog(&w);
    dialog.setWindowTitle(Text(w, S_AVI_COMPRESSION_TITLE));
    auto* form = new QFormLayout;
    auto* list = new QComboBox(&dialog);
    list->addItem(Text(w, S_AVI_UNCOMPRESSED), QString());
    for (const AviCompressor& c : AvailableAviCompressors()) {
        list->addItem(QString("%1 (%2)").arg(QString::fromUtf8(c.description), QString::fromLatin1(c.fourcc)),
                      QString::fromLatin1(c.encoder));
        if (choice.encoder == c.encoder)
            list->setCurrentIndex(list->count() - 1);
    }
    auto* key = new QSpinBox(&dialog);
    key->setRange(0, 100000);
    key->setValue(choice.keyFrameRate);
    auto* quality = new QSpinBox(&dialog);
    quality->setRange(0, 100);
    quality->setValue(choice.quality < 0 ? 75 : choice.quality);
    auto* rate = new QSpinBox(&dialog);
    rate->setRange(0, 1000000);
    rate->setValue(choice.dataRate);
    form->addRow(list);
    form->addRow(Text(w, S_AVI_KEY_EVERY), key);
    form->addRow(Text(w, S_AVI_QUALITY), quality);
    form->addRow(Text(w, S_AVI_DATA_RATE), rate);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(Text(w, S_FOLDER_OK));
    buttons->button(QDialogButtonBox::Cancel)->setText(Text(w, S_FOLDER_CANCEL));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);
    // Cancel keeps the preset (frames stored as they are), as the chooser always has.
    if (dialog.exec() != QDialog::Accepted)
        return;
    choice.encoder = list->currentData().toString().toStdString();
    choice.keyFrameRate = key->value();
    choice.quality = quality->value();
    choice.dataRate = rate->value();
}

QString ChooseFolderDialog(CMainWindow& w, const QString& title, const QString& prompt,
                           const QString& start) {
    QFileDialog dialog(&w, title, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setLabelText(QFileDialog::LookIn, prompt);
    dialog.setLabelText(QFileDialog::Accept, Text(w, S_FOLDER_OK));
    dialog.setLabelText(QFileDialog::Reject, Text(w, S_FOLDER_CANCEL));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

bool ExportZov(CAni& ani, const ExportOptions& o, const ExportJob& job, std::string& error) {
    StreamExportRequest r;
    r.path = o.outputPath;
    r.first = o.first;
    r.last = o.last;
    r.useArea = o.HasArea(ani.ImageWidth(), ani.ImageHeight());
    r.left = o.left;
    r.top = o.top;
    r.right = o.right;
    r.bottom = o.bottom;
    r.language = job.language;
    r.cancel = job.cancel;
    r.progress = job.progress;
    StreamExportResult result;
    g_streamExporting = true;
    const bool ok = ExportProjectToStream(ani, r, result, error);
    g_streamExporting = false;
    if (!ok && result.cancelled)
        error.clear();
    return ok;
}

bool ExportAvi(CAni& ani, const ExportOptions& o, const ExportJob& job, std::string& error) {
    AviExportControl control;
    control.cancel = job.cancel;
    control.progress = job.progress;
    AviExportResult result;
    const bool ok = ExportProjectToAvi(ani, o, control, result, error);
    if (!ok && result.cancelled)
        error.clear();
    return ok;
}

} // namespace

void RegisterExporter(const std::string& key, Exporter exporter) {
    Exporters()[UpperKey(key)] = std::move(exporter);
}

ExportDialogs& ExportDialogHooks() {
    static ExportDialogs dialogs;
    return dialogs;
}

bool ExportInProgress() {
    return g_exporting.load();
}

bool StreamExportInProgress() {
    return g_streamExporting.load();
}

std::string WithExportExtension(const std::string& path, const std::string& key) {
    const std::string ext = "." + UpperKey(key);
    if (path.size() >= ext.size() && UpperKey(path.substr(path.size() - ext.size())) == ext)
        return path;
    return path + ext;
}

int RunExportCommand(CMainWindow& w, const std::string& key) {
    CAni& ani = w.App().Doc();
    ExportOptions options = DefaultExportOptions(ani, UpperKey(key));
    options.frameSelect = w.App().Config().Flag(Settings::kFrameSelect);
    options.areaSelect = w.App().Config().Flag(Settings::kAreaSelect);
    QString start = LastExportFolder();
    if (start.isEmpty())
        start = QString::fromStdString(w.App().Config().DefaultFolder());

    if (SameExportKey(options.formatKey, kExportKeyBmp)) {
        auto& choose = ExportDialogHooks().chooseFolder;
        const QString folder =
            choose ? choose(Text(w, S_EXPORT_TITLE), Text(w, S_EXPORT_FOLDER_PROMPT), start)
                   : ChooseFolderDialog(w, Text(w, S_EXPORT_TITLE), Text(w, S_EXPORT_FOLDER_PROMPT), start);
        if (folder.isEmpty())
            return -1;
        options.outputPath = folder.toStdString();
        if (options.outputPath.back() != '/')
            options.outputPath += '/';
        LastExportFolder() = folder;
    } else {
        int filterText = S_FILTER_AVI, caption = S_EXPORT_AVI;
        const char* ext = "avi";
        if (SameExportKey(options.formatKey, kExportKeyZov)) {
            filterText = S_FILTER_ZOV;
            caption = S_EXPORT_ZOV;
            ext = "zov";
        } else if (SameExportKey(options.formatKey, kExportKeyWmv)) {
            filterText = S_FILTER_WMV;
            caption = S_EXPORT_WMV;
            ext = "wmv";
        }
        const QStringList filters = {QString("%1 (*.%2)").arg(Text(w, filterText), ext),
                                     QString("%1 (*.%2)").arg(Text(w, S_FILTER_ALL), "*")};
        for (;;) {
            const QString chosen = w.DialogHooks().savePath(Caption(w, caption), start, filters, nullptr);
            if (chosen.isEmpty())
                return -1;
            const std::string path = WithExportExtension(chosen.toStdString(), options.formatKey);
            // The chooser asked about the name it was given, not about the one with the
            // extension added: ask about that one here.
            std::error_code ec;
            if (path != chosen.toStdString() && std::filesystem::exists(path, ec) &&
                !w.DialogHooks().askYesNo(
                    Text(w, S_EXPORT_REPLACE).replace("%s", QString::fromStdString(path)))) {
                start = QString::fromStdString(path);
                continue;
            }
            options.outputPath = path;
            LastExportFolder() = QString::fromStdString(std::filesystem::path(path).parent_path().string());
            break;
        }
    }
    if (options.frameSelect) {
        const FrameRange& sel = w.Selection().selection;
        if (sel.Length() > 0) {
            options.first = sel.Start();
            options.last = std::min(sel.End(), ani.FrameCount() - 1);
        }
    }
    if (options.areaSelect && ExportDialogHooks().startAreaSelection) {
        // Nothing is written until the export-area element has its area; it then runs the
        // dispatcher with the options.
        ExportDialogHooks().startAreaSelection(options);
        w.UpdateCommandStates();
        w.DialogHooks().message(Text(w, S_EXPORT_AREA_PROMPT), false);
        return 0;
    }
    return RunExport(w, options);
}

int RunExport(CMainWindow& w, ExportOptions options) {
    const auto found = Exporters().find(UpperKey(options.formatKey));
    if (found == Exporters().end()) {
        ZOV_LOG(("no exporter for the key " + options.formatKey).c_str());
        return -1;
    }
    const bool bitmaps = SameExportKey(options.formatKey, kExportKeyBmp);
    if (SameExportKey(options.formatKey, kExportKeyAvi)) {
        auto& choose = ExportDialogHooks().chooseCompressor;
        if (choose)
            choose(options.compressor);
        else
            ChooseCompressorDialog(w, options.compressor);
    }
    CAni& ani = w.App().Doc();
    g_exporting = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool ok = false, cancelled = false;
    std::string error;
    {
        ProgressDialog progress(&w, Text(w, S_EXPORT_TITLE), Text(w, S_EXPORTING),
                                Text(w, S_PROGRESS_CANCEL));
        QPointer<ProgressDialog> dialog(&progress);
        const QString exporting = Text(w, S_EXPORTING);
        ExportJob job;
        job.cancel = &progress.CancelFlag();
        job.language = w.App().Config().LanguageIndex();
        job.progress = [dialog, exporting](int32_t done, int32_t total) {
            QMetaObject::invokeMethod(
                dialog.data(),
                [dialog, exporting, done, total] {
                    if (dialog)
                        dialog->SetText(QString("%1 %2 / %3").arg(exporting).arg(done).arg(total));
                },
                Qt::QueuedConnection);
        };
        const Exporter exporter = found->second;
        ok = progress.Run([&] { return exporter(ani, options, job, error); }, /*cancellable=*/true);
        cancelled = !ok && progress.Cancelled();
    }
    QApplication::restoreOverrideCursor();
    g_exporting = false;
    g_streamExporting = false;
    w.UpdateCommandStates();
    if (cancelled)
        return -1;
    QString text = Text(w, ok ? (bitmaps ? S_EXPORT_BMP_DONE : S_EXPORT_DONE)
                              : (bitmaps ? S_EXPORT_BMP_FAILED : S_EXPORT_FAILED));
    if (!ok && !error.empty())
        text += "\n\n" + QString::fromStdString(error);
    w.DialogHooks().message(text, !ok);
    return ok ? 0 : -1;
}

void RegisterExportCommands(CMainWindow& w) {
    RegisterExporter(kExportKeyZov, ExportZov);
    RegisterExporter(kExportKeyAvi, ExportAvi);
    auto available = [](const CommandContext& c) {
        return CommandState{c.hasFrames && !c.Busy() && c.Idle(), false};
    };
    CMainWindow* window = &w;
    w.Commands().Register(
        ID_EXPORT_ZOV, [window] { (void)RunExportCommand(*window, kExportKeyZov); }, available);
    w.Commands().Register(
        ID_EXPORT_AVI, [window] { (void)RunExportCommand(*window, kExportKeyAvi); }, available);
}

} // namespace zov
