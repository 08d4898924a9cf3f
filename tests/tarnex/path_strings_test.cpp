// Path strings, through the object as a client calls them and directly.
#include "tarnex/src/path_strings.h"

#include <random>

#include "tarnex_fixture.h"

namespace {

using brevio::testing::TarnexTest;

enum class Op { Join, RipPath, RipFile, RipExt, Switch };

struct PathCase {
  const char* name;
  Op op;
  std::vector<std::u16string> args;
  std::u16string expected;
};

class PathStrings : public TarnexTest, public ::testing::WithParamInterface<PathCase> {
 protected:
  std::u16string Call(const PathCase& c) {
    std::vector<comrt::Bstr> a;
    for (const auto& s : c.args) a.emplace_back(std::u16string_view(s));
    comrt::Bstr out;
    HRESULT hr = E_FAIL;
    switch (c.op) {
      case Op::Join:
        hr = t_->JoinPathFile2(a[0].get(), a[1].get(), out.out());
        break;
      case Op::RipPath:
        hr = t_->RipPath(a[0].get(), out.out());
        break;
      case Op::RipFile:
        hr = t_->RipFile(a[0].get(), out.out());
        break;
      case Op::RipExt:
        hr = t_->RipExt(a[0].get(), out.out());
        break;
      case Op::Switch:
        hr = t_->SwitchExt(a[0].get(), a[1].get(), a[2].get(), out.out());
        break;
    }
    EXPECT_EQ(hr, S_OK);
    EXPECT_NE(out.get(), nullptr);  // a result string even when it is empty
    return out.u16();
  }
};

TEST_P(PathStrings, GiveTheDocumentedResult) { EXPECT_EQ(Call(GetParam()), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Table, PathStrings,
    ::testing::Values(
        PathCase{"join", Op::Join, {u"/out", u"a.htm"}, u"/out/a.htm"},
        PathCase{
            "join_trimmed_folder_with_slash", Op::Join, {u"  /out/  ", u"a.htm"}, u"/out/a.htm"},
        PathCase{"join_blank_folder_keeps_file", Op::Join, {u"   ", u" a.htm"}, u" a.htm"},
        PathCase{"join_file_side_not_inspected", Op::Join, {u"/out", u"/a.htm"}, u"/out//a.htm"},
        PathCase{"join_tab_is_not_trimmed", Op::Join, {u"/out\t", u"a"}, u"/out\t/a"},
        PathCase{"join_both_empty", Op::Join, {u"", u""}, u""},
        PathCase{"rippath", Op::RipPath, {u"/web/index.htm"}, u"/web/"},
        PathCase{"ripfile", Op::RipFile, {u"/web/index.htm"}, u"index.htm"},
        PathCase{"rippath_bare_name", Op::RipPath, {u"index.htm"}, u""},
        PathCase{"ripfile_bare_name", Op::RipFile, {u"index.htm"}, u"index.htm"},
        PathCase{"rippath_folder", Op::RipPath, {u"/web/"}, u"/web/"},
        PathCase{"ripfile_folder", Op::RipFile, {u"/web/"}, u""},
        PathCase{"rippath_backslash_is_ordinary", Op::RipPath, {u"C:\\web\\index.htm"}, u""},
        PathCase{"ripfile_backslash_is_ordinary",
                 Op::RipFile,
                 {u"C:\\web\\index.htm"},
                 u"C:\\web\\index.htm"},
        PathCase{"ripfile_not_trimmed", Op::RipFile, {u" /a/ b "}, u" b "},
        PathCase{"ripext", Op::RipExt, {u"/web/index.htm"}, u".htm"},
        PathCase{"ripext_last_dot", Op::RipExt, {u"/web/archive.tar.gz"}, u".gz"},
        PathCase{"ripext_dot_in_folder", Op::RipExt, {u"/my.site/index"}, u".site/index"},
        PathCase{"ripext_none", Op::RipExt, {u"README"}, u""},
        PathCase{"ripext_empty", Op::RipExt, {u""}, u""},
        PathCase{"switch_ignores_case", Op::Switch, {u"page.HTM", u".htm", u".bak"}, u"page.bak"},
        PathCase{"switch_appends_on_mismatch",
                 Op::Switch,
                 {u"page.txt", u".htm", u".bak"},
                 u"page.txt.bak"},
        PathCase{"switch_trims_all_three",
                 Op::Switch,
                 {u" page.htm ", u" .htm", u" .bak "},
                 u"page.bak"},
        PathCase{
            "switch_empty_ext_matches", Op::Switch, {u"page.htm", u"", u".bak"}, u"page.htm.bak"},
        PathCase{"switch_whole_name", Op::Switch, {u".htm", u".HTM", u".asp"}, u".asp"},
        PathCase{"switch_name_shorter", Op::Switch, {u"htm", u".htm", u".bak"}, u"htm.bak"},
        PathCase{"switch_no_dot_assumed", Op::Switch, {u"pagehtm", u"htm", u".x"}, u"page.x"},
        PathCase{
            "switch_unicode_upper", Op::Switch, {u"x.\u00c4SP", u".\u00e4sp", u".php"}, u"x.php"},
        PathCase{"switch_cyrillic",
                 Op::Switch,
                 {u"\u0444\u0430\u0439\u043b.\u0442\u0445\u0442", u".\u0422\u0425\u0422", u".bak"},
                 u"\u0444\u0430\u0439\u043b.bak"},
        PathCase{"switch_supplementary_plane",
                 Op::Switch,
                 {u"a.\U00010428", u".\U00010400", u".z"},
                 u"a.z"},
        PathCase{"switch_different_letter", Op::Switch, {u"a.\u00e4", u".a", u".z"}, u"a.\u00e4.z"},
        PathCase{
            "ripfile_surrogates", Op::RipFile, {u"/d\u00efr/\U0001F600.htm"}, u"\U0001F600.htm"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TarnexTest, NullStringsAreEmptyStrings) {
  comrt::Bstr out;
  EXPECT_EQ(t_->JoinPathFile2(nullptr, nullptr, out.out()), S_OK);
  EXPECT_EQ(out.u16(), u"");
  EXPECT_EQ(t_->SwitchExt(nullptr, nullptr, comrt::Bstr(u".a").get(), out.out()), S_OK);
  EXPECT_EQ(out.u16(), u".a");
  EXPECT_EQ(t_->RipExt(nullptr, out.out()), S_OK);
  EXPECT_EQ(out.u16(), u"");
}

TEST_F(TarnexTest, EmbeddedNulCrossesTheInterface) {
  comrt::Bstr out;
  std::u16string with_nul(u"/a\0b/c\0d", 8);
  ASSERT_EQ(t_->RipFile(comrt::Bstr(std::u16string_view(with_nul)).get(), out.out()), S_OK);
  EXPECT_EQ(out.u16(), std::u16string(u"c\0d", 3));
}

TEST(PathStringsModel, RipPathThenRipFileGivesTheInputBack) {
  std::mt19937 rng(20240611);
  const char16_t alphabet[] = {u'/', u'.', u' ', u'a', u'\\', u'\u00e9', 0xD83D, 0xDE00, 0};
  for (int i = 0; i < 2000; ++i) {
    std::u16string s(rng() % 12, u'x');
    for (char16_t& c : s) c = alphabet[rng() % std::size(alphabet)];
    EXPECT_EQ(tarnex::RipPath(s) + tarnex::RipFile(s), s);
    std::u16string ext = tarnex::RipExt(s);
    EXPECT_TRUE(ext.empty() || (ext[0] == u'.' && s.ends_with(ext)));
    // Switching an extension on and back off restores the trimmed name.
    std::u16string on = tarnex::SwitchExt(u"name", u"", s.empty() ? u"." : u".q");
    EXPECT_EQ(tarnex::SwitchExt(on, s.empty() ? u"." : u".Q", u""), u"name");
  }
}

}  // namespace
