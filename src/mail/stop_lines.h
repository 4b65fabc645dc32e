#pragma once

#include "mail/login_wait.h"
#include "mail/reply_hints.h"

#include <QString>

namespace corvex {

/// The daily log's line for a sending that waits across runs (a refused
/// login, a service that asked to be left alone): "Corvex=> Sending stopped
/// for 5 min, next login at 2026-12-07 08:46:03 (...): " and the reply that
/// started it, with its hint (see withHint()). The same wait gives the same
/// line, in every run and after a restart, so that repeats are seen as such.
QString waitLine(const SendingWait& wait, const HintContext& context);

/// The same wait as `corvex check` and `corvex test-mail` tell it to the
/// operator: "the running program logs in no more until 2026-12-07 08:46:03
/// (2 refused logins in a row since 08:36:03): " and the reply.
QString waitDescription(const SendingWait& wait);

}  // namespace corvex
