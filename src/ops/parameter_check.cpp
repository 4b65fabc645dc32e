#include "ops/parameter_check.h"

#include "base/conversions.h"
#include "base/error.h"
#include "mail/graph_transport.h"
#include "mail/mail_address.h"
#include "mail/pickup_folder.h"

namespace corvex {

namespace {

const QString kPort = QStringLiteral("sysSMTPPort");
const QString kServer = QStringLiteral("sysSMTPServer");
const QString kPassword = QStringLiteral("sysSMTPPassword");

QString valueOf(const ParameterValues& values, const QString& name) {
  const auto found = values.find(name);
  return found == values.end() ? QString() : found->second.value_or(QString());
}

bool isPickup(const QString& server) { return server.startsWith(QString::fromLatin1(kPickupPrefix)); }

ParameterVerdict judgePort(const QString& value, const QString& server) {
  // Trapped here: the conversion's error is the verdict, as start-up would raise it.
  try {
    const int port = toInt16(textToNumber(value));
    if (port >= 1 || isPickup(server)) return {};
    return {QStringLiteral("%1 is no SMTP port").arg(port),
            QStringLiteral("set it to the provider's port (587 for STARTTLS, 465 for TLS), 1..32767")};
  } catch (const Error& error) {
    return {QStringLiteral("\"%1\" cannot be read as a port (error %2: %3)")
                .arg(value)
                .arg(error.number())
                .arg(error.description()),
            QStringLiteral("set a whole number 1..32767 (587 for STARTTLS, 465 for TLS); 32768 and above "
                           "cannot be configured")};
  }
}

ParameterVerdict judgeAddress(const QString& name, const QString& value) {
  const QString problem = addressProblem(QStringLiteral("address"), value);
  if (problem.isEmpty()) return {};
  return {QStringLiteral("\"%1\": %2").arg(value, problem),
          QStringLiteral("set a plain address such as dte@company.com in %1").arg(name)};
}

ParameterVerdict judgeValue(const QString& name, const ParameterValues& values, bool passwordLogin) {
  const QString value = valueOf(values, name);
  if (name == kPort) return judgePort(value, valueOf(values, kServer));
  if (name == QStringLiteral("sysSMTPFrom") || name == QStringLiteral("sysEmail")) return judgeAddress(name, value);
  if (name == kServer && value.trimmed().isEmpty())
    return {QStringLiteral("empty"), QStringLiteral("set the provider's SMTP host, or pickup:DIR to write .eml files")};
  // Graph and the XOAUTH2 login take a token, never the password.
  const bool needsPassword = passwordLogin && !isGraphServer(valueOf(values, kServer));
  if (name == kPassword && needsPassword && value.isEmpty() &&
      !valueOf(values, QStringLiteral("sysSMTPUser")).isEmpty())
    return {QStringLiteral("empty while sysSMTPUser is set"), QStringLiteral("set the SMTP account's password")};
  if (name == QStringLiteral("FESVAmbiente") && value != QStringLiteral("00") && value != QStringLiteral("01"))
    return {QStringLiteral("\"%1\" is no DTE environment").arg(value),
            QStringLiteral("set 00 (test) or 01 (production), as the tax authority assigned")};
  return {};
}

}  // namespace

QStringList checkedParameters() {
  return {QStringLiteral("sysEmail"),
          QStringLiteral("sysWeb"),
          kServer,
          kPort,
          QStringLiteral("sysSMTPUser"),
          kPassword,
          QStringLiteral("sysSMTPFrom"),
          QStringLiteral("FESVAmbiente")};
}

ParameterVerdict judgeParameter(const QString& name, const ParameterValues& values, bool passwordLogin) {
  const auto found = values.find(name);
  if (found == values.end() || !found->second)
    return {QStringLiteral("missing"),
            QStringLiteral("add the row: INSERT INTO Parametros (Parametro, Valor) VALUES ('%1', '...')").arg(name)};
  return judgeValue(name, values, passwordLogin);
}

QString shownValue(const QString& name, const QString& value) {
  if (name == kPassword) return value.isEmpty() ? QStringLiteral("(empty)") : QStringLiteral("(set)");
  return value.isEmpty() ? QStringLiteral("(empty)") : value;
}

}  // namespace corvex
