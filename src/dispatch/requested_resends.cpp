#include "dispatch/requested_resends.h"

#include "base/error.h"
#include "db/sql_text.h"
#include "dispatch/dispatch_texts.h"

#include <algorithm>

namespace corvex {

namespace {

QString documentKey(const ResendRequest& request) {
  return request.serie + QLatin1Char('-') + QString::number(request.numero);
}

// SQL Server matches the series without regard to case.
QString caselessKey(const QString& serie, qint32 numero) {
  return serie.toUpper() + QLatin1Char('-') + QString::number(numero);
}

bool inJournal(const UnmarkedJournal& journal, const ResendRequest& request) {
  return std::any_of(journal.entries().begin(), journal.entries().end(), [&](const UnmarkedDocument& entry) {
    return entry.numero == request.numero && entry.serie.compare(request.serie, Qt::CaseInsensitive) == 0;
  });
}

// The view's address, or empty when the view does not list the document.
QString viewAddress(Connection& connection, const ResendRequest& request) {
  const auto rows = connection.execute(QStringLiteral("SELECT eMail FROM vwDTECorvex WHERE Serie=%1 AND Numero=%2")
                                           .arg(sqlTextLiteral(request.serie), QString::number(request.numero)));
  return rows->eof() ? QString() : rows->field(QStringLiteral("eMail")).toTextOrEmpty();
}

QString resendLine(const ResendRequest& request, const QString& viewEmail, bool journaled) {
  const QString head = QStringLiteral("sendDTEbyMail=> Resend of %1, asked %2%3: ")
                           .arg(documentKey(request), request.requestedAt,
                                journaled ? QStringLiteral(", taken out of the journal") : QString());
  if (viewEmail.isEmpty()) return head + QStringLiteral("not mailed, since the view vwDTECorvex does not list it");
  if (request.to.isEmpty()) return head + QStringLiteral("mailed again to ") + viewEmail;
  return head + QStringLiteral("mailed again to %1 instead of %2").arg(request.to, viewEmail);
}

}  // namespace

RequestedResends::RequestedResends(FileSystem& files, AppFolder folder, const DailyLog& log, int lockWaitMs)
    : m_folder(folder), m_log(log), m_lockWaitMs(lockWaitMs), m_requests(files, std::move(folder)) {}

std::unique_ptr<ResendRequests::Lock> RequestedResends::apply(Connection& connection, UnmarkedJournal& journal) {
  std::unique_ptr<ResendRequests::Lock> lock;
  // Trapped here: a request being made is no error of the run.
  try {
    lock = std::make_unique<ResendRequests::Lock>(m_folder, m_lockWaitMs);
  } catch (const Error& error) {
    if (error.number() != kPermissionDenied) throw;
    m_log.WriteLog(QStringLiteral("sendDTEbyMail=> %1; the run waits for the next tick").arg(error.description()));
    return nullptr;
  }
  m_requests.load();
  journal.load();
  const QList<ResendRequest> requests = m_requests.entries();
  for (const ResendRequest& request : requests) update(connection, journal, request);
  m_redirects = m_requests.entries();
  return lock;
}

// A --to stays only while the view lists its document: once the view drops
// it, its mail went out (or will not), and a later listing is none of the
// request's business.
void RequestedResends::update(Connection& connection, UnmarkedJournal& journal, const ResendRequest& request) {
  const bool journaled = !request.applied && inJournal(journal, request);
  if (!request.applied) {
    connection.execute(resendStatement(request.serie, request.numero));
    if (journaled) journal.remove(request.serie, request.numero);
    m_unmailed.insert(caselessKey(request.serie, request.numero));
  }
  const QString viewEmail = viewAddress(connection, request);
  if (!request.applied) m_log.WriteLog(resendLine(request, viewEmail, journaled));
  if (request.to.isEmpty() || viewEmail.isEmpty()) {
    m_requests.remove(request.serie, request.numero);
  } else if (!request.applied) {
    ResendRequest applied = request;
    applied.applied = true;
    m_requests.put(applied);
  }
}

QString RequestedResends::recipient(const QString& serie, qint32 numero, const QString& eMail) const {
  for (const ResendRequest& redirect : m_redirects) {
    if (redirect.numero == numero && redirect.serie.compare(serie, Qt::CaseInsensitive) == 0) return redirect.to;
  }
  return eMail;
}

bool RequestedResends::isResend(const QString& serie, qint32 numero) const {
  return m_unmailed.contains(caselessKey(serie, numero));
}

void RequestedResends::mailed(const QString& serie, qint32 numero) { m_unmailed.remove(caselessKey(serie, numero)); }

}  // namespace corvex
