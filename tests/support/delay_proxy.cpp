#include "support/delay_proxy.h"

namespace corvex::test {

DelayProxy::DelayProxy(int targetPort, int delayMs)
    : m_process(supportScript(QStringLiteral("delay_proxy.py")),
                {QStringLiteral("--target-port"), QString::number(targetPort), QStringLiteral("--delay-ms"),
                 QString::number(delayMs), QStringLiteral("--stats"), m_dir.filePath(QStringLiteral("stats.json"))},
                m_dir.filePath(QStringLiteral("stderr.txt"))) {}

ProxyStats DelayProxy::stats() const {
  const QJsonObject stats = readJsonFile(m_dir.filePath(QStringLiteral("stats.json")));
  return ProxyStats{stats["connections"].toInt(), stats["round_trips"].toInt()};
}

}  // namespace corvex::test
