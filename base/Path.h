// The three path helpers every subsystem uses, for POSIX paths. Extensions are compared and
// replaced without regard to case; a whole path is never case-folded.
#pragma once

#include <string>

namespace zov {

// "/a/b/c.scp" -> "/a/b/" (the separator kept); "c.scp" -> "".
std::string FolderPart(const std::string& path);
// "/a/b/c.scp" -> "c.scp".
std::string FileNamePart(const std::string& path);
// The extension without its dot ("scp"), or "" when the file name has none.
std::string ExtensionOf(const std::string& path);
// "/a/b/c.SCP" with "zov" -> "/a/b/c.zov"; a name without extension gains one.
std::string ReplaceExtension(const std::string& path, const std::string& ext);
// Case-insensitive comparison of the extension with ext (no dot).
bool HasExtension(const std::string& path, const std::string& ext);

} // namespace zov
