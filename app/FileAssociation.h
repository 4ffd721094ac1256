// The project file type, registered with the desktop the XDG way at every start: a per-user
// desktop entry for "zov-recorder %f", a shared-mime-info type for "*.scp" with our icon,
// and the entry as the type's default application. Stream files are not associated.
#pragma once

#include <string>

namespace zov {

constexpr const char* kProjectMimeType = "application/x-zov-recorder-project";
constexpr const char* kDesktopFileName = "zov-recorder.desktop";

// The desktop entry's text for the program in `programFolder` with its icon in `dataFolder`.
std::string DesktopEntryText(const std::string& programFolder, const std::string& dataFolder);
// The shared-mime-info package text of the project type.
std::string MimePackageText();

// Writes the files under $XDG_DATA_HOME (else ~/.local/share) and the default in
// $XDG_CONFIG_HOME/mimeapps.list; when a file changed, refreshes the databases with
// update-mime-database and update-desktop-database where they are installed. Failures are
// silent (false only tells tests).
bool RegisterFileAssociation(const std::string& programFolder, const std::string& dataFolder);

} // namespace zov
