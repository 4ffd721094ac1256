// The application object: one per process. It holds the settings record, the language
// tables, the folders, the mutex around the shared frame picture, and reaches the one
// document. Start-up and shut-down run on the window thread, in the order below.
#pragma once

#include "app/Language.h"
#include "app/Settings.h"

#include <mutex>
#include <string>

namespace zov {

class CAni;

// The version text of the start and end log lines.
constexpr const char* kVersionText = "2003-12-21 15:27";

// Where the program finds its data and keeps its files; tests point these at scratch folders.
struct AppFolders {
    std::string program;        // the executable's folder, ending in '/'
    std::string data;           // shipped data: language/, icons/, help_*/
    std::string writable;       // settings and log
    std::string defaultProject; // default folder of the project dialogs
    bool registerFileType = true;
    static AppFolders FromSystem();
};

class ZovApp {
  public:
    ZovApp(CAni& document, AppFolders folders);
    ZovApp(const ZovApp&) = delete;
    ZovApp& operator=(const ZovApp&) = delete;

    // Everything before the main window: file type registration, the start log line, the
    // settings, the language list and texts. False when the program must stop; then
    // StartupWarning() holds the sentence to show (the log line is already written).
    bool Startup();
    // After the main window has gone: the project released, the settings written, the
    // language texts freed, the end log line. Runs once; later calls do nothing.
    void Shutdown();

    CAni& Doc() { return m_doc; }
    Settings& Config() { return m_settings; }
    const Settings& Config() const { return m_settings; }
    LanguageTable& Language() { return m_language; }
    const std::string& Text(int id) const { return m_language.Text(id); }
    const AppFolders& Folders() const { return m_folders; }
    std::string SettingsFilePath() const { return m_folders.writable + "ZOV Recorder.dat"; }
    std::string LanguageFolder() const { return m_folders.data + "language/"; }
    const std::string& StartupWarning() const { return m_warning; }

    // The language switch: index by name, settings updated, table reloaded (English when the
    // language's own file is missing). Returns the index now stored.
    int SelectLanguage(const std::string& name);

    // Held while a worker draws one frame into the shared picture, and by the window thread
    // while it paints that picture.
    std::mutex& FrameMutex() { return m_frameMutex; }

    bool m_exportInProgress = false;

  private:
    CAni& m_doc;
    AppFolders m_folders;
    Settings m_settings;
    LanguageTable m_language;
    std::mutex m_frameMutex;
    std::string m_warning;
    bool m_started = false;
    bool m_shutDown = false;
};

// The application of this process, for the program's own code (main and its windows' hooks);
// tests make their own ZovApp and never set it.
ZovApp* App();
void SetApp(ZovApp* app);

} // namespace zov
