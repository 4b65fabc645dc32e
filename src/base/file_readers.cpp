#include "base/file_readers.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#ifdef Q_OS_WIN
// windows.h first: aclapi.h builds on its types.
#include <windows.h>

#include <aclapi.h>

#include <memory>
#else
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#endif

namespace corvex {

#ifdef Q_OS_WIN

namespace {

struct LocalMemory {
  void operator()(void* memory) const { LocalFree(memory); }
};

// Groups that hold every user who can log on to the machine or the domain.
QStringList broadGroupsIn(PSID sid) {
  const struct {
    WELL_KNOWN_SID_TYPE type;
    const char* name;
  } groups[] = {{WinWorldSid, "Everyone"},
                {WinAuthenticatedUserSid, "Authenticated Users"},
                {WinBuiltinUsersSid, "Users"},
                {WinInteractiveSid, "Interactive"},
                {WinBuiltinGuestsSid, "Guests"}};
  QStringList names;
  for (const auto& group : groups) {
    if (IsWellKnownSid(sid, group.type)) names << QString::fromLatin1(group.name);
  }
  return names;
}

QStringList broadReaders(const ACL& acl) {
  constexpr ACCESS_MASK kReading = FILE_READ_DATA | GENERIC_READ | GENERIC_ALL;
  QStringList readers;
  for (DWORD i = 0; i < acl.AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(const_cast<ACL*>(&acl), i, &ace)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & kReading) == 0) continue;
    for (const QString& name : broadGroupsIn(reinterpret_cast<PSID>(&allowed->SidStart))) {
      if (!readers.contains(name)) readers << name;
    }
  }
  return readers;
}

}  // namespace

QString otherReaders(const QString& path) {
  std::wstring file = QDir::toNativeSeparators(path).toStdWString();
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD rc = GetNamedSecurityInfoW(file.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                                         nullptr, &descriptor);
  if (rc != ERROR_SUCCESS) return QStringLiteral("its access list cannot be read (Windows error %1)").arg(rc);
  const std::unique_ptr<void, LocalMemory> owned(descriptor);
  if (!acl) return QStringLiteral("it has no access list, so every user may read it");
  const QStringList readers = broadReaders(*acl);
  if (readers.isEmpty()) return {};
  return QStringLiteral("its access list lets %1 read it").arg(readers.join(QStringLiteral(", ")));
}

QString ownerOnlyFix(const QString& path) {
  return QStringLiteral("icacls \"%1\" /inheritance:r /grant:r \"<the program's user>:R\" SYSTEM:F Administrators:F")
      .arg(QDir::toNativeSeparators(path));
}

#else

QString otherReaders(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0)
    return QStringLiteral("its permissions cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
  const bool group = (info.st_mode & S_IRGRP) != 0;
  const bool other = (info.st_mode & S_IROTH) != 0;
  if (!group && !other) return {};
  const QString who = group && other ? QStringLiteral("its group and every other user")
                      : group        ? QStringLiteral("its group")
                                     : QStringLiteral("every other user");
  return QStringLiteral("its mode %1 lets %2 read it").arg(info.st_mode & 07777, 4, 8, QLatin1Char('0')).arg(who);
}

QString ownerOnlyFix(const QString& path) {
  return QStringLiteral("chmod 600 %1 (and let the program's user own it: chown corvex %1)").arg(path);
}

#endif

}  // namespace corvex
