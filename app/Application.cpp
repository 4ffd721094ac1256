#include "app/Application.h"

#include "app/FileAssociation.h"
#include "base/Log.h"
#include "base/ProgramFolder.h"
#include "core/Ani.h"

namespace zov {

namespace {
ZovApp* g_app = nullptr;
}

ZovApp* App() {
    return g_app;
}

void SetApp(ZovApp* app) {
    g_app = app;
}

AppFolders AppFolders::FromSystem() {
    AppFolders f;
    f.program = ProgramFolder();
    f.data = DataFolder();
    f.writable = WritableFolder();
    f.defaultProject = DefaultProjectFolder();
    return f;
}

ZovApp::ZovApp(CAni& document, AppFolders folders) : m_doc(document), m_folders(std::move(folders)) {}

bool ZovApp::Startup() {
    m_language.Free();
    m_exportInProgress = false;
    if (m_folders.registerFileType)
        RegisterFileAssociation(m_folders.program, m_folders.data); // failures are silent
    SetLogPath(m_folders.writable + "ZOV Recorder.log");
    std::string start = std::string("<-- Process Start (Version: ") + kVersionText + ")";
    ZOV_LOG(start.c_str());
    m_settings.Load(SettingsFilePath(), m_folders.defaultProject);
    if (!m_language.ReadLanguageList(LanguageFolder(), m_settings)) {
        m_warning = "Warning: Language List File Lost, Please ReInstall ZOV Recorder.";
        ZOV_LOG("!!! Warning: Language List File Lost, Please ReInsteal ZOV Recorder.");
        return false;
    }
    m_language.LoadStrings(LanguageFolder(), m_settings.LanguageIndex());
    m_doc.SetNotProjectText(m_language.Text(S_NOT_A_PROJECT));
    m_doc.SetDefaultFrameDelay(m_settings.FrameDelay());
    m_doc.SetDefaultRecordPointer(m_settings.Flag(Settings::kRecordPointer));
    m_started = true;
    return true;
}

void ZovApp::Shutdown() {
    if (!m_started || m_shutDown)
        return;
    m_shutDown = true;
    m_doc.Close();
    m_settings.Save(SettingsFilePath()); // a settings file that cannot be written is skipped
    m_language.Free();
    std::string end = std::string("--> Process Terminal (Version: ") + kVersionText + ")";
    ZOV_LOG(end.c_str());
}

int ZovApp::SelectLanguage(const std::string& name) {
    int index = LanguageIndexForName(name);
    if (index < 0)
        index = 0;
    m_settings.SetLanguage(index, LanguageNameForIndex(index));
    m_language.LoadStrings(LanguageFolder(), index);
    m_doc.SetNotProjectText(m_language.Text(S_NOT_A_PROJECT));
    return index;
}

} // namespace zov
