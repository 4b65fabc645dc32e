#pragma once

#include <QString>

namespace corvex {

/// The texts the dispatch run builds for each pending document. Pure
/// functions; the caller maps NULL columns to what each parameter says.

/// The fixed Spanish cover text of the mail: greeting with the buyer's
/// name, the notice with the company's contact address, the closing and the
/// sender's name. Paragraphs are separated by CR LF LF; nothing follows the
/// sender's name. A NULL `tNombre` or `NomCorp` is passed as empty text.
QString coverText(const QString& tNombre, const QString& sysEmail, const QString& NomCorp);

/// The label a mail's log line carries: `Serie` + "-" + `Numero` + "--" + `eMail`.
QString logLabel(const QString& serie, const QString& numero, const QString& eMail);

/// The statement that marks a document as mailed in FACTURAS_ENC. Single
/// quotes in `serie` are doubled so that no series can break or extend the
/// statement.
QString markingStatement(const QString& serie, qint32 numero);

/// The statement that makes a document pending again (ENVIADA=0), quoted
/// like markingStatement().
QString resendStatement(const QString& serie, qint32 numero);

}  // namespace corvex
