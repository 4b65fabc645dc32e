#pragma once

#include "base/app_folder.h"
#include "base/file_system.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace corvex {

/// Where the reading of the bounce mailbox stands, kept across runs and
/// restarts in the file "bounces-state.json" of the Application folder.
struct BounceState {
  static constexpr char kFileName[] = "bounces-state.json";

  /// main.ini's [Bounces] Mailbox the cursor belongs to; another one starts
  /// afresh.
  QString mailbox;
  /// Where the last read ended in that mailbox (see BounceMailbox).
  QJsonObject cursor;
  /// When the last read began, and when one last reached the mailbox.
  QDateTime lastRead;
  QDateTime lastSuccess;
  /// Why the last read failed, and since when reads fail; empty after a
  /// read that succeeded.
  QString failure;
  QDateTime failingSince;
  /// The day the last digest of bounces went out, and the time of the last
  /// bounce it listed.
  QDate lastDigest;
  QDateTime digestedThrough;
};

/// The state `folder` holds; an empty one when there is none or it cannot be
/// read (the next read then starts over with the last days' messages).
BounceState readBounceState(const AppFolder& folder);

/// Replaces the file whole (see writeFileReplacing()); raises FileError.
void writeBounceState(FileSystem& files, const AppFolder& folder, const BounceState& state);

}  // namespace corvex
