#pragma once

#include "base/app_folder.h"
#include "base/settings.h"
#include "base/stop_check.h"
#include "oauth/token_cache.h"
#include "ops/check_report.h"

#include <memory>

namespace corvex {

/// The OAuth part of `corvex check`, for mail settings that use tokens (see
/// usesTokens()): main.ini, the service account's key file and the kept
/// refresh token readable by their owner alone (they hold secrets), then one
/// token fetched, with what the endpoint answered and its hint, and for a
/// refresh-token grant which refresh token is in use and since when. Never
/// prints a secret; `stop` ends the token request.
///
/// Returns the cache holding that token, for the mail check to log in with;
/// null when the settings use no tokens or none could be had.
std::shared_ptr<TokenCache> checkOAuth(const AppFolder& folder, const Settings& settings, CheckReport& report,
                                       const StopCheck& stop = {});

}  // namespace corvex
