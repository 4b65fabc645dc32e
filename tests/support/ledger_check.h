#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace corvex::test {

/// The mail lines of the delivery ledger in the Application folder `folder`
/// (every ledger-*.jsonl), read independently of the program's reader.
QList<QJsonObject> ledgerMailLines(const QString& folder);

/// The ledger's promise, checked against what reached the buyers: every
/// document marked as mailed in `database` (a SQLite file of FACTURAS_ENC;
/// the demo's FA-1250, mailed before any run, aside) has at least one mail
/// line, and every mail line names a message of
/// `messages` (.eml files, by Message-ID) whose attachments have exactly the
/// SHA-256 the line gives. Returns one line per breach; empty when it holds.
/// Built into the test programs that use it (it needs corvex_mail's MIME
/// reader, which the shared support library does without).
QStringList ledgerProblems(const QString& folder, const QString& database, const QStringList& messages);

}  // namespace corvex::test
