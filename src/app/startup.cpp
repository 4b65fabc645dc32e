#include "app/startup.h"

#include "base/conversions.h"
#include "db/parameters.h"

namespace corvex {

QString buildConnectionString(const QString& server) {
  return QStringLiteral(
             "Provider=SQLOLEDB.1;Password=+-582417;Persist Security Info=True;User ID=tov;"
             "Initial Catalog=Velantrix;Data Source=") +
         server + QStringLiteral(";Network Library=dbmssocn");
}

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
