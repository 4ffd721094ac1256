// The program's own icons (SVG files in data/icons/).
#pragma once

#include <QIcon>
#include <string>

namespace zov {

// The icon `file` of `dataFolder` + "icons/"; a null icon when the file is missing.
QIcon LoadIcon(const std::string& dataFolder, const char* file);

} // namespace zov
