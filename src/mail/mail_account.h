#pragma once

#include "base/app_folder.h"
#include "base/settings.h"
#include "base/stop_check.h"
#include "mail/reply_hints.h"
#include "oauth/token_cache.h"
#include "oauth/token_request.h"

#include <QString>

#include <memory>

namespace corvex {

/// Where and as whom a message is delivered: `server` as sysSMTPServer gives
/// it, an SMTP server's name or address, "graph:..." or "pickup:DIR".
struct MailAccount {
  QString server;
  int port = 0;
  QString user;  ///< empty: no AUTH
  QString password;
  bool requireTls = true;
  /// The name given in EHLO (see heloName()); empty: worked out at connect.
  QString heloName;
  /// XOAuth2: the user logs in with a token from `tokens` (see
  /// logInWithToken()), not with the password.
  SmtpAuth auth = SmtpAuth::Password;
  std::shared_ptr<TokenCache> tokens = nullptr;

  bool operator==(const MailAccount&) const = default;
};

/// Who asks for tokens under `settings`: [OAuth] with KeyFile resolved in
/// `folder`, sysSMTPUser as the mailbox, the scope of the transport (Graph's
/// for a graph: server, else SMTP's), and a rotated refresh token kept in
/// `folder` (RefreshTokenStore).
TokenClient tokenClientOf(const Settings& settings, const AppFolder& folder);

/// Whether `settings` need OAuth tokens: Auth=xoauth2 or a graph: server.
bool usesTokens(const Settings& settings);

/// Every value of `settings` that decides whether a login succeeds, as one
/// text to take a fingerprint of (see LoginWait). It holds the password, so
/// it is never written anywhere as it stands.
QByteArray loginSettingsText(const Settings& settings);

/// What stands behind a reply under `settings`, for its hint (replyHint()).
HintContext hintContextOf(const Settings& settings);

/// The account every transport of `settings` delivers through; it carries
/// a new, empty TokenCache when usesTokens(), whose requests `stop` ends.
MailAccount mailAccount(const Settings& settings, const AppFolder& folder, const StopCheck& stop = {});

}  // namespace corvex
