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

// The text part: 7bit only where the text may travel as it is, otherwise
// quoted-printable whose lines stay short and whose bytes decode back.
struct TextPartCase {
  const char* name;
  QByteArray text;
  const char* encoding;
  QByteArray holds;  ///< found in the encoded body
};

void PrintTo(const TextPartCase& c, std::ostream* out) { *out << c.name; }

class TextPart : public ::testing::TestWithParam<TextPartCase> {};

// Undoes quotedPrintable(): soft breaks go, =XX become bytes, CR LF stays.
QByteArray decodeQuotedPrintable(const QByteArray& encoded) {
  QByteArray decoded;
  const QByteArray joined = QByteArray(encoded).replace("=\r\n", "");
  for (qsizetype i = 0; i < joined.size(); ++i) {
    if (joined[i] != '=') {
      decoded += joined[i];
      continue;
    }
    decoded += char(joined.mid(i + 1, 2).toInt(nullptr, 16));
    i += 2;
  }
  return decoded;
}

TEST_P(TextPart, TravelsAsItIsOrQuotedPrintableAndDecodesToTheText) {
  const TextPartCase& c = GetParam();
  const QByteArray part = mime::textPart(c.text);
  const qsizetype bodyStart = part.indexOf("\r\n\r\n") + 4;
  const QByteArray headers = part.left(bodyStart);
  const QByteArray body = part.mid(bodyStart, part.size() - bodyStart - 2);
  EXPECT_TRUE(headers.contains(QByteArray("Content-Transfer-Encoding: ") + c.encoding + "\r\n")) << headers.data();
  EXPECT_TRUE(part.endsWith("\r\n"));
  EXPECT_TRUE(body.contains(c.holds)) << body.data();
  for (const QByteArray& line : body.split('\n')) {
    EXPECT_FALSE(line.chopped(line.endsWith('\r') ? 1 : 0).contains('\r')) << "no bare CR on the wire";
    if (QByteArray(c.encoding) == "quoted-printable") {
      EXPECT_LE(line.size(), 77) << line.data();  // 76 and the CR
    }
  }
  EXPECT_EQ(QByteArray(c.encoding) == "7bit" ? body : decodeQuotedPrintable(body), c.text);
}

const QByteArray kCoverText =
    "Estimado (a): Ana\r\n\nAdjunto encontrara los documentos electronicos correspondientes a su compra,  esta "
    "cuenta de correo no es monitoreada por lo que si responde este correo no sera atendido, para dudas y/o "
    "consultas escribir a: info@empresa.example\r\n\nAtentamente,\r\n\nEmpresa";

INSTANTIATE_TEST_SUITE_P(
    Cases, TextPart,
    ::testing::Values(TextPartCase{"AsciiWithCrLf", "Linea uno\r\nLinea dos", "7bit", "Linea uno\r\nLinea dos"},
                      TextPartCase{"CoverTextBareLineFeed", kCoverText, "quoted-printable", "Ana\r\n=0AAdjunto"},
                      TextPartCase{"Accents",
                                   "Jos\xC3\xA9 Pe\xC3\xB1"
                                   "a",
                                   "quoted-printable", "Jos=C3=A9 Pe=C3=B1a"},
                      TextPartCase{"EqualsSign", "a=b\nc", "quoted-printable", "a=3Db=0Ac"},
                      TextPartCase{"BlankBeforeABreak", "fin \r\n\nx\t", "quoted-printable", "fin=20\r\n=0Ax=09"},
                      TextPartCase{"BareCarriageReturn", "a\rb", "quoted-printable", "a=0Db"},
                      TextPartCase{"LineOf998Bytes", QByteArray(998, 'x'), "7bit", "xxx"},
                      TextPartCase{"LineOf999Bytes", QByteArray(999, 'x'), "quoted-printable", "x=\r\nx"},
                      TextPartCase{"EncodedByteNotSplitBySoftBreak", QByteArray(74, 'x') + "\xC3\xA9",
                                   "quoted-printable", "=\r\n=C3=A9"}),
    [](const ::testing::TestParamInfo<TextPartCase>& info) { return std::string(info.param.name); });

// Folded at blanks so no line passes 78 characters where a blank allows it;
// unfolding (CR LF removed) gives the field back.
struct FieldCase {
  const char* name;
  QByteArray fieldName;
  QString value;
  int longestLine;  ///< the longest line it may have
};

class HeaderField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(HeaderField, FoldsAtBlanksWithinTheLimitAndUnfoldsToTheField) {
  const FieldCase& c = GetParam();
  const QByteArray value = mime::headerText(c.value);
  const QByteArray field = mime::headerField(c.fieldName, value);
  ASSERT_TRUE(field.endsWith("\r\n"));
  const QList<QByteArray> lines = field.chopped(2).split('\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QByteArray line = i + 1 < lines.size() ? lines[i].chopped(1) : lines[i];
    EXPECT_LE(line.size(), c.longestLine) << line.data();
    EXPECT_FALSE(line.trimmed().isEmpty()) << "no line of blanks only";
    if (i > 0) {
      EXPECT_TRUE(line.startsWith(' ')) << "a continuation starts with a blank";
    }
    if (line.contains("=?UTF-8?")) {
      EXPECT_LE(line.size(), 76) << "RFC 2047 limit for lines with encoded words";
    }
  }
  EXPECT_EQ(QByteArray(field).chopped(2).replace("\r\n", ""),
            c.fieldName + ": " + QByteArray(value).replace("\r\n", ""));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderField,
    ::testing::Values(FieldCase{"Short", "Subject", QStringLiteral("Factura A-15"), 78},
                      FieldCase{"LongPlainSubject", "Subject",
                                QStringLiteral("Documento Tributario Electronico de LA CEIBA S.A. de C.V. numero "
                                               "DTE-01-M001P001-000000000001251 emitido el 2024-04-01"),
                                78},
                      FieldCase{"LongSubjectWithAccents", "Subject",
                                QStringLiteral("Envío de DTE ") + QString(80, QChar(0x00F1)), 76},
                      // A word longer than a line keeps a line of its own.
                      FieldCase{"UnbreakableWord", "Content-Type",
                                QStringLiteral("application/pdf; name=") + QString(90, u'x'), 1 + 5 + 90}),
    [](const ::testing::TestParamInfo<FieldCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvex
