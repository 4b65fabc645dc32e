#pragma once

#include <QString>

#include <cstdint>

namespace corvex {

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
};

}  // namespace corvex
