#pragma once

#include <QElapsedTimer>
#include <QString>

namespace corvex {

/// The tally of one dispatch run, for the one log line that tells an
/// operator what the run did: "sendDTEbyMail=> Run: 3 mailed, 1 failed,
/// 1 still pending, 2.4 seconds". Starts timing when constructed.
class RunSummary {
 public:
  RunSummary();

  /// The view listed `count` documents.
  void setListed(qsizetype count) { m_listed = count; }
  /// One document's mail went out (true) or did not (false).
  void countMail(bool sent) { ++(sent ? m_mailed : m_failed); }
  /// The view listed a document again that this run had already taken.
  void countRepeat() { --m_listed; }

  /// Only a run that saw documents is worth a line.
  bool hasDocuments() const { return m_listed > 0; }
  bool mailedAny() const { return m_mailed > 0; }
  qsizetype listed() const { return m_listed; }
  qsizetype mailed() const { return m_mailed; }
  qsizetype failed() const { return m_failed; }
  /// Whether any mail went out or failed (none did while sending waits).
  bool triedAny() const { return m_mailed + m_failed > 0; }
  /// "3 mailed, 1 failed, 1 still pending": what two runs that did the same
  /// have in common.
  QString countsText() const;
  /// Still pending: every listed document that was not mailed, the failed
  /// ones and those an error kept the run from reaching.
  QString logText() const;

 private:
  QElapsedTimer m_timer;
  qsizetype m_listed = 0;
  qsizetype m_mailed = 0;
  qsizetype m_failed = 0;
};

}  // namespace corvex
