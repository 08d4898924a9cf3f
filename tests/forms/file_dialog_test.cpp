// dlgFile: what the handlers read back after the toolkit's dialog answered.
#include "brevio/forms/file_dialog.h"

#include <gtest/gtest.h>

#include "brevio/forms/paths.h"
#include "recording_view.h"

namespace brevio::forms {
namespace {

using Strings = std::vector<std::string>;

// A path in folder `d` as the platform writes it.
std::string In(const std::string& d, const std::string& name) { return d + kSeparator + name; }

TEST(FileDialog, FileNameIsPackedAsThePlatformPacksIt) {
  const std::string a = In("d", "a.htm"), b = In("d", "b.php"), e = In("e", "c.asp");
  const std::string nul(1, '\0');
  const struct {
    const char* what;
    bool save, multi, cancel_error;
    int max;
    std::optional<Strings> chosen;  // nullopt: Cancel
    std::string want;               // FileName afterwards
    int error;                      // what ShowOpen/ShowSave threw, 0 for nothing
  } cases[] = {
      {"one file", false, false, true, 256, Strings{a}, a, 0},
      {"one file in a multi-select", false, true, true, 256, Strings{a}, a, 0},
      {"one folder, several names", false, true, true, 256, Strings{b, a},
       "d" + nul + "b.php" + nul + "a.htm", 0},
      {"several folders", false, true, true, 256, Strings{a, e}, nul + a + nul + e, 0},
      {"whole pieces that fit, to the last character", false, true, true, 7, Strings{a, b},
       "d" + nul + "a.htm", 0},
      {"not even one piece fits", false, true, true, 6, Strings{a, b}, "", 0},
      {"one path too long", false, false, true, 4, Strings{a}, "", kBufferTooSmallNumber},
      {"one path too long to save", true, false, true, 4, Strings{a}, "", kBufferTooSmallNumber},
      {"cancel reported", false, false, true, 256, std::nullopt, "kept", kCancelErrorNumber},
      {"cancel not reported", false, false, false, 256, std::nullopt, "", 0},
  };
  for (const auto& c : cases) {
    testing::RecordingView view;
    view.answers.push_back(c.chosen);
    FileDialog dlg;
    dlg.FileName = "kept";
    dlg.CancelError = c.cancel_error;
    dlg.MaxFileSize = c.max;
    dlg.Flags = c.multi ? kOfnAllowMultiSelect : 0;
    int error = 0;
    try {
      c.save ? dlg.ShowSave(view) : dlg.ShowOpen(view);
    } catch (const CommonDialogError& e) {
      error = e.number();
    }
    EXPECT_EQ(error, c.error) << c.what;
    EXPECT_EQ(dlg.FileName, c.want) << c.what;
    EXPECT_EQ(dlg.FileNames, c.chosen.value_or(Strings{})) << c.what << ": never cut short";
    ASSERT_EQ(view.requests.size(), 1u);
    EXPECT_EQ(view.requests[0].save, c.save) << c.what;
  }
}

TEST(FileDialog, OpensWhereTheLastNameLay) {
  const std::string nul(1, '\0');
  const struct {
    std::string file_name, initial;
  } cases[] = {
      {In("d", "a.htm"), In("d", "a.htm")},
      {"d" + nul + "a.htm" + nul + "b.htm", "d"},
      {nul + In("d", "a.htm") + nul + In("e", "b.htm"), "d"},
  };
  for (const auto& c : cases) {
    testing::RecordingView view;
    FileDialog dlg;
    dlg.FileName = c.file_name;
    dlg.Filter = "f";
    dlg.Flags = kOfnFileMustExist;
    dlg.ShowOpen(view);
    ASSERT_EQ(view.requests.size(), 1u);
    EXPECT_EQ(view.requests[0].initial_name, c.initial);
    EXPECT_EQ(view.requests[0].filter, "f");
    EXPECT_EQ(view.requests[0].flags, kOfnFileMustExist);
  }
}

TEST(FileDialog, FilterPairs) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  const struct {
    const char* filter;
    Pairs want;
  } cases[] = {
      {"HTML Files(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*",
       {{"HTML Files(*.htm;*.html)", "*.htm;*.html"}, {"All Files(*.*)", "*.*"}}},
      {"ASP Files(*.asp)|*.asp|Lonely", {{"ASP Files(*.asp)", "*.asp"}}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(FileDialog::FilterPairs(c.filter), c.want) << c.filter;
}

}  // namespace
}  // namespace brevio::forms
