#include "support/delay_proxy.h"

#include <QJsonArray>

namespace corvex::test {

DelayProxy::DelayProxy(int targetPort, int delayMs)
    : m_process(supportScript(QStringLiteral("delay_proxy.py")),
                {QStringLiteral("--target-port"), QString::number(targetPort), QStringLiteral("--delay-ms"),
                 QString::number(delayMs), QStringLiteral("--stats"), m_dir.filePath(QStringLiteral("stats.json"))},
                m_dir.filePath(QStringLiteral("stderr.txt"))) {}

ProxyStats DelayProxy::stats() const {
  const QJsonObject stats = readJsonFile(m_dir.filePath(QStringLiteral("stats.json")));
  QList<int> sessions;
  for (const QJsonValue& roundTrips : stats["sessions"].toArray()) sessions << roundTrips.toInt();
  return ProxyStats{stats["connections"].toInt(), stats["round_trips"].toInt(), sessions};
}

}  // namespace corvex::test
