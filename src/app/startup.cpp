#include "app/startup.h"

#include "base/conversions.h"
#include "db/connection_string.h"
#include "db/parameters.h"

namespace corvex {

QString buildConnectionString(const QString& server) { return ConnectionString::forServer(server).text(); }

std::int16_t smtpPortFromText(const QString& text) { return toInt16(textToNumber(text)); }

void readParameters(Database& database, Settings& settings) {
  settings.sysEmail = GetParameter(database, QStringLiteral("sysEmail"));
  settings.sysWeb = GetParameter(database, QStringLiteral("sysWeb"));
  settings.sysSMTPServer = GetParameter(database, QStringLiteral("sysSMTPServer"));
  settings.sysSMTPPort = smtpPortFromText(GetParameter(database, QStringLiteral("sysSMTPPort")));
  settings.sysSMTPUser = GetParameter(database, QStringLiteral("sysSMTPUser"));
  settings.sysSMTPPassword = GetParameter(database, QStringLiteral("sysSMTPPassword"));
  settings.sysSMTPFrom = GetParameter(database, QStringLiteral("sysSMTPFrom"));
}

}  // namespace corvex
