#pragma once

#include "base/error.h"
#include "base/settings.h"
#include "base/stop_check.h"

#include <QByteArray>
#include <QString>

namespace corvex {

/// Scopes of Microsoft's services; Google's mail scope.
inline constexpr char kMicrosoftSmtpScope[] = "https://outlook.office365.com/.default";
inline constexpr char kMicrosoftGraphScope[] = "https://graph.microsoft.com/.default";
inline constexpr char kGoogleMailScope[] = "https://mail.google.com/";

/// Who asks for a token, and for what.
struct TokenClient {
  OAuthSettings oauth;
  /// The service account's key file (google), KeyFile resolved to a full path.
  QString keyFile;
  /// The mailbox the token acts for (google's "sub"); empty: none.
  QString subject;
  /// The scope when oauth.Scope is empty (microsoft, refresh-token).
  QString defaultScope;
  /// Where a refresh token the endpoint rotated is kept (see
  /// RefreshTokenStore); empty: none is kept.
  QString refreshTokenFile = {};
};

/// The token endpoint could not answer for now: not reached, busy (a 5xx or
/// a 429), or a stop request ended the request. Unlike its refusal (any
/// other Error), it says nothing about the login.
class TokenUnavailableError : public Error {
 public:
  using Error::Error;
};

/// An access token and how long the endpoint said it lives.
struct AccessToken {
  QByteArray value;  ///< a secret: never logged
  qint64 lifetimeSeconds = 0;
};

/// Whether `provider` is one of "microsoft", "google", "refresh-token".
bool isKnownProvider(const QString& provider);
/// The text that says which providers there are, for an error.
QString unknownProviderText(const QString& provider);

/// Why `client` cannot ask for a token at all (no or an unknown provider, a
/// key the provider needs is missing), or an empty text.
QString tokenClientProblem(const TokenClient& client);

/// The token endpoint's URL: TokenUrl, else the provider's own (microsoft
/// and refresh-token with a TenantId: Microsoft's for that tenant; google:
/// the key file's token_uri). Raises what readServiceAccount() raises.
QString tokenUrl(const TokenClient& client);

/// Asks the endpoint for a token by the provider's grant: microsoft the
/// client-credentials grant, google the JWT-bearer grant (an assertion
/// signed with the service account's key), refresh-token the refresh-token
/// grant. For refresh-token, a new refresh token in the answer is kept in
/// client.refreshTokenFile before the access token is returned, and the one
/// kept there is used in place of the configured one (see
/// RefreshTokenStore).
///
/// Raises Error 70 when the endpoint refuses, naming its error and
/// error_description (Microsoft's AADSTS code and text); Error 5 for a set-up
/// that tokenClientProblem() names; what readServiceAccount() raises;
/// TokenUnavailableError (70) when the endpoint cannot be reached or answers
/// 5xx or 429, when `stop` ended the request, or when a new refresh token
/// cannot be kept. No secret is ever part of an error.
AccessToken requestToken(const TokenClient& client, const StopCheck& stop = {});

}  // namespace corvex
