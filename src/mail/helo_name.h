#pragma once

#include <QString>

namespace corvex {

/// The name this machine gives in EHLO. Relays that hold to RFC 5321 refuse a
/// bare host name ("vm"), so it is, in this order: `configured` (main.ini
/// [SMTP] HeloName) when not empty; the machine's fully qualified domain name
/// as the system knows it (Windows: its DNS name; elsewhere: the host name
/// when it holds a dot, else its canonical name from the resolver); or else an
/// address literal of the local end of the route to `server`
/// ("[192.0.2.10]", "[IPv6:2001:db8::1]"; `server` may be an IPv6 address in
/// brackets), the loopback of the server's family ("[127.0.0.1]",
/// "[IPv6:::1]") when not even that is known. Never raises.
QString heloName(const QString& configured, const QString& server);

/// Why `name` cannot stand after EHLO (not a domain name with a dot, nor an
/// address literal), or an empty text.
QString heloNameProblem(const QString& name);

}  // namespace corvex
