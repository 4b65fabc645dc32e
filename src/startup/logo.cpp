#include "startup/logo.h"

#include "base/error.h"

namespace corvex {

QImage decodeLogo(const DbValue& value) {
  if (value.isNull()) return {};
  const QByteArray bytes = value.toBytes();
  if (bytes.isEmpty()) return {};
  QImage image;
  if (!image.loadFromData(bytes)) throw Error(kInvalidPicture, QStringLiteral("Invalid picture"));
  return image;
}

QImage loadLogo(Database& database) {
  database.OpenConnection(QString(), 0);
  std::unique_ptr<RecordSet> records = database.DbConnection().execute(QStringLiteral("SELECT LOGO FROM SYSDATA"));
  const QImage logo = records->eof() ? QImage() : decodeLogo(records->field(QStringLiteral("Logo")));
  records->close();
  database.CloseConnection();
  return logo;
}

}  // namespace corvex
