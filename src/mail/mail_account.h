#pragma once

#include "base/app_folder.h"
#include "base/settings.h"
#include "mail/smtp_connection.h"
#include "oauth/token_request.h"

namespace corvex {

/// Who asks for tokens under `settings`: [OAuth] with KeyFile resolved in
/// `folder`, sysSMTPUser as the mailbox, and the scope of the transport
/// (Graph's for a graph: server, else SMTP's).
TokenClient tokenClientOf(const Settings& settings, const AppFolder& folder);

/// Whether `settings` need OAuth tokens: Auth=xoauth2 or a graph: server.
bool usesTokens(const Settings& settings);

/// The account every transport of `settings` delivers through; it carries
/// a new, empty TokenCache when usesTokens().
SmtpAccount mailAccount(const Settings& settings, const AppFolder& folder);

}  // namespace corvex
