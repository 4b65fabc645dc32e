#pragma once

#include <QString>
#include <QStringList>

namespace corvex {

/// The addresses in one recipient text: several may be given, separated by
/// ';' or ','. Blanks around each are dropped, and so are empty pieces.
QStringList splitAddresses(const QString& text);

/// Why `address` cannot go into an envelope or a header as it is, or an empty
/// text when it can. `role` ("sender", "recipient") names it in the reason.
/// Only bare ASCII addresses pass: a line break, a blank, angle brackets, a
/// non-ASCII letter or a missing '@' would make a malformed message.
QString addressProblem(const QString& role, const QString& address);

/// A mailbox as a setting may hold it: a bare address, or
/// `Display Name <address>` (the name may stand in double quotes).
struct Mailbox {
  QString displayName;  ///< empty for a bare address
  QString address;
};

/// Splits `text` into name and address. Text that is not of the form
/// `name <address>` is taken whole as the address, so addressProblem() can
/// name it.
Mailbox parseMailbox(const QString& text);

}  // namespace corvex
