#include "mail/helo_name.h"

#include "net/curl_handle.h"

#include <QRegularExpression>

#ifdef _WIN32
// winsock2.h before windows.h, which would bring the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <memory>

namespace corvex {

namespace {

// Any port does: connecting a datagram socket sends nothing, it only picks
// the route and with it the local address.
constexpr char kAnyPort[] = "25";

// "[::1]", as an IPv6 address may be configured, names the host "::1".
QString bare(const QString& server) {
  return server.startsWith(u'[') && server.endsWith(u']') ? server.mid(1, server.size() - 2) : server;
}

// The loopback literal of the server's own family, when even the route to
// it is unknown.
QString lastResort(const QString& server) {
  return bare(server).contains(u':') ? QStringLiteral("[IPv6:::1]") : QStringLiteral("[127.0.0.1]");
}

bool isQualified(const QString& name) {
  return name.contains(u'.') && !name.startsWith(u'.') && !name.endsWith(u'.') &&
         !name.startsWith(QStringLiteral("localhost"), Qt::CaseInsensitive) && heloNameProblem(name).isEmpty();
}

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void closeSocket(Socket socket) { closesocket(socket); }

QString systemName() {
  wchar_t name[256];
  DWORD size = 256;
  if (!GetComputerNameExW(ComputerNameDnsFullyQualified, name, &size)) return {};
  return QString::fromWCharArray(name, int(size));
}
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
void closeSocket(Socket socket) { ::close(socket); }

// What `hostname -f` prints: the host name itself when it is qualified, else
// the canonical name the resolver (hosts file, DNS) gives it.
QString systemName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return {};
  const QString name = QString::fromLocal8Bit(host);
  if (isQualified(name)) return name;
  addrinfo hints{};
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return {};
  const QString canonical = found->ai_canonname ? QString::fromLocal8Bit(found->ai_canonname) : QString();
  freeaddrinfo(found);
  return canonical;
}
#endif

QString addressLiteral(const sockaddr_storage& local, socklen_t length) {
  char text[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&local), length, text, sizeof text, nullptr, 0, NI_NUMERICHOST) !=
      0)
    return {};
  const QString address = QString::fromLatin1(text).section(u'%', 0, 0);  // no IPv6 zone
  return local.ss_family == AF_INET6 ? QStringLiteral("[IPv6:%1]").arg(address) : u'[' + address + u']';
}

QString localEndTowards(const QString& server) {
  ensureCurlInitialised();  // on Windows, sockets need it first
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const QByteArray host = bare(server).toUtf8();
  if (getaddrinfo(host.constData(), kAnyPort, &hints, &found) != 0) return {};
  const std::unique_ptr<addrinfo, void (*)(addrinfo*)> owner(found, freeaddrinfo);
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    const Socket socket = ::socket(entry->ai_family, SOCK_DGRAM, 0);
    if (socket == kNoSocket) continue;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    const bool known = ::connect(socket, entry->ai_addr, static_cast<socklen_t>(entry->ai_addrlen)) == 0 &&
                       getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    closeSocket(socket);
    if (known) return addressLiteral(local, length);
  }
  return {};
}

}  // namespace

QString heloNameProblem(const QString& name) {
  static const QRegularExpression domain(
      QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?"
                     "(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)+$"));
  static const QRegularExpression literal(QStringLiteral("^\\[(\\d{1,3}(\\.\\d{1,3}){3}|IPv6:[0-9A-Fa-f:.]+)\\]$"));
  if (name.size() <= 253 && (domain.match(name).hasMatch() || literal.match(name).hasMatch())) return {};
  return QStringLiteral("\"%1\" is neither a fully qualified domain name nor an address literal such as [192.0.2.10]")
      .arg(name);
}

QString heloName(const QString& configured, const QString& server) {
  if (!configured.isEmpty()) return configured;
  if (const QString name = systemName(); isQualified(name)) return name;
  const QString literal = localEndTowards(server);
  return literal.isEmpty() ? lastResort(server) : literal;
}

}  // namespace corvex
