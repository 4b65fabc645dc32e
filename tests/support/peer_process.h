#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace corvex::test {

/// A peer script of tests/support run by the Debian python3 (CORVEX_PYTHON
/// overrides), which prints "READY <port>" once it listens. Started by the
/// constructor, stopped by stop() or the destructor.
///
/// The constructor raises std::runtime_error when the script does not report
/// ready within 20 s; the reason includes what it wrote to `stderrFile`.
class PeerProcess {
 public:
  PeerProcess(const QString& script, const QStringList& arguments, const QString& stderrFile);
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  int port() const { return m_port; }
  void stop();

 private:
  QProcess m_process;
  int m_port = 0;
};

/// The interpreter that has the peers' Debian modules.
QString python();
/// tests/support/<name>.
QString supportScript(const QString& name);
/// `text` parsed as a JSON object; raises std::runtime_error naming `what`.
QJsonObject readJsonObject(const QByteArray& text, const QString& what);
/// A JSON object file; raises std::runtime_error when it is missing or bad.
QJsonObject readJsonFile(const QString& path);

}  // namespace corvex::test
