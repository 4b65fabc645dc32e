#include "support/pdf_tools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <stdexcept>

namespace corvex::test {

QString runTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    process.kill();
    process.waitForFinished(5000);
    throw std::runtime_error((program + QStringLiteral(" failed: ") + process.readAllStandardError()).toStdString());
  }
  return QString::fromUtf8(process.readAllStandardOutput());
}

QString pdfText(const QString& pdf) {
  return runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
}

QString pdfTextIn(const QString& pdf, const QRect& area, int page) {
  // At 1440 "dpi" one pixel of pdftotext's crop box is one twip.
  const QStringList arguments{QStringLiteral("-r"),      QStringLiteral("1440"),         QStringLiteral("-f"),
                              QString::number(page),     QStringLiteral("-l"),           QString::number(page),
                              QStringLiteral("-x"),      QString::number(area.x()),      QStringLiteral("-y"),
                              QString::number(area.y()), QStringLiteral("-W"),           QString::number(area.width()),
                              QStringLiteral("-H"),      QString::number(area.height()), pdf,
                              QStringLiteral("-")};
  QString text = runTool(QStringLiteral("pdftotext"), arguments);
  text.remove(QLatin1Char('\f'));
  return text.trimmed();
}

int pdfPageCount(const QString& pdf) {
  const QString info = runTool(QStringLiteral("pdfinfo"), {pdf});
  const QRegularExpressionMatch match =
      QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption).match(info);
  if (!match.hasMatch()) throw std::runtime_error("pdfinfo gave no page count");
  return match.captured(1).toInt();
}

double pdfSmallestTextSize(const QString& pdf) {
  // The program's pages measure in twips: a "Tf" of 140 sets 7 points.
  constexpr double kTwipsPerPoint = 20.0;
  QFile file(pdf);
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read the PDF");
  const QByteArray bytes = file.readAll();
  static const QRegularExpression stream(QStringLiteral(">> ?\\r?\\nstream\\r?\\n"));
  static const QRegularExpression size(QStringLiteral("/F\\d+ ([0-9.]+) Tf"));
  double smallest = 0;
  const QString latin = QString::fromLatin1(bytes);
  for (const QRegularExpressionMatch& start : stream.globalMatch(latin)) {
    const qsizetype from = start.capturedEnd();
    const qsizetype to = bytes.indexOf("endstream", from);
    // Flate data as qUncompress() reads it: a (generous) length in front.
    QByteArray packed = QByteArray::fromHex("00400000") + bytes.mid(from, to - from);
    const QString content = QString::fromLatin1(qUncompress(packed));
    for (const QRegularExpressionMatch& font : size.globalMatch(content)) {
      const double points = font.captured(1).toDouble() / kTwipsPerPoint;
      if (smallest == 0 || points < smallest) smallest = points;
    }
  }
  return smallest;
}

QStringList decodeQr(const QStringList& pictures) {
  if (pictures.isEmpty()) return {};
  QProcess zbar;
  zbar.start(QStringLiteral("zbarimg"), QStringList{QStringLiteral("--raw"), QStringLiteral("-q")} + pictures);
  if (!zbar.waitForFinished(60000)) {
    zbar.kill();
    zbar.waitForFinished(5000);
    throw std::runtime_error("zbarimg did not finish");
  }
  // zbarimg exits with 4 when it finds no symbol: that is an answer, not a failure.
  return QString::fromUtf8(zbar.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList pdfQrCodes(const QString& pdf) {
  QTemporaryDir pictures;
  runTool(QStringLiteral("pdfimages"), {QStringLiteral("-png"), pdf, pictures.filePath(QStringLiteral("img"))});
  // One zbarimg for all of them: a process per picture made the tables of
  // many documents slow on a busy machine.
  QStringList files;
  for (const QString& name : QDir(pictures.path()).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name))
    files << pictures.filePath(name);
  return decodeQr(files);
}

}  // namespace corvex::test
