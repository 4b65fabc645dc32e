#include "base/app_folder.h"

#include <QDir>

namespace corvex {

AppFolder::AppFolder(QString root) : m_root(std::move(root)) {}

QString AppFolder::path(const QString& relative) const { return QDir(m_root).filePath(relative); }

}  // namespace corvex
