#include "pdf/pdf_document.h"

#include "render/text_box.h"
#include "support/pdf_tools.h"
#include "support/temp_app_dir.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <future>
#include <vector>

namespace corvex {
namespace {

using test::TempAppDir;

const QSize kLetter(12240, 15840);

// A page of one text box per line of `lines`, with a rule, a frame and the
// picture `picture` when it is set.
QByteArray drawPage(const QStringList& lines, const QImage& picture = QImage()) {
  PdfDocument pdf(kLetter, QStringLiteral("prueba"), QStringLiteral("Corvex"));
  TextStyle style;
  style.family = QStringLiteral("Arial");
  style.pointSize = 10;
  for (int i = 0; i < lines.size(); ++i) drawTextBox(pdf, QRect(720, 720 + i * 400, 9000, 360), lines[i], style);
  pdf.drawLine(QLine(720, 600, 9720, 600), Qt::black, 30);
  pdf.strokeRect(QRect(700, 700, 9040, lines.size() * 400 + 40), Qt::black, 15);
  if (!picture.isNull()) pdf.drawImage(QRect(720, 8000, 2880, 1440), picture);
  return pdf.toPdf();
}

QString write(const TempAppDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) throw std::runtime_error("cannot write");
  return path;
}

// What poppler complains about while it draws every page: a broken font or
// stream shows up here even when the text still comes out.
QString popplerComplaints(const TempAppDir& dir, const QString& pdf) {
  QProcess process;
  process.start(QStringLiteral("pdftoppm"),
                {QStringLiteral("-r"), QStringLiteral("72"), pdf, dir.filePath(QStringLiteral("page"))});
  if (!process.waitForFinished(30000)) throw std::runtime_error("pdftoppm did not finish");
  return QString::fromUtf8(process.readAllStandardError()) + (process.exitCode() == 0 ? "" : "exit code != 0");
}

// pdffonts rows: name type encoding emb sub uni object ID.
QStringList fontRows(const QString& pdf) {
  QStringList rows = test::runTool(QStringLiteral("pdffonts"), {pdf}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  return rows.mid(2);
}

struct ReaderCase {
  const char* name;
  QStringList lines;
};

// Whatever the text, a reader finds it word for word, every font is an
// embedded subset with a map back to the characters, and poppler draws the
// page without a complaint.
TEST(PdfDocumentTest, ReadersFindTheTextInEmbeddedSubsets) {
  const ReaderCase cases[] = {
      {"Spanish business text",
       {QStringLiteral("Ñandú pagó $1,250.00 — «recibido» el 4/12 a las 08:42"),
        QStringLiteral("CAFÉ Y AZÚCAR, S.A. DE C.V. ¿Devolución? ¡No!")}},
      {"letters beyond Latin-1", {QStringLiteral("Łukasz Żółć Ωμέγα Пётр"), QStringLiteral("Ñandú")}},
      {"one glyph", {QStringLiteral("X")}},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempAppDir dir;
    const QString pdf = write(dir, QStringLiteral("text.pdf"), drawPage(c.lines));
    EXPECT_EQ(test::pdfText(pdf).simplified().toStdString(), c.lines.join(QLatin1Char(' ')).simplified().toStdString());
    const QStringList fonts = fontRows(pdf);
    ASSERT_FALSE(fonts.isEmpty());
    for (const QString& row : fonts) {
      EXPECT_TRUE(
          row.contains(QRegularExpression(QStringLiteral("^[A-Z]{6}\\+\\S+\\s+CID TrueType\\s+Identity-H\\s+"
                                                         "yes\\s+yes\\s+yes"))))
          << row.toStdString();
    }
    EXPECT_EQ(popplerComplaints(dir, pdf).toStdString(), "");
  }
}

struct PictureCase {
  const char* name;
  QImage::Format format;
  QColor fill;
  QString encoding;  ///< pdfimages -list: the "enc" column
  bool softMask;
};

TEST(PdfDocumentTest, PicturesKeepTheirKind) {
  const PictureCase cases[] = {
      {"opaque logo", QImage::Format_RGB32, Qt::darkGreen, QStringLiteral("jpeg"), false},
      {"logo with transparency", QImage::Format_ARGB32, QColor(0, 128, 0, 100), QStringLiteral("image"), true},
      {"black and white", QImage::Format_Mono, Qt::black, QStringLiteral("image"), false},
  };
  for (const PictureCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempAppDir dir;
    QImage picture(160, 80, c.format);
    if (c.format == QImage::Format_Mono) picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    picture.fill(c.fill);
    const QString pdf = write(dir, QStringLiteral("picture.pdf"), drawPage({QStringLiteral("logo")}, picture));
    const QStringList rows = test::runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf})
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                 .mid(2);
    ASSERT_EQ(rows.size(), c.softMask ? 2 : 1) << rows.join('\n').toStdString();
    const QStringList columns = rows.first().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    EXPECT_EQ(columns.at(3).toInt(), 160);
    EXPECT_EQ(columns.at(8), c.encoding);
    EXPECT_EQ(rows.last().contains(QStringLiteral("smask")), c.softMask);
    EXPECT_EQ(popplerComplaints(dir, pdf).toStdString(), "");
  }
}

// The fonts and pictures shared between files are filled by whichever thread
// comes first: files drawn at once on several threads are the same as files
// drawn one after another.
TEST(PdfDocumentTest, FilesDrawnOnSeveralThreadsAtOnceAreTheSame) {
  QImage logo(64, 64, QImage::Format_RGB32);
  logo.fill(Qt::blue);
  const QStringList lines{QStringLiteral("Ωμέγα Пётр Ñandú"), QStringLiteral("SON: CIEN CON 00/100 DOLARES")};
  const auto date = QRegularExpression(QStringLiteral("/CreationDate \\(D:\\d+Z\\)"));
  const QByteArray alone = drawPage(lines, logo);
  std::vector<std::future<QByteArray>> drawn;
  for (int i = 0; i < 4; ++i) drawn.push_back(std::async(std::launch::async, [&] { return drawPage(lines, logo); }));
  for (std::future<QByteArray>& pdf : drawn) {
    EXPECT_EQ(QString::fromLatin1(pdf.get()).remove(date), QString::fromLatin1(alone).remove(date));
  }
}

}  // namespace
}  // namespace corvex
