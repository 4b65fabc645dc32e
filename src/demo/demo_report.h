#pragma once

#include <QString>

namespace corvex {

/// What a demo run did, for the person who started it: every mail written to
/// the workspace's outbox (file, recipient, attachments) and where the log
/// and the messages are. Reads only the workspace's files.
QString demoReport(const QString& workspace);

}  // namespace corvex
