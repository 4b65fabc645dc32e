#include "mail/mime_writer.h"

#include <QList>

#include <gtest/gtest.h>

namespace corvex {
namespace {

// Undoes headerText(): unfolds the lines and decodes each encoded word.
QString decodeHeader(const QByteArray& header) {
  QByteArray utf8;
  for (const QByteArray& word : header.split('\n')) {
    const QByteArray trimmed = word.trimmed();
    if (!trimmed.startsWith("=?UTF-8?B?")) return QString::fromLatin1(header);
    utf8 += QByteArray::fromBase64(trimmed.mid(10, trimmed.size() - 12));
  }
  return QString::fromUtf8(utf8);
}

TEST(HeaderText, SubjectWithAccentIsOneUtf8EncodedWord) {
  EXPECT_EQ(mime::headerText(QStringLiteral("Envío de DTE")), QByteArray("=?UTF-8?B?RW52w61vIGRlIERURQ==?="));
}

TEST(HeaderText, PlainAsciiStaysReadable) {
  EXPECT_EQ(mime::headerText(QStringLiteral("Factura A-15")), QByteArray("Factura A-15"));
}

class HeaderTextRoundTrip : public ::testing::TestWithParam<QString> {};

TEST_P(HeaderTextRoundTrip, EncodedWordsAreShortFoldedAndDecodeToTheText) {
  const QByteArray header = mime::headerText(GetParam());
  for (const QByteArray& line : header.split('\n')) {
    EXPECT_LE(line.trimmed().size(), 75);
    EXPECT_FALSE(line.trimmed().contains('\r')) << "a line break may only fold";
  }
  EXPECT_TRUE(header.startsWith("=?UTF-8?B?"));
  EXPECT_EQ(decodeHeader(header), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Texts, HeaderTextRoundTrip,
                         ::testing::Values(QStringLiteral("Envío de DTE"),
                                           QStringLiteral("hola\r\nBcc: intruso@example.com"),
                                           QStringLiteral("=?UTF-8?B?ZmFrZQ==?="),
                                           // Two-byte letters across many words: none may be cut in two.
                                           QString(120, QChar(0x00ED)), QStringLiteral("Peña ") + QString(60, u'ñ')));

TEST(Base64Lines, LinesOf76EndInCrLfAndDecodeToTheData) {
  QByteArray data;
  for (int i = 0; i < 1000; ++i) data += static_cast<char>(i % 256);
  const QByteArray lines = mime::base64Lines(data);
  EXPECT_TRUE(lines.endsWith("\r\n"));
  QByteArray joined;
  for (const QByteArray& line : lines.split('\n')) {
    if (line.isEmpty()) continue;
    ASSERT_TRUE(line.endsWith('\r'));
    EXPECT_LE(line.size() - 1, 76);
    joined += line.chopped(1);
  }
  EXPECT_EQ(QByteArray::fromBase64(joined), data);
}

struct ContentTypeCase {
  QString fileName;
  QByteArray expected;
};

class ContentTypeFor : public ::testing::TestWithParam<ContentTypeCase> {};

TEST_P(ContentTypeFor, FollowsTheSuffix) { EXPECT_EQ(mime::contentTypeFor(GetParam().fileName), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Names, ContentTypeFor,
                         ::testing::Values(ContentTypeCase{"/app/files/DTE-01.json", "application/json"},
                                           ContentTypeCase{"DTE-01.PDF", "application/pdf"},
                                           ContentTypeCase{"DTE.json.pdf", "application/pdf"},
                                           ContentTypeCase{"notes.txt", "application/octet-stream"},
                                           ContentTypeCase{"README", "application/octet-stream"}));

TEST(Parameter, QuotesPlainNamesAndPercentEncodesOthers) {
  EXPECT_EQ(mime::parameter("filename", QStringLiteral("DTE-01.pdf")), QByteArray("filename=\"DTE-01.pdf\""));
  EXPECT_EQ(mime::parameter("filename", QStringLiteral("año.pdf")), QByteArray("filename*=UTF-8''a%C3%B1o.pdf"));
  EXPECT_EQ(mime::parameter("name", QStringLiteral("a\"b.pdf")), QByteArray("name*=UTF-8''a%22b.pdf"));
}

}  // namespace
}  // namespace corvex
