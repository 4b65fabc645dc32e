#include "dispatch/json_document.h"

#include "base/error.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace corvex {
namespace {

// Loads `text`, appends the signature and the seal as the dispatch run does.
QString signedText(const QString& text, const QString& firma = QStringLiteral("x"),
                   const QString& sello = QStringLiteral("y")) {
  JsonDocument document;
  document.LoadJson(text);
  document.InsertMemberText(JsonDocument::kAfterLastMember, QStringLiteral("firmaElectronica"), firma);
  document.InsertMemberText(JsonDocument::kAfterLastMember, QStringLiteral("selloRecibido"), sello);
  return document.ToJsonText();
}

int errorNumber(const std::function<void()>& work) {
  try {
    work();
  } catch (const Error& error) {
    EXPECT_FALSE(error.description().isEmpty());
    return error.number();
  }
  return 0;
}

TEST(JsonDocumentTest, AppendsMembersAndKeepsTheDocumentByteForByte) {
  const std::pair<QString, QString> cases[] = {
      {R"({"a":1})", R"({"a":1,"firmaElectronica":"x","selloRecibido":"y"})"},
      {R"({})", R"({"firmaElectronica":"x","selloRecibido":"y"})"},
      {"{ \r\n }", "{ \r\n \"firmaElectronica\":\"x\",\"selloRecibido\":\"y\"}"},
      {"  {\"b\" : 1.50E+2 , \"a\":[1, {\"c\":null}]}\r\n\r\n",
       "{\"b\" : 1.50E+2 , \"a\":[1, {\"c\":null}],\"firmaElectronica\":\"x\",\"selloRecibido\":\"y\"}"},
      {"{\"z\":\"}\",\n \"y\":{}\n}", "{\"z\":\"}\",\n \"y\":{}\n,\"firmaElectronica\":\"x\",\"selloRecibido\":\"y\"}"},
      {R"({"big":123456789012345678901234567890,"e":1E-7})",
       R"({"big":123456789012345678901234567890,"e":1E-7,"firmaElectronica":"x","selloRecibido":"y"})"},
      {QStringLiteral("\uFEFF{\"n\":-0.10}"), R"({"n":-0.10,"firmaElectronica":"x","selloRecibido":"y"})"},
  };
  for (const auto& [loaded, expected] : cases) EXPECT_EQ(signedText(loaded), expected) << loaded.toStdString();
}

TEST(JsonDocumentTest, AppendedValuesAreEscapedAndNonAsciiSurvives) {
  const QString firma = QStringLiteral("a\"b\\c\r\n\t\x01/");
  const QString text = signedText(QStringLiteral("{\"nombre\":\"José Peña, Ñuñoa\"}"), firma, QStringLiteral("Sí ñ €"));
  EXPECT_EQ(text,
            QStringLiteral("{\"nombre\":\"José Peña, Ñuñoa\",\"firmaElectronica\":\"a\\\"b\\\\c\\r\\n\\t\\u0001/\","
                           "\"selloRecibido\":\"Sí ñ €\"}"));
  const nlohmann::json reparsed = nlohmann::json::parse(text.toStdString());
  EXPECT_EQ(QString::fromStdString(reparsed["firmaElectronica"].get<std::string>()), firma);
  EXPECT_EQ(QString::fromStdString(reparsed["nombre"].get<std::string>()), QStringLiteral("José Peña, Ñuñoa"));
}

TEST(JsonDocumentTest, GetMemberTextReadsTopLevelTexts) {
  JsonDocument document;
  document.LoadJson(QStringLiteral(R"({"status":"OK","body":"eyJhbGciOi.ab\u00f1","inner":{"body":"no"}})"));
  EXPECT_EQ(document.GetMemberText(QStringLiteral("body")), QStringLiteral("eyJhbGciOi.ab\u00f1"));
  EXPECT_EQ(document.GetMemberText(QStringLiteral("status")), QStringLiteral("OK"));
  document.InsertMemberText(-1, QStringLiteral("added"), QStringLiteral("v"));
  EXPECT_EQ(document.GetMemberText(QStringLiteral("added")), QStringLiteral("v"));
}

TEST(JsonDocumentTest, RefusesWhatWouldMailACorruptOrUnsignedDocument) {
  const std::pair<QString, int> loads[] = {
      {"", kTypeMismatch},
      {"not json", kTypeMismatch},
      {"[1,2]", kTypeMismatch},
      {"\"text\"", kTypeMismatch},
      {"{\"a\":1", kTypeMismatch},
      {"{\"a\":1} {}", kTypeMismatch},
      {"{\"a\":1,}", kTypeMismatch},
      {"null", kTypeMismatch},
      // Found by fuzzing: the parser's out-of-range error escaped as a foreign exception.
      {"{\"a\":1e400}", kTypeMismatch},
      // Found by fuzzing: text after a NUL went unchecked, and the splice wrote into it.
      {QStringLiteral(u"{}\u0000 x }"), kTypeMismatch},
  };
  for (const auto& [text, number] : loads) {
    JsonDocument document;
    EXPECT_EQ(errorNumber([&] { document.LoadJson(text); }), number) << text.toStdString();
    EXPECT_EQ(errorNumber([&] { document.ToJsonText(); }), kObjectNotSet) << text.toStdString();
  }
  const std::pair<QString, int> bodies[] = {
      {R"({"status":"ERROR"})", kItemNotFound},
      {R"({"status":"OK","body":null})", kTypeMismatch},
      {R"({"status":"OK","body":{"jws":"x"}})", kTypeMismatch},
      {R"({"status":"OK","Body":"x"})", kItemNotFound},
  };
  for (const auto& [text, number] : bodies) {
    JsonDocument document;
    document.LoadJson(text);
    EXPECT_EQ(errorNumber([&] { document.GetMemberText(QStringLiteral("body")); }), number) << text.toStdString();
  }
}

TEST(JsonDocumentTest, AFailedLoadLeavesNothingOfThePreviousDocument) {
  JsonDocument document;
  document.LoadJson(QStringLiteral(R"({"body":"previous"})"));
  EXPECT_THROW(document.LoadJson(QStringLiteral("[]")), Error);
  EXPECT_EQ(errorNumber([&] { document.GetMemberText(QStringLiteral("body")); }), kObjectNotSet);
  EXPECT_EQ(errorNumber([&] { document.InsertMemberText(-1, QStringLiteral("a"), QStringLiteral("b")); }),
            kObjectNotSet);
}

TEST(JsonDocumentTest, ReloadingStartsFromTheNewText) {
  JsonDocument document;
  document.LoadJson(QStringLiteral(R"({"a":1})"));
  document.InsertMemberText(-1, QStringLiteral("firmaElectronica"), QStringLiteral("x"));
  document.LoadJson(QStringLiteral(R"({"b":2})"));
  document.InsertMemberText(-1, QStringLiteral("selloRecibido"), QStringLiteral("y"));
  EXPECT_EQ(document.ToJsonText(), QStringLiteral(R"({"b":2,"selloRecibido":"y"})"));
}

TEST(JsonDocumentTest, OnlyTheLastPositionIsSupported) {
  JsonDocument document;
  document.LoadJson(QStringLiteral(R"({"a":1})"));
  EXPECT_EQ(errorNumber([&] { document.InsertMemberText(0, QStringLiteral("b"), QStringLiteral("c")); }), 5);
  EXPECT_EQ(document.ToJsonText(), QStringLiteral(R"({"a":1})"));
}

}  // namespace
}  // namespace corvex
