#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QString>

namespace corvex {

/// The certificate authorities to verify servers (SMTP, token endpoints,
/// Graph) with, when the
/// environment variable CURL_CA_BUNDLE names an extra PEM bundle: the
/// system's own store first, then that bundle, so the bundle adds to the
/// system store and never replaces it.
///
/// The system's store is what libcurl was built to use: on Linux its CA
/// bundle file (its CA directory stays in use as well); on Windows the
/// certificates of the "ROOT" system store, since Schannel, once given any CA
/// bundle, trusts that bundle alone.
struct TrustBundle {
  QByteArray pem;   ///< empty: CURL_CA_BUNDLE is not set, use libcurl's defaults
  QString problem;  ///< why the extra bundle cannot be used; empty when it can
};

TrustBundle trustBundle();

/// Makes `curl` verify the server's certificate and host name against
/// `trust` (an empty bundle leaves libcurl's default, the system store).
/// Returns the first failed option's code, CURLE_OK when all took.
CURLcode setUpTrust(CURL* curl, const TrustBundle& trust);

}  // namespace corvex
