#include "mail/mail_account.h"

#include "mail/graph_transport.h"
#include "oauth/refresh_token_store.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>

namespace corvex {

TokenClient tokenClientOf(const Settings& settings, const AppFolder& folder) {
  const OAuthSettings& oauth = settings.OAuth;
  const QString keyFile = oauth.KeyFile.isEmpty() ? QString() : QDir(folder.root()).absoluteFilePath(oauth.KeyFile);
  const char* scope = isGraphServer(settings.sysSMTPServer) ? kMicrosoftGraphScope : kMicrosoftSmtpScope;
  return TokenClient{oauth, keyFile, settings.sysSMTPUser, QString::fromLatin1(scope),
                     folder.path(QString::fromLatin1(RefreshTokenStore::kFileName))};
}

bool usesTokens(const Settings& settings) {
  return settings.Auth == SmtpAuth::XOAuth2 || isGraphServer(settings.sysSMTPServer);
}

QByteArray loginSettingsText(const Settings& settings) {
  const OAuthSettings& oauth = settings.OAuth;
  const QJsonArray values{
      settings.sysSMTPServer, settings.sysSMTPPort, settings.sysSMTPUser, settings.sysSMTPPassword, int(settings.Auth),
      oauth.Provider,         oauth.TenantId,       oauth.ClientId,       oauth.ClientSecret,       oauth.KeyFile,
      oauth.RefreshToken,     oauth.TokenUrl,       oauth.Scope};
  return QJsonDocument(values).toJson(QJsonDocument::Compact);
}

HintContext hintContextOf(const Settings& settings) {
  return usesTokens(settings) ? HintContext{settings.OAuth.Provider, true} : HintContext{};
}

MailAccount mailAccount(const Settings& settings, const AppFolder& folder, const StopCheck& stop) {
  MailAccount account{settings.sysSMTPServer,
                      settings.sysSMTPPort,
                      settings.sysSMTPUser,
                      settings.sysSMTPPassword,
                      true,
                      settings.HeloName,
                      settings.Auth,
                      nullptr};
  if (usesTokens(settings)) {
    const TokenClient client = tokenClientOf(settings, folder);
    account.tokens = std::make_shared<TokenCache>([client, stop] { return requestToken(client, stop); });
  }
  return account;
}

}  // namespace corvex
