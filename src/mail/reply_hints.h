#pragma once

#include <QString>

namespace corvex {

/// What stands behind a reply beside its own text: who logs in, and how.
struct HintContext {
  /// main.ini [OAuth] Provider ("microsoft", "google", "refresh-token"), or
  /// empty for a password login.
  QString provider;
  /// The login took a token (XOAUTH2 or Graph), not a password.
  bool tokenLogin = false;
};

/// One sentence of what the operator can do about `reply` (a server's
/// reply, a token endpoint's refusal, a bounce's status and diagnostic),
/// from a table of the replies mail providers give most often; an empty
/// text when the table has none. Rows match on the reply's code or
/// enhanced status and, where one code has several causes, on its text.
QString replyHint(const QString& reply, const HintContext& context = {});

/// `reply` followed by its hint ("... Hint: ..."), or `reply` alone: the
/// reply is never replaced, since it is what a provider's support asks for.
QString withHint(const QString& reply, const HintContext& context = {});

}  // namespace corvex
