#include "ops/oauth_check.h"

#include "base/clock.h"
#include "base/error.h"
#include "base/file_readers.h"
#include "mail/mail_account.h"
#include "oauth/refresh_token_store.h"

#include <QDir>

namespace corvex {

namespace {

const QString kOAuth = QStringLiteral("oauth token");
const QString kRefresh = QStringLiteral("oauth refresh token");

void checkReaders(const QString& check, const QString& path, const QString& holds, CheckReport& report) {
  const QString readers = otherReaders(path);
  if (readers.isEmpty())
    report.pass(check, QStringLiteral("only the file's owner may read it"));
  else
    report.fail(check, QStringLiteral("the file holds %1 and ").arg(holds) + readers, ownerOnlyFix(path));
}

// What mends a refusal depends on who refused; the reply's hint says it
// best where the table has one.
QString tokenFix(const QString& reply, const Settings& settings) {
  if (const QString hint = replyHint(reply, hintContextOf(settings)); !hint.isEmpty()) return hint;
  const OAuthSettings& oauth = settings.OAuth;
  if (oauth.Provider == QStringLiteral("google"))
    return QStringLiteral(
        "check that the service account has domain-wide delegation for https://mail.google.com/ in the Admin "
        "console and that sysSMTPUser is a mailbox of the domain");
  if (oauth.Provider == QStringLiteral("refresh-token"))
    return QStringLiteral("the refresh token was revoked or expired: get a new one and put it in RefreshToken");
  return QStringLiteral(
      "check TenantId and ClientId; a client secret expires (AADSTS7000222): add a new one under Certificates & "
      "secrets of the app registration and put its value in ClientSecret");
}

void checkSecretFiles(const AppFolder& folder, const Settings& settings, const TokenClient& client,
                      CheckReport& report) {
  if (!settings.OAuth.ClientSecret.isEmpty() || !settings.OAuth.RefreshToken.isEmpty())
    checkReaders(QStringLiteral("main.ini OAuth secret"), folder.path(QStringLiteral("main.ini")),
                 QStringLiteral("the OAuth client secret or refresh token"), report);
  if (!client.keyFile.isEmpty() && QFile::exists(client.keyFile))
    checkReaders(QStringLiteral("OAuth key file"), client.keyFile, QStringLiteral("the service account's private key"),
                 report);
  if (settings.OAuth.Provider == QStringLiteral("refresh-token") && QFile::exists(client.refreshTokenFile))
    checkReaders(QStringLiteral("OAuth refresh token file"), client.refreshTokenFile, QStringLiteral("a refresh token"),
                 report);
}

// Which refresh token the grant used, never its value.
void tellRefreshToken(const Settings& settings, const TokenClient& client, CheckReport& report) {
  if (settings.OAuth.Provider != QStringLiteral("refresh-token")) return;
  const RefreshTokenStore::InUse inUse =
      RefreshTokenStore(client.refreshTokenFile, settings.OAuth.RefreshToken).current();
  if (!inUse.since.isValid()) {
    report.pass(kRefresh, QStringLiteral("the one in main.ini [OAuth] RefreshToken"));
    return;
  }
  report.pass(kRefresh,
              QStringLiteral("the one the endpoint gave in its place, kept in %1 since %2; main.ini's "
                             "RefreshToken is no longer needed while it stays unchanged")
                  .arg(QString::fromLatin1(RefreshTokenStore::kFileName), formatTimestamp(inUse.since.toLocalTime())));
}

}  // namespace

std::shared_ptr<TokenCache> checkOAuth(const AppFolder& folder, const Settings& settings, CheckReport& report,
                                       const StopCheck& stop) {
  const TokenClient client = tokenClientOf(settings, folder);
  checkSecretFiles(folder, settings, client, report);
  if (const QString problem = tokenClientProblem(client); !problem.isEmpty()) {
    report.fail(
        kOAuth, problem,
        QStringLiteral("fill in [OAuth] as the configuration guide (docs/configuration.md) shows for the provider"));
    return nullptr;
  }
  std::shared_ptr<TokenCache> tokens = mailAccount(settings, folder, stop).tokens;
  // Trapped here: the endpoint's refusal is this check's verdict.
  try {
    const QString url = tokenUrl(client);
    tokens->token();
    report.pass(kOAuth, QStringLiteral("%1 (%2) issued a token").arg(url, settings.OAuth.Provider));
    tellRefreshToken(settings, client, report);
    return tokens;
  } catch (const Error& error) {
    report.fail(kOAuth, error.description(), tokenFix(error.description(), settings));
    return nullptr;
  }
}

}  // namespace corvex
