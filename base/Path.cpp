#include "base/Path.h"

#include <strings.h>

namespace zov {

std::string FolderPart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNamePart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

static size_t ExtensionDot(const std::string& path) {
    size_t start = path.rfind('/');
    start = start == std::string::npos ? 0 : start + 1;
    size_t dot = path.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot <= start)
        return std::string::npos;
    return dot;
}

std::string ExtensionOf(const std::string& path) {
    size_t dot = ExtensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string ReplaceExtension(const std::string& path, const std::string& ext) {
    size_t dot = ExtensionDot(path);
    std::string stem = dot == std::string::npos ? path : path.substr(0, dot);
    return ext.empty() ? stem : stem + "." + ext;
}

bool HasExtension(const std::string& path, const std::string& ext) {
    return strcasecmp(ExtensionOf(path).c_str(), ext.c_str()) == 0;
}

} // namespace zov
