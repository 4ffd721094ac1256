#include "ui/IconTheme.h"

#include <QFile>

namespace zov {

QIcon LoadIcon(const std::string& dataFolder, const char* file) {
    const QString path = QString::fromStdString(dataFolder) + "icons/" + QString::fromLatin1(file);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace zov
