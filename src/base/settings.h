#pragma once

#include <QString>

#include <cstdint>

namespace corvex {

/// Where a document's printed version comes from.
enum class RenderSource {
  /// The stored procedure's rows in the two original layouts for Formato 40,
  /// 41, 43 and 44; the document's own JSON for every other row.
  Procedure,
  /// The document's own JSON for every row, for a database that has no
  /// tovGetFESalvador.
  Json,
};

/// How the program logs in to the SMTP server (main.ini [SMTP] Auth).
enum class SmtpAuth {
  /// sysSMTPUser and sysSMTPPassword; no login when sysSMTPUser is empty.
  Password,
  /// SASL XOAUTH2: sysSMTPUser with an OAuth 2.0 token (see OAuthSettings).
  XOAuth2,
};

/// main.ini [OAuth]: where the program gets its OAuth 2.0 tokens, read whole.
/// ClientSecret and RefreshToken are secrets: they go nowhere but to the
/// token endpoint.
struct OAuthSettings {
  QString Provider;  ///< "microsoft", "google" or "refresh-token"; empty: none
  QString TenantId;
  QString ClientId;
  QString ClientSecret;
  QString KeyFile;  ///< as main.ini gives it: relative to the Application folder, or absolute
  QString RefreshToken;
  QString TokenUrl;  ///< empty: the provider's own
  QString Scope;     ///< empty: the one the transport needs

  bool operator==(const OAuthSettings&) const = default;
};

/// main.ini [Bounces]: the mailbox whose delivery reports Corvex reads back.
struct BounceSettings {
  /// imaps://HOST[:PORT]/FOLDER, imap://HOST[:PORT]/FOLDER (STARTTLS
  /// required), or graph: (the sending mailbox through Microsoft Graph,
  /// graph:https://HOST[:PORT] for another service); empty: none is read.
  QString Mailbox;
  /// The mailbox's own login; empty: that of [SMTP] and [OAuth].
  QString User;
  QString Password;  ///< a secret, like sysSMTPPassword
  /// Where a handled report is moved; empty: it stays where it is.
  QString DoneFolder;
  /// Who gets a digest of the day's bounces; empty: nobody.
  QString Notify;

  bool operator==(const BounceSettings&) const = default;
};

/// The process-wide values that start-up fills once and everything else only
/// reads. Field names are the parameter names they come from.
struct Settings {
  QString IniPath;
  QString ConnectionString;
  QString sysEmail;
  QString sysWeb;
  QString sysSMTPServer;
  std::int16_t sysSMTPPort = 0;
  QString sysSMTPUser;
  QString sysSMTPPassword;
  QString sysSMTPFrom;
  /// main.ini [SMTP]: messages sent over one connection before a new one is
  /// opened, and messages handed to the server in any 60 s (0: no limit).
  int MaxMessagesPerConnection = 100;
  int MessagesPerMinute = 0;
  /// main.ini [SMTP]: SMTP sessions a run keeps busy at once (1..10).
  int Connections = 1;
  /// main.ini [SMTP]: the name given in EHLO; empty: the machine's own (see
  /// heloName()).
  QString HeloName;
  /// main.ini [SMTP] Auth and the [OAuth] section.
  SmtpAuth Auth = SmtpAuth::Password;
  OAuthSettings OAuth;
  /// main.ini [Render] Source: "procedure" (the default) or "json".
  RenderSource Source = RenderSource::Procedure;
  /// main.ini [Ledger] KeepMonths: the months of the delivery ledger kept;
  /// 0 (the default) keeps every one.
  int LedgerKeepMonths = 0;
  BounceSettings Bounces;
};

}  // namespace corvex
