#include "app/startup.h"

#include "app/ini_file.h"
#include "base/conversions.h"
#include "base/error.h"
#include "db/parameters.h"

namespace corvex {

QString buildConnectionString(const QString& server) {
  return QStringLiteral(
             "Provider=SQLOLEDB.1;Password=+-582417;Persist Security Info=True;User ID=tov;"
             "Initial Catalog=Velantrix;Data Source=") +
         server + QStringLiteral(";Network Library=dbmssocn");
}

std::int16_t smtpPortFromText(const QString& text) { return toInt16(textToNumber(text)); }

namespace {

constexpr int kLargestSmtpLimit = 100000;

int smtpLimit(const QString& iniPath, const char* key, int defaultValue, int smallest) {
  const QString name = QString::fromLatin1(key);
  const QString text = ReadIniValue(iniPath, QStringLiteral("SMTP"), name, QString());
  if (text.isEmpty()) return defaultValue;
  bool ok = false;
  const int value = text.toInt(&ok);
  if (ok && value >= smallest && value <= kLargestSmtpLimit) return value;
  throw Error(kInvalidArgument, QStringLiteral("main.ini [SMTP] %1 must be a whole number from %2 to %3, not \"%4\"")
                                    .arg(name)
                                    .arg(smallest)
                                    .arg(kLargestSmtpLimit)
                                    .arg(text));
}

}  // namespace

void readSmtpLimits(Settings& settings) {
  settings.MaxMessagesPerConnection = smtpLimit(settings.IniPath, "MaxMessagesPerConnection", 100, 1);
  settings.MessagesPerMinute = smtpLimit(settings.IniPath, "MessagesPerMinute", 0, 0);
}

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
