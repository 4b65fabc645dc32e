#include "oauth/token_request.h"

#include "base/error.h"
#include "base/file_system.h"
#include "net/https_client.h"
#include "oauth/refresh_token_store.h"
#include "oauth/service_account.h"

#include <nlohmann/json.hpp>

#include <QUrl>

namespace corvex {

namespace {

const QString kMicrosoft = QStringLiteral("microsoft");
const QString kGoogle = QStringLiteral("google");
const QString kRefreshToken = QStringLiteral("refresh-token");
constexpr long kTokenRequestTimeoutSeconds = 60;

QString missing(const QString& provider, const char* key) {
  return QStringLiteral("main.ini [OAuth] %1 is missing (Provider=%2)").arg(QString::fromLatin1(key), provider);
}

QString scopeOf(const TokenClient& client) {
  return client.oauth.Scope.isEmpty() ? client.defaultScope : client.oauth.Scope;
}

struct Form {
  QByteArray body;
  void add(const char* name, const QString& value) {
    if (value.isEmpty()) return;
    if (!body.isEmpty()) body += '&';
    body += QByteArray(name) + '=' + QUrl::toPercentEncoding(value);
  }
};

QByteArray grantForm(const TokenClient& client, const QString& url) {
  const OAuthSettings& oauth = client.oauth;
  Form form;
  if (oauth.Provider == kGoogle) {
    const QString scope = oauth.Scope.isEmpty() ? QString::fromLatin1(kGoogleMailScope) : oauth.Scope;
    form.add("grant_type", QStringLiteral("urn:ietf:params:oauth:grant-type:jwt-bearer"));
    form.add("assertion", QString::fromLatin1(signedAssertion(readServiceAccount(client.keyFile), client.subject, scope,
                                                              url, QDateTime::currentDateTimeUtc())));
    return form.body;
  }
  const bool refresh = oauth.Provider == kRefreshToken;
  form.add("grant_type", refresh ? QStringLiteral("refresh_token") : QStringLiteral("client_credentials"));
  if (refresh) form.add("refresh_token", oauth.RefreshToken);
  form.add("client_id", oauth.ClientId);
  form.add("client_secret", oauth.ClientSecret);
  // Google's refresh grant takes no scope; Microsoft's wants one.
  if (!refresh || !oauth.Scope.isEmpty() || !oauth.TenantId.isEmpty()) form.add("scope", scopeOf(client));
  return form.body;
}

// Microsoft's descriptions run over several lines (trace and correlation
// ids): one log line holds them all.
QString oneLine(const std::string& text) { return QString::fromStdString(text).simplified(); }

QString jsonText(const nlohmann::json& reply, const char* name) {
  const auto field = reply.find(name);
  return field != reply.end() && field->is_string() ? oneLine(field->get<std::string>()) : QString();
}

Error refused(const QString& url, const HttpReply& reply, const nlohmann::json& json) {
  QString why = jsonText(json, "error");
  if (const QString description = jsonText(json, "error_description"); !description.isEmpty())
    why += (why.isEmpty() ? QString() : QStringLiteral(": ")) + description;
  if (why.isEmpty()) why = QStringLiteral("no access_token in its answer");
  return Error(kPermissionDenied,
               QStringLiteral("the token endpoint %1 refused (HTTP %2): %3").arg(url).arg(reply.status).arg(why));
}

qint64 lifetimeOf(const nlohmann::json& reply) {
  const auto field = reply.find("expires_in");
  if (field == reply.end()) return 0;
  if (field->is_number_integer()) return field->get<qint64>();
  return field->is_string() ? QString::fromStdString(field->get<std::string>()).toLongLong() : 0;
}

// What the endpoint answered: the access token and, from an endpoint that
// rotates refresh tokens, the next refresh token (a secret as well).
struct Answer {
  AccessToken access;
  QString refreshToken;
};

constexpr long kTooManyRequests = 429;
constexpr long kServerError = 500;

// Not reached, busy, or stopped: no verdict on the login.
TokenUnavailableError unavailable(const QString& url, const HttpReply& reply, const nlohmann::json& json) {
  if (reply.stopped) return TokenUnavailableError(kPermissionDenied, QStringLiteral("the token request was stopped"));
  if (reply.status == 0)
    return TokenUnavailableError(kPermissionDenied,
                                 QStringLiteral("the token endpoint %1 cannot be reached: %2").arg(url, reply.failure));
  const QString why = jsonText(json, "error_description");
  return TokenUnavailableError(kPermissionDenied, QStringLiteral("the token endpoint %1 is unavailable (HTTP %2)%3")
                                                      .arg(url)
                                                      .arg(reply.status)
                                                      .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why));
}

Answer ask(const TokenClient& client, const StopCheck& stop) {
  const QString url = tokenUrl(client);
  const HttpReply reply =
      HttpsClient(kTokenRequestTimeoutSeconds, stop, StopPoint::Anywhere)
          .post(url, {"Content-Type: application/x-www-form-urlencoded", "Accept: application/json"},
                grantForm(client, url));
  const nlohmann::json parsed = nlohmann::json::parse(reply.body.toStdString(), nullptr, false);
  const nlohmann::json json = parsed.is_object() ? parsed : nlohmann::json::object();
  if (reply.status == 0 || reply.status == kTooManyRequests || reply.status >= kServerError)
    throw unavailable(url, reply, json);
  const QString token = jsonText(json, "access_token");
  if (reply.status != 200 || token.isEmpty()) throw refused(url, reply, json);
  return Answer{AccessToken{token.toUtf8(), lifetimeOf(json)}, jsonText(json, "refresh_token")};
}

// The refresh token kept from the last answer goes out in place of the
// configured one, under the lock that keeps `corvex check` and the running
// program from spending the same one; a new one is kept before its access
// token is used.
AccessToken rotatingGrant(const TokenClient& client, const StopCheck& stop) {
  RefreshTokenStore store(client.refreshTokenFile, client.oauth.RefreshToken);
  const std::unique_ptr<QLockFile> lock = store.lock(stop);
  if (!lock)
    throw TokenUnavailableError(kPermissionDenied,
                                QStringLiteral("the refresh token file %1 is in use").arg(client.refreshTokenFile));
  TokenClient current = client;
  current.oauth.RefreshToken = store.current().token;
  const Answer answer = ask(current, stop);
  if (answer.refreshToken.isEmpty() || answer.refreshToken == current.oauth.RefreshToken) return answer.access;
  try {
    store.keep(answer.refreshToken, QDateTime::currentDateTimeUtc());
  } catch (const FileError& error) {
    throw TokenUnavailableError(error.number(),
                                QStringLiteral("the new refresh token cannot be kept: ") + error.description());
  }
  return answer.access;
}

}  // namespace

bool isKnownProvider(const QString& provider) {
  return provider == kMicrosoft || provider == kGoogle || provider == kRefreshToken;
}

QString unknownProviderText(const QString& provider) {
  return QStringLiteral("main.ini [OAuth] Provider must be microsoft, google or refresh-token, not \"%1\"")
      .arg(provider);
}

QString tokenClientProblem(const TokenClient& client) {
  const OAuthSettings& oauth = client.oauth;
  if (oauth.Provider.isEmpty()) return QStringLiteral("main.ini [OAuth] Provider is missing");
  if (oauth.Provider == kMicrosoft) {
    if (oauth.TenantId.isEmpty() && oauth.TokenUrl.isEmpty()) return missing(oauth.Provider, "TenantId");
    if (oauth.ClientId.isEmpty()) return missing(oauth.Provider, "ClientId");
    if (oauth.ClientSecret.isEmpty()) return missing(oauth.Provider, "ClientSecret");
  } else if (oauth.Provider == kGoogle) {
    if (oauth.KeyFile.isEmpty()) return missing(oauth.Provider, "KeyFile");
  } else if (oauth.Provider == kRefreshToken) {
    if (oauth.RefreshToken.isEmpty()) return missing(oauth.Provider, "RefreshToken");
    if (oauth.ClientId.isEmpty()) return missing(oauth.Provider, "ClientId");
    if (oauth.TenantId.isEmpty() && oauth.TokenUrl.isEmpty()) return missing(oauth.Provider, "TokenUrl");
  } else {
    return unknownProviderText(oauth.Provider);
  }
  return {};
}

QString tokenUrl(const TokenClient& client) {
  const OAuthSettings& oauth = client.oauth;
  if (!oauth.TokenUrl.isEmpty()) return oauth.TokenUrl;
  if (oauth.Provider == kGoogle) {
    const QString uri = readServiceAccount(client.keyFile).tokenUri;
    return uri.isEmpty() ? QStringLiteral("https://oauth2.googleapis.com/token") : uri;
  }
  return QStringLiteral("https://login.microsoftonline.com/%1/oauth2/v2.0/token")
      .arg(QString::fromLatin1(QUrl::toPercentEncoding(oauth.TenantId)));
}

AccessToken requestToken(const TokenClient& client, const StopCheck& stop) {
  if (const QString problem = tokenClientProblem(client); !problem.isEmpty()) throw Error(kInvalidArgument, problem);
  if (client.oauth.Provider == kRefreshToken && !client.refreshTokenFile.isEmpty()) return rotatingGrant(client, stop);
  return ask(client, stop).access;
}

}  // namespace corvex
