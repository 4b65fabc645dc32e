#pragma once

#include <QByteArray>
#include <QString>

namespace corvex {

/// RFC 3461's xtext, the form in which a message's envelope id travels in
/// MAIL FROM (ENVID=) and comes back in a delivery report
/// (Original-Envelope-Id): the printable ASCII characters but '+' and '='
/// as they are, every other byte of the UTF-8 text as "+XX".
QByteArray xtextEncoded(const QString& text);

/// The text of `xtext`; a '+' not followed by two hex digits is kept as it
/// stands, so a report from a careless server still reads.
QString xtextDecoded(const QByteArray& xtext);

}  // namespace corvex
