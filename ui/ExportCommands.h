// The export commands of the editor: choosing the target (file or folder), the extension rule,
// "Frame Select" and "Area Select", the compressor chooser for AVI, and the dispatcher that
// runs an exporter under a progress dialog with Cancel and reports the result. The ZOV and AVI
// exporters are registered here; other formats register theirs with RegisterExporter().
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "export/ExportOptions.h"

namespace zov {

class CAni;
class CMainWindow;

// What an exporter gets besides the options: the Cancel flag and a progress report, both
// used from the worker thread the exporter runs on.
struct ExportJob {
    const std::atomic<bool>* cancel = nullptr;
    std::function<void(int32_t done, int32_t total)> progress;
    int language = 0; // interface language (pages' character set)
};
// Runs on a worker thread; true on success, else false with `error` (one sentence; empty
// after a cancel). Must leave no half-written file behind.
using Exporter =
    std::function<bool(CAni& ani, const ExportOptions& options, const ExportJob& job, std::string& error)>;
void RegisterExporter(const std::string& key, Exporter exporter);

// The questions the export flow asks; tests replace them.
struct ExportDialogs {
    // The compressor chooser (AVI): fills `choice`; its Cancel keeps what it was given.
    std::function<void(CompressorChoice& choice)> chooseCompressor;
    // The folder chooser of the bitmap export; "" on Cancel.
    std::function<QString(const QString& title, const QString& prompt, const QString& start)> chooseFolder;
    // "Area Select": hands the options to the export-area element, which runs RunExport()
    // with the area filled in once the user has dragged it. Empty: no such element yet.
    std::function<void(const ExportOptions& options)> startAreaSelection;
};
ExportDialogs& ExportDialogHooks();

// Adds the export commands to the window's command table.
void RegisterExportCommands(CMainWindow& window);

// The command flow for a format key: 0 when an export ran (or waits for its area), -1 when
// the user cancelled or it failed.
int RunExportCommand(CMainWindow& window, const std::string& key);
// The dispatcher: runs the exporter of options.formatKey and tells the user how it went.
// 0 on success, -1 otherwise.
int RunExport(CMainWindow& window, ExportOptions options);

// A file target gets ".KEY" in capitals unless it already ends in that extension in any
// case: "demo" -> "demo.AVI", "demo.avi" stays.
std::string WithExportExtension(const std::string& path, const std::string& key);

// Set while any export runs, and while a stream file is written.
bool ExportInProgress();
bool StreamExportInProgress();

} // namespace zov
