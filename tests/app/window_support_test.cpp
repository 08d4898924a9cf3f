#include "brevio/app/window_support.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace brevio::app {
namespace {

TEST(TrimSpaces, OnlySpacesAtBothEndsGo) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"  /out  ", "/out"}, {"   ", ""}, {"", ""}, {"\t/out\t", "\t/out\t"}, {" a b ", "a b"}};
  for (const auto& c : cases)
    EXPECT_EQ(TrimSpaces(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
}

TEST(SplitFileName, PiecesAtEveryNul) {
  const QChar nul(0);
  const struct {
    QString in;
    QStringList out;
  } cases[] = {
      {QString(), {}},
      {QStringLiteral("/a/b.htm"), {QStringLiteral("/a/b.htm")}},
      {QStringLiteral("/a") + nul + "x.htm" + nul + "y.htm", {"/a", "x.htm", "y.htm"}},
      {QStringLiteral("/") + nul + "x.htm", {"/", "x.htm"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitFileName(c.in), c.out);
}

TEST(FromTwips, FifteenTwipsAPixel) {
  EXPECT_EQ(FromTwips({240, 240, 8415, 4815}), QRect(16, 16, 561, 321));
  EXPECT_EQ(FromTwips({960, 8040, 4695, 285}), QRect(64, 536, 313, 19));
  EXPECT_EQ(FromTwips({7440, 6000, 1215, 330}), QRect(496, 400, 81, 22));
}

TEST(FileLength, OnlyRegularFilesHaveOne) {
  brevio::testing::TempDir dir;
  dir.write("ten.htm", "0123456789");
  dir.write("empty.htm", "");
  const auto q = [&](const char* n) { return QString::fromStdString((dir / n).string()); };
  const struct {
    QString path;
    std::optional<std::uint64_t> len;
  } cases[] = {{q("ten.htm"), 10},
               {q("empty.htm"), 0},
               {q("missing.htm"), std::nullopt},
               {QString::fromStdString(dir.path().string()), std::nullopt},
               {QString(), std::nullopt},
               {q("ten.htm/below"), std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(FileLength(c.path), c.len) << c.path.toStdString();
}

TEST(TrimResultText, EachCodeSaysWhatWentWrong) {
  const QString source = QStringLiteral("/gone/page.htm");
  EXPECT_TRUE(TrimResultText(0, source).isEmpty());
  const struct {
    std::int32_t code;
    const char* says;
  } cases[] = {{1, "no source file"},
               {2, "no target file"},
               {3, "not found:\n/gone/page.htm"},
               {7, "(result 7)"},
               {-5, "(result -5)"}};
  for (const auto& c : cases) {
    const QString text = TrimResultText(c.code, source);
    EXPECT_TRUE(text.contains(QString::fromLatin1(c.says))) << c.code << ": " << text.toStdString();
  }
}

TEST(TarnexMissingText, SaysHowToRegister) {
  const QString text =
      TarnexMissingText(static_cast<std::int32_t>(0x80040154), "/opt/brevio/lib/brevio/");
  EXPECT_TRUE(text.contains("regsvr /opt/brevio/lib/brevio/TARNEX.so")) << text.toStdString();
  EXPECT_TRUE(text.contains("80040154"));
  EXPECT_TRUE(text.contains("not registered"));
}

TEST(ProgramIcon, HoldsBothSizes) {
  const QIcon icon = ProgramIcon();
  ASSERT_FALSE(icon.isNull());
  for (int side : {16, 32}) EXPECT_EQ(icon.pixmap(side, side).size(), QSize(side, side));
  EXPECT_EQ(icon.availableSizes().size(), 2);
}

}  // namespace
}  // namespace brevio::app
