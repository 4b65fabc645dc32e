#include "app/toolkit_messages.h"

#include <QString>
#include <QtGlobal>

namespace corvex {

namespace {

// Set once, before any thread exists, and only read afterwards.
QtMessageHandler previousHandler = nullptr;

void filterMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
  if (previousHandler != nullptr) previousHandler(type, context, message);
}

}  // namespace

void dropToolkitNoise() {
  if (previousHandler == nullptr) previousHandler = qInstallMessageHandler(filterMessage);
}

}  // namespace corvex
