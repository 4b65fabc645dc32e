#include "base/document_files.h"

#include "base/error.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

TEST(DocumentFilesTest, PlainNamesGiveTheTwoScratchFiles) {
  const DocumentFiles files =
      documentFiles(AppFolder(QStringLiteral("/srv/corvex/")), QStringLiteral("6F1E2C3A-9B4D-4E5F-8A7B-1C2D3E4F5A6B"));
  EXPECT_EQ(files.json, QStringLiteral("/srv/corvex/files/6F1E2C3A-9B4D-4E5F-8A7B-1C2D3E4F5A6B.json"));
  EXPECT_EQ(files.pdf, QStringLiteral("/srv/corvex/files/6F1E2C3A-9B4D-4E5F-8A7B-1C2D3E4F5A6B.pdf"));
}

TEST(DocumentFilesTest, RefusesAnIdThatCouldLeaveTheFolder) {
  EXPECT_THROW(documentFiles(AppFolder(QStringLiteral("/srv/corvex")), QStringLiteral("../main")), Error);
}

}  // namespace
}  // namespace corvex
