#include "app/FileAssociation.h"

#include "platform/Process.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zov {

namespace {

std::string HomeBased(const char* variable, const char* fallback) {
    if (const char* v = std::getenv(variable); v && *v)
        return v;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + fallback;
}

void MakeFolders(const std::string& folder) {
    for (size_t i = 1; i <= folder.size(); ++i)
        if (i == folder.size() || folder[i] == '/')
            mkdir(folder.substr(0, i).c_str(), 0755);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Writes `text` unless the file already holds it. Sets `changed` when it wrote.
bool WriteIfChanged(const std::string& path, const std::string& text, bool& changed) {
    if (ReadText(path) == text)
        return true;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        return false;
    changed = true;
    return true;
}

// Quoting of the Exec key: arguments with reserved characters go in double quotes, with
// '"', '`', '$' and '\' escaped by a backslash.
std::string ExecQuote(const std::string& arg) {
    if (arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") == std::string::npos)
        return arg;
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Value of a desktop-entry string key: backslashes doubled, as the key's escapes need.
std::string EntryValue(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

// Runs a desktop database tool when it is installed; its output is not ours to show, and a
// tool that hangs is ended after 20 s.
void RunQuietly(const std::vector<std::string>& argv) {
    ProcessOptions quiet;
    quiet.output = ProcessOutput::Discard();
    quiet.errors = ProcessOutput::Discard();
    RunProcess(argv, quiet, 20000);
}

// Sets "type=entry" in the [Default Applications] group, keeping every other line.
std::string WithDefault(const std::string& mimeapps, const std::string& type, const std::string& entry) {
    std::istringstream in(mimeapps);
    std::string line, out;
    bool inGroup = false, seenGroup = false, written = false;
    const std::string key = type + "=";
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') {
            if (inGroup && !written) {
                out += key + entry + "\n";
                written = true;
            }
            inGroup = line == "[Default Applications]";
            seenGroup = seenGroup || inGroup;
        } else if (inGroup && line.compare(0, key.size(), key) == 0) {
            if (!written)
                out += key + entry + "\n";
            written = true;
            continue;
        }
        out += line + "\n";
    }
    if (!written) {
        if (!seenGroup)
            out += "[Default Applications]\n";
        out += key + entry + "\n";
    }
    return out;
}

} // namespace

std::string DesktopEntryText(const std::string& programFolder, const std::string& dataFolder) {
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=ZOV Recorder\n"
                       "GenericName=Screen Recorder\n"
                       "Comment=Record the screen, edit the frames and publish them on the web\n";
    text += "Exec=" + EntryValue(ExecQuote(programFolder + "zov-recorder")) + " %f\n";
    text += "Icon=" + EntryValue(dataFolder + "icons/zov.svg") + "\n";
    text += "Terminal=false\n"
            "Categories=AudioVideo;Video;Recorder;\n";
    text += std::string("MimeType=") + kProjectMimeType + ";\n";
    return text;
}

std::string MimePackageText() {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                       "  <mime-type type=\"") +
           kProjectMimeType +
           "\">\n"
           "    <comment>ZOV Recorder project</comment>\n"
           "    <icon name=\"application-x-zov-recorder-project\"/>\n"
           "    <glob pattern=\"*.scp\"/>\n"
           "    <magic priority=\"50\"><match type=\"string\" offset=\"0\" value=\"VOKA\"/></magic>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

bool RegisterFileAssociation(const std::string& programFolder, const std::string& dataFolder) {
    const std::string dataHome = HomeBased("XDG_DATA_HOME", "/.local/share");
    const std::string configHome = HomeBased("XDG_CONFIG_HOME", "/.config");
    const std::string apps = dataHome + "/applications";
    const std::string mime = dataHome + "/mime";
    const std::string icons = dataHome + "/icons/hicolor/scalable/mimetypes";
    MakeFolders(apps);
    MakeFolders(mime + "/packages");
    MakeFolders(icons);
    MakeFolders(configHome);
    bool entryChanged = false, mimeChanged = false, unused = false;
    bool ok = WriteIfChanged(apps + "/" + kDesktopFileName, DesktopEntryText(programFolder, dataFolder),
                             entryChanged);
    ok = WriteIfChanged(mime + "/packages/zov-recorder.xml", MimePackageText(), mimeChanged) && ok;
    std::string icon = ReadText(dataFolder + "icons/zov.svg");
    if (!icon.empty())
        ok = WriteIfChanged(icons + "/application-x-zov-recorder-project.svg", icon, mimeChanged) && ok;
    const std::string mimeapps = configHome + "/mimeapps.list";
    ok = WriteIfChanged(mimeapps, WithDefault(ReadText(mimeapps), kProjectMimeType, kDesktopFileName),
                        unused) &&
         ok;
    if (mimeChanged || access((mime + "/mime.cache").c_str(), F_OK) != 0)
        RunQuietly({"update-mime-database", mime});
    if (entryChanged)
        RunQuietly({"update-desktop-database", apps});
    return ok;
}

} // namespace zov
