#pragma once

#include <QString>

namespace corvex {

/// The Application folder: every file the program touches lies at a fixed
/// relative path below it. The program never creates any of its folders.
class AppFolder {
 public:
  explicit AppFolder(QString root);

  const QString& root() const { return m_root; }

  /// `relative` uses '/' separators ("logs/20261207.txt"); the result is
  /// joined without doubling a separator the root may already end in.
  QString path(const QString& relative) const;

 private:
  QString m_root;
};

}  // namespace corvex
