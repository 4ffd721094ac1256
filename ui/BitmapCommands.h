// The bitmap and WMV commands of the editor: Import Frames from BMP Files (a worker thread
// behind the progress dialog, the frames then placed at the selected position), and the
// bitmap and WMV exports.
#pragma once

class QString;

namespace zov {

class CMainWindow;

// Registers ID_IMPORT_BMP (and the export commands) with the window's command table.
void RegisterBitmapCommands(CMainWindow& window);

// The import's steps after its file dialog, for the command and for tests: the naming rule,
// the worker with the progress dialog, the placement and the report.
void ImportBitmapSeries(CMainWindow& window, const QString& path);

} // namespace zov
