// frmMain's behaviour against the recording view: the single-file group, the
// batch list, batch runs and the frame buttons.
#include "brevio/forms/main_form.h"

#include <gtest/gtest.h>

#include <memory>

#include "brevio/forms/paths.h"
#include "brevio/forms/tarnex_library.h"
#include "brevio/forms/texts.h"
#include "recording_view.h"
#include "tests/support/temp_dir.h"

namespace brevio::forms {
namespace {

using testing::FakeTarnex;
using testing::Message;
using testing::RecordingView;
using Strings = std::vector<std::string>;

// 1000 bytes in, 640 out: ten lines of 100 bytes whose trim keeps 62 + CR LF.
std::string Page1000() {
  std::string page;
  for (int i = 0; i < 10; ++i) page += std::string(62, 'x') + std::string(36, ' ') + "\r\n";
  return page;
}

const Message kFinished{MessageIcon::kInformation, "Trim Finished."};

class Form : public ::testing::Test {
 protected:
  Form() {
    FormSettings settings;
    settings.help_site = "https://help.example";
    form = std::make_unique<MainForm>(view, library, std::move(settings));
  }

  // Paths as the platform writes them (names here may hold '/').
  std::string P(std::string_view name) const { return Utf8Path((files / name).make_preferred()); }
  std::string Write(std::string_view name, std::string_view bytes) const {
    return Utf8Path(files.write(name, bytes).make_preferred());
  }
  void AddRows(const Strings& paths) {
    for (const std::string& p : paths) view.answers.emplace_back(Strings{p});
    for (std::size_t i = 0; i < paths.size(); ++i) form->cmdAdd_Click();
  }
  // Starts a run and pumps the window's tasks until its last row is back.
  void Run() {
    form->cmdTrim2_Click();
    ASSERT_TRUE(view.PumpUntil([&] { return !form->running(); }));
  }
  Strings Ticked() const {
    Strings numbers;
    for (const ListRow& row : form->rows()) {
      if (row.ticked) numbers.push_back(CellText(row, kColNumber));
    }
    return numbers;
  }
  // A column's cells as the list shows them, top to bottom.
  Strings Column(int c) const {
    Strings cells;
    for (const ListRow& row : form->rows()) cells.push_back(CellText(row, c));
    return cells;
  }
  std::string Cell(std::size_t r, int c) const { return CellText(form->rows().at(r), c); }
  std::string Tip(std::size_t r, int c) const { return CellTip(form->rows().at(r), c); }
  void Tick(const std::vector<int>& rows) {
    for (int r : rows) form->ListView1_Tick(r, true);
  }
  // Empties the list as a user would: every row ticked, then Remove.
  void ClearList() {
    for (std::size_t r = 0; r < form->rows().size(); ++r) form->ListView1_Tick(int(r), true);
    form->cmdRemove_Click();
  }

  brevio::testing::TempDir files;
  FakeTarnex tarnex;
  HRESULT create_result = S_OK;
  int creations = 0;
  TarnexLibrary library{[this](comrt::ComPtr<_CTarnex>& out) {
                          ++creations;
                          if (FAILED(create_result)) return create_result;
                          out = comrt::ComPtr<_CTarnex>(&tarnex);
                          return S_OK;
                        },
                        [](HRESULT hr) { return "missing " + std::to_string(hr); }};
  RecordingView view;
  std::unique_ptr<MainForm> form;  // last: goes first, while the view is whole
};

// ---------------------------------------------------------------- single file

TEST_F(Form, SingleFileGroup) {
  const std::string src = Write("src.htm", "  a  \r\n\r\n\tb\r\n");  // 13 bytes, 6 trimmed
  const std::string dst = P("dst.htm");
  const std::string no_folder = P("no") + kSeparator + "dir";
  const std::string deep = no_folder + kSeparator + "d.htm", gone = P("gone.htm"), d = P("d.htm");
  const std::string not_found = "The source file was not found:\n" + gone;
  const std::string no_dir = "The folder " + no_folder + " does not exist.";
  const std::string png = Write("logo.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  const std::string png_says =
      "The source file is not text (it holds NUL bytes), so it was not trimmed:\n" + png;
  enum Act { kOpen, kSave, kTrim };
  const struct {
    const char* what;
    std::string open, save;
    std::optional<Strings> answer;
    Act act;
    std::string want_open, want_save, len_open, len_save, says;
  } cases[] = {
      {"open", "", "", Strings{src}, kOpen, src, "", "File Len:    13", "", ""},
      {"open cancelled reads the length again", src, "", std::nullopt, kOpen, src, "",
       "File Len:    13", "", ""},
      {"open cancelled on a missing path", "C:\\x.html", "", std::nullopt, kOpen, "C:\\x.html", "",
       "", "", ""},
      {"save leaves its label alone", "", "", Strings{dst}, kSave, "", dst, "", "", ""},
      {"trim", src, dst, {}, kTrim, src, dst, "File Len: 13", "File Len: 6", ""},
      {"blank source", "", dst, {}, kTrim, "", dst, "", "File Len: 6", "source file to trim"},
      {"blank target", src, "", {}, kTrim, src, "", "File Len: 13", "", "no target file"},
      {"missing source", gone, d, {}, kTrim, gone, d, "", "", not_found},
      {"missing folder", src, deep, {}, kTrim, src, deep, "File Len: 13", "", no_dir},
      {"source not text", png, d, {}, kTrim, png, d, "File Len: 16", "", png_says},
  };
  for (const auto& c : cases) {
    view.texts = {{Control::txtOpen, c.open}, {Control::txtSave, c.save}};
    view.messages.clear();
    if (c.answer) view.answers.emplace_back(*c.answer);
    if (c.act == kOpen) form->cmdOpen_Click();
    if (c.act == kSave) form->cmdSave_Click();
    if (c.act == kTrim) form->cmdTrim_Click();
    EXPECT_EQ(view.Text(Control::txtOpen), c.want_open) << c.what;
    EXPECT_EQ(view.Text(Control::txtSave), c.want_save) << c.what;
    EXPECT_EQ(view.Text(Control::lblLenOpen), c.len_open) << c.what;
    EXPECT_EQ(view.Text(Control::lblLenSave), c.len_save) << c.what;
    ASSERT_EQ(view.messages.size(), c.says.empty() ? 0u : 1u) << c.what;
    for (const Message& m : view.messages) {
      EXPECT_EQ(m.icon, MessageIcon::kWarning) << c.what;
      EXPECT_NE(m.text.find(c.says), std::string::npos) << m.text;
    }
  }
  EXPECT_EQ(brevio::testing::ReadFile(files / "dst.htm"), "a\r\nb\r\n");
  // Open wants an existing page; Save asks before overwriting and opens at the file just chosen.
  ASSERT_EQ(view.requests.size(), 4u);
  EXPECT_EQ(view.requests[0].flags, kOfnFileMustExist | kOfnExplorer | kOfnLongNames);
  EXPECT_EQ(view.requests[0].filter, "HTML Files(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*");
  EXPECT_TRUE(view.requests[3].save);
  EXPECT_EQ(view.requests[3].flags, kOfnOverwritePrompt | kOfnExplorer | kOfnLongNames);
  EXPECT_EQ(view.requests[3].initial_name, src);
}

// Both trims keep what chkKeep names as it is when it is ticked, and follow
// the rule alone when not.
TEST_F(Form, KeepTickedLeavesPreformattedTextAsItIs) {
  const std::string page = "<pre>\r\n  x   y\r\n</pre>\r\n  <b>  z  </b>\r\n";
  const std::string trimmed = "<pre>\r\nx y\r\n</pre>\r\n<b> z </b>\r\n";
  const std::string kept = "<pre>\r\n  x   y\r\n</pre>\r\n<b> z </b>\r\n";
  const std::string src = Write("src.htm", page);
  std::filesystem::create_directory(files / "out");
  AddRows({src});
  const struct {
    bool batch, ticked;
    const std::string& want;
  } cases[] = {
      {false, false, trimmed},
      {false, true, kept},
      {true, false, trimmed},
      {true, true, kept},
  };
  for (const auto& c : cases) {
    view.checked[Control::chkKeep] = c.ticked;
    const std::filesystem::path dst = c.batch ? files / "out" / "src.htm" : files / "dst.htm";
    if (c.batch) {
      view.texts[Control::txtOutput] = P("out");
      Run();
    } else {
      view.texts = {{Control::txtOpen, src}, {Control::txtSave, Utf8Path(dst)}};
      form->cmdTrim_Click();
    }
    EXPECT_EQ(brevio::testing::ReadFile(dst), c.want)
        << "batch " << c.batch << ", ticked " << c.ticked;
  }
}

// ---------------------------------------------------------------- the list

TEST_F(Form, AddedRowsShowNumberNameSizeAndPath) {
  const std::string a = Write("a.htm", std::string(1234, 'a'));
  std::filesystem::create_directory(files / "sub");
  const std::string d = Write("sub/d.php", "d");
  view.answers = {Strings{a}, Strings{a, d}, std::nullopt, Strings{P("gone.htm")}};
  for (int i = 0; i < 4; ++i) form->cmdAdd_Click();
  const FileDialogRequest& r = view.requests.at(0);
  EXPECT_EQ(r.flags, kOfnAllowMultiSelect | kOfnFileMustExist | kOfnExplorer | kOfnLongNames);
  EXPECT_EQ(r.filter,
            "HTML Files(*.htm;*.html)|*.htm;*.html|ASP Files(*.asp)|*.asp|PHP Files(*.php)|*.php|"
            "All Files(*.*)|*.*");
  ASSERT_EQ(form->rows().size(), 4u);
  const Strings want[] = {{"1", "a.htm", "1234", " ", " "},
                          {"2", "a.htm", "1234", " ", " "},
                          {"3", "d.php", "1", " ", " "},
                          {"4", "gone.htm", "", "", ""}};
  const std::string tips[] = {a, a, d, P("gone.htm")};
  for (std::size_t i = 0; i < 4; ++i) {
    Strings cells;
    for (int c = 0; c < kColumnCount; ++c) cells.push_back(Cell(i, c));
    EXPECT_EQ(cells, want[i]) << i;
    EXPECT_EQ(Tip(i, kColSource), tips[i]) << i;
    EXPECT_FALSE(form->rows()[i].ticked);
  }
}

TEST_F(Form, RemoveSpaceAndDeleteOnTheList) {
  enum Act { kRemove, kSpace, kDelete };
  const struct {
    const char* what;
    std::vector<int> ticked, selected;
    int current;
    Act act;
    Strings rows, ticked_after;
  } cases[] = {
      {"remove nothing ticked", {}, {1}, 1, kRemove, {"1", "2", "3", "4"}, {}},
      {"remove the ticked", {0, 2}, {1}, 1, kRemove, {"2", "4"}, {}},
      {"space ticks the current row", {}, {}, 1, kSpace, {"1", "2", "3", "4"}, {"2"}},
      {"space unticks it again", {1}, {}, 1, kSpace, {"1", "2", "3", "4"}, {}},
      {"space sets the selection to the opposite of the current row",
       {0},
       {0, 1, 2},
       2,
       kSpace,
       {"1", "2", "3", "4"},
       {"1", "2", "3"}},
      {"space without a current row", {}, {0}, -1, kSpace, {"1", "2", "3", "4"}, {}},
      {"delete takes the ticked, not the selected", {1, 3}, {0}, 0, kDelete, {"1", "3"}, {}},
      {"delete with nothing ticked takes the selected", {}, {1, 2}, 2, kDelete, {"1", "4"}, {}},
  };
  const std::string page = Write("a.htm", "x");
  for (const auto& c : cases) {
    ClearList();
    AddRows({page, page, page, page});
    Tick(c.ticked);
    view.selected = c.selected;
    view.current = c.current;
    if (c.act == kRemove) form->cmdRemove_Click();
    if (c.act == kSpace) form->ListView1_Space();
    if (c.act == kDelete) form->ListView1_Delete();
    EXPECT_EQ(Column(kColNumber), c.rows) << c.what;
    EXPECT_EQ(Ticked(), c.ticked_after) << c.what;
  }
  // Numbers go on from the count: after removing the second of three, the next is 3 again.
  ClearList();
  AddRows({page, page, page});
  Tick({1});
  form->cmdRemove_Click();
  AddRows({page});
  EXPECT_EQ(Column(kColNumber), (Strings{"1", "3", "3"}));
  // Past the 16 bits of a platform list's counters.
  ClearList();
  form->ListView1_Drop(Strings(33000, page));
  Tick({0, 32768, 32999});
  form->cmdRemove_Click();
  EXPECT_EQ(form->rows().size(), 32997u);
  EXPECT_EQ(view.shown_rows, 32997);
  EXPECT_EQ(Cell(32766, kColNumber), "32768");
  EXPECT_EQ(Cell(32767, kColNumber), "32770");
}

TEST_F(Form, DroppedFilesAndFoldersAreAdded) {
  std::filesystem::create_directories(files / "site" / "deeper");
  for (const char* n : {"site/b.php", "site/a.HTML", "site/notes.txt", "site/c.asp",
                        "site/deeper/d.htm", "one.txt"})
    files.write(n, "x");
  form->ListView1_Drop({P("one.txt"), P("site")});
  EXPECT_EQ(Column(kColSource), (Strings{"one.txt", "a.HTML", "b.php", "c.asp"}));
  EXPECT_EQ(Tip(3, kColSource), P("site") + kSeparator + "c.asp");
  EXPECT_EQ(Column(kColNumber), (Strings{"1", "2", "3", "4"}));
}

#ifndef _WIN32
// A name that is not UTF-8 and its look-alike (U+FFFD where the byte was) are
// two files; each row trims its own, into a target of its own exact name.
TEST_F(Form, NamesThatAreNotUtf8AreKeptAsBytesToTheTrim) {
  std::filesystem::create_directories(files / "site\xE9");
  std::filesystem::create_directory(files / "out");
  const std::string a = Write("site\xE9/caf\xE9.htm", "  A  \r\n");
  Write("site\xE9/caf\xEF\xBF\xBD.htm", "  B  \r\n");
  form->ListView1_Drop({P("site\xE9")});
  form->ListView1_Drop({a});
  EXPECT_EQ(Column(kColSource),
            (Strings{"'caf'$'\\351''.htm'", "caf\xEF\xBF\xBD.htm", "'caf'$'\\351''.htm'"}));
  EXPECT_EQ(Tip(2, kColSource), ShownName(a));
  EXPECT_EQ(Column(kColSourceSize), (Strings{"7", "7", "7"}));
  view.texts[Control::txtOutput] = P("out");
  Run();
  EXPECT_EQ(brevio::testing::ReadFile(files / "out" / "caf\xE9.htm"), "A\r\n");
  EXPECT_EQ(brevio::testing::ReadFile(files / "out" / "caf\xEF\xBF\xBD.htm"), "B\r\n");
  EXPECT_EQ(Column(kColTargetSize), (Strings{"3", "3", "3"})) << "the third is the first again";
  EXPECT_EQ(view.messages, std::vector<Message>{kFinished});
}
#endif

TEST_F(Form, NamesAFaceCannotCarryAreRefusedInOneBox) {
  form->ListView1_Drop({Write("a.htm", "x")}, {"'a'$'\\355\\240\\200''.htm'", "b"});
  EXPECT_EQ(Column(kColSource), Strings{"a.htm"});
  EXPECT_EQ(view.messages,
            (std::vector<Message>{{MessageIcon::kWarning,
                                   "Brevio cannot hand these names on exactly as they are, so they "
                                   "were not added:\n'a'$'\\355\\240\\200''.htm'\nb"}}));
}

// ---------------------------------------------------------------- batch runs

TEST_F(Form, TheTwoChecksComeFirst) {
  const struct {
    const char* folder;
    bool rows;
    const char* says;
  } cases[] = {
      {"", false, "Please select an output folder to save the trimmed files."},
      {"   ", true, "Please select an output folder to save the trimmed files."},
      {"out", false, "Please add some files to the listview to trim."},
  };
  const std::string page = Write("a.htm", "  a  ");
  for (const auto& c : cases) {
    ClearList();
    view.messages.clear();
    if (c.rows) AddRows({page});
    view.texts[Control::txtOutput] = c.folder;
    form->cmdTrim2_Click();
    EXPECT_FALSE(form->running());
    EXPECT_EQ(view.messages, (std::vector<Message>{{MessageIcon::kInformation, c.says}}));
  }
  EXPECT_EQ(brevio::testing::ReadFile(files / "a.htm"), "  a  ");
}

TEST_F(Form, ARunFillsSizesAndRatios) {
  std::filesystem::create_directory(files / "out");
  const struct {
    const char* name;
    std::string content;
    const char *target_size, *ratio;
  } cases[] = {
      {"page.htm", Page1000(), "640", "64,00%"},
      {"same.php", "a\r\n", "3", "100,00%"},
      {"tiny.asp", std::string(197, ' ') + "a\r\n", "3", "1,50%"},
      {"empty.htm", "", "0", " "},  // nothing to divide by: the cell keeps its blank
  };
  for (const auto& c : cases) AddRows({Write(c.name, c.content)});
  view.decimal_point = ",";
  view.texts[Control::txtOutput] = P("out") + kSeparator;  // a trailing separator changes nothing
  Run();
  EXPECT_EQ(view.messages, std::vector<Message>{kFinished});
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Cell(i, kColSourceSize), std::to_string(cases[i].content.size()));
    EXPECT_EQ(Cell(i, kColTargetSize), cases[i].target_size) << cases[i].name;
    EXPECT_EQ(Cell(i, kColRatio), cases[i].ratio) << cases[i].name;
  }
  EXPECT_EQ(std::filesystem::file_size(files / "out" / "page.htm"), 640u);
  EXPECT_EQ(view.scrolled_to, 3);
}

// The output folder as typed: "~" leads home, a folder that is no full
// path is refused before anything is written.
TEST_F(Form, TheOutputFolderIsAFullPath) {
  std::filesystem::create_directory(files / "out");
  AddRows({Write("a.htm", Page1000())});
#ifdef _WIN32
  const std::string relative = "out", home_typed = "", home_full = "";
#else
  const std::string relative = "out", home_typed = "~/out", home_full = P("out");
  const char* saved = std::getenv("HOME");
  const std::string saved_home = saved != nullptr ? saved : "";
  ::setenv("HOME", Utf8Path(files.path()).c_str(), 1);
#endif
  view.texts[Control::txtOutput] = relative;
  form->cmdTrim2_Click();
  EXPECT_FALSE(form->running());
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_NE(view.messages[0].text.find("Please type the output folder as a full path"),
            std::string::npos)
      << view.messages[0].text;
  if (!home_typed.empty()) {
    view.messages.clear();
    view.texts[Control::txtOutput] = home_typed;
    Run();
    EXPECT_EQ(view.Text(Control::txtOutput), home_full);
    EXPECT_EQ(view.messages, std::vector<Message>{kFinished});
    EXPECT_EQ(std::filesystem::file_size(files / "out" / "a.htm"), 640u);
  }
#ifndef _WIN32
  ::setenv("HOME", saved_home.c_str(), 1);
#endif
}

// A run that would replace listed files asks first, once; No (the default)
// leaves every file as it is.
TEST_F(Form, ReplacingListedFilesIsAskedFirst) {
  std::filesystem::create_directory(files / "out");
  const std::string inside = Write("out/in.htm", Page1000());
  const std::string inside2 = Write("out/in2.htm", Page1000());
  const std::string outside = Write("page.htm", Page1000());
  AddRows({inside, outside, inside2});
  view.texts[Control::txtOutput] = P("out");
  const std::string question =
      "2 of the listed files are in the output folder and will be replaced by their trimmed "
      "text. Trim them in place?";
  view.yes = {false};
  form->cmdTrim2_Click();
  EXPECT_FALSE(form->running());
  EXPECT_EQ(view.questions, Strings{question});
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(std::filesystem::file_size(inside), 1000u);
  EXPECT_FALSE(std::filesystem::exists(files / "out" / "page.htm"));
  view.yes = {true};
  Run();
  EXPECT_EQ(view.questions, Strings(2, question));
  EXPECT_EQ(view.messages, std::vector<Message>{kFinished});
  EXPECT_EQ(Column(kColTargetSize), (Strings{"640", "640", "640"}));
  EXPECT_EQ(std::filesystem::file_size(inside), 640u);
  // Elsewhere nothing is asked.
  view.texts[Control::txtOutput] = P("elsewhere");
  std::filesystem::create_directory(files / "elsewhere");
  Run();
  EXPECT_EQ(view.questions.size(), 2u);
}

// Two files of one name into one folder: the first is trimmed, the second
// fails saying why, as brevio-trim refuses it; a file listed twice is
// trimmed once and both rows say so.
TEST_F(Form, OneNameFromTwoFoldersIsRefusedTheSecondTime) {
  std::filesystem::create_directories(files / "site1");
  std::filesystem::create_directories(files / "site2");
  std::filesystem::create_directory(files / "out");
  const std::string one = Write("site1/index.htm", Page1000());
  AddRows({one, Write("site2/index.htm", "b\r\n"), one});
  view.texts[Control::txtOutput] = P("out");
  Run();
  EXPECT_EQ(Column(kColTargetSize), (Strings{"640", "failed", "640"}));
  EXPECT_EQ(Tip(1, kColTargetSize), "A file of the same name, row 1, was just trimmed into " +
                                        (P("out") + kSeparator + "index.htm") +
                                        ". This one was not, so that it does not overwrite it.");
  EXPECT_EQ(view.messages,
            (std::vector<Message>{{MessageIcon::kWarning,
                                   "1 of 3 files could not be trimmed. Select a row marked "
                                   "failed to see why."}}));
  EXPECT_EQ(std::filesystem::file_size(files / "out" / "index.htm"), 640u);
}

TEST_F(Form, InPlaceRowsShowTheSizesEachTrimSaw) {
  AddRows({Write("page.htm", Page1000())});
  view.texts[Control::txtOutput] = Utf8Path(files.path());
  view.yes = {true, true};
  Run();
  EXPECT_EQ(Column(kColSourceSize), Strings{"1000"});
  EXPECT_EQ(Column(kColRatio), Strings{"64.00%"});
  Run();
  EXPECT_EQ(Column(kColSourceSize), Strings{"640"});
  EXPECT_EQ(Column(kColRatio), Strings{"100.00%"});
}

TEST_F(Form, FailedRowsSayWhyAndTheRunEndsWithAWarning) {
  std::filesystem::create_directory(files / "out");
  const std::string out = P("out");
  const std::string no_folder = out + kSeparator + "no" + kSeparator + "such";
  const struct {
    std::string output;
    bool remove_source;
    std::string ok_row, gone_tip, box;
  } cases[] = {
      {out, true, "640", "The source file was not found:\n" + P("gone.htm"),
       "1 of 2 files could not be trimmed. Select a row marked failed to see why."},
      {no_folder, false, "failed", "The folder " + no_folder + " does not exist.",
       "2 of 2 files could not be trimmed. Select a row marked failed to see why."},
  };
  AddRows({Write("ok.htm", Page1000()), Write("gone.htm", Page1000())});
  for (const auto& c : cases) {
    // A good run first: a failure must replace its results, not sit beside them.
    files.write("gone.htm", Page1000());
    view.texts[Control::txtOutput] = out;
    view.messages.clear();
    Run();
    EXPECT_EQ(Column(kColTargetSize), (Strings{"640", "640"}));
    if (c.remove_source) std::filesystem::remove(files / "gone.htm");
    view.texts[Control::txtOutput] = c.output;
    Run();
    EXPECT_EQ(view.messages, (std::vector<Message>{kFinished, {MessageIcon::kWarning, c.box}}));
    EXPECT_EQ(Column(kColTargetSize), (Strings{c.ok_row, "failed"}));
    EXPECT_EQ(Cell(1, kColRatio), " ") << "no ratio of a stale target";
    EXPECT_EQ(Tip(1, kColTargetSize), c.gone_tip);
  }
}

TEST_F(Form, SourcesThatAreNoTextAreSkipped) {
  std::filesystem::create_directory(files / "out");
  const struct {
    const char* name;
    std::string content;
    const char* target_size;
    std::string tip;
  } cases[] = {
      {"page.htm", Page1000(), "640", ""},
      {"logo.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "skipped",
       "This file is not text (it holds NUL bytes), so it was left as it was."},
      {"wide.htm", std::string("\xFF\xFE<\0p\0>\0", 8), "skipped",
       "This file is UTF-16 text, which Brevio does not trim, so it was left as it was."},
  };
  for (const auto& c : cases) AddRows({Write(c.name, c.content)});
  view.texts[Control::txtOutput] = P("out");
  Run();
  EXPECT_EQ(view.messages,
            (std::vector<Message>{{MessageIcon::kWarning,
                                   "2 of 3 files could not be trimmed: 2 are not text. Select "
                                   "a row marked skipped to see why."}}));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Cell(i, kColTargetSize), cases[i].target_size) << cases[i].name;
    EXPECT_EQ(Tip(i, kColTargetSize), cases[i].tip) << cases[i].name;
    EXPECT_EQ(std::filesystem::exists(files / "out" / cases[i].name), i == 0) << cases[i].name;
  }
  EXPECT_EQ(Column(kColRatio), (Strings{"64.00%", " ", " "}));
}

TEST_F(Form, WhileARunLastsTheListAndTheFolderStayAsTheyAre) {
  std::filesystem::create_directory(files / "out");
  for (const char* n : {"1.htm", "2.htm", "3.htm"}) AddRows({Write(n, Page1000())});
  view.texts[Control::txtOutput] = P("out");
  Tick({0});
  view.selected = {1};
  const auto requests = view.requests.size();
  form->cmdTrim2_Click();
  ASSERT_TRUE(form->running());
  EXPECT_TRUE(view.busy);
  EXPECT_TRUE(view.read_only[Control::txtOutput]);
  EXPECT_TRUE(view.read_only[Control::chkKeep]);
  EXPECT_EQ(Column(kColTargetSize), (Strings{" ", " ", " "}));
  view.current = 2;
  form->cmdTrim2_Click();
  form->cmdRemove_Click();
  form->cmdAdd_Click();
  form->cmdOutput_Click();
  form->ListView1_Delete();
  form->ListView1_Space();
  view.changed.clear();
  form->ListView1_Tick(1, true);
  EXPECT_EQ(view.changed, (std::vector<std::pair<int, int>>{{1, 1}})) << "drawn as it was";
  form->ListView1_Drop({P("1.htm")});
  EXPECT_EQ(view.requests.size(), requests) << "no dialog opened";
  EXPECT_TRUE(tarnex.dir_owners.empty());
  EXPECT_EQ(Ticked(), Strings{"1"});
  ASSERT_TRUE(view.PumpUntil([&] { return !form->running(); }));
  EXPECT_EQ(view.messages, std::vector<Message>{kFinished});
  EXPECT_FALSE(view.busy);
  EXPECT_FALSE(view.read_only[Control::txtOutput]);
  EXPECT_FALSE(view.read_only[Control::chkKeep]);
  EXPECT_EQ(Column(kColTargetSize), (Strings{"640", "640", "640"}));
  EXPECT_EQ(form->rows().size(), 3u);
}

// What a run has begun is whole or not there: never half a file.
void ExpectWholeOrAbsent(const std::filesystem::path& out, const Strings& names) {
  for (const std::string& name : names) {
    if (std::filesystem::exists(out / name)) {
      EXPECT_EQ(std::filesystem::file_size(out / name), 640u) << name;
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    const std::string name = entry.path().filename().string();
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
}

TEST_F(Form, ClosingDuringARunFinishesTheFilesUnderWayThenCloses) {
  std::filesystem::create_directory(files / "out");
  for (const char* n : {"1.htm", "2.htm", "3.htm"}) AddRows({Write(n, Page1000())});
  view.texts[Control::txtOutput] = P("out");
  form->cmdTrim2_Click();
  form->cmdExit_Click();
  EXPECT_FALSE(view.closed) << "the run's rows are still on their way";
  EXPECT_FALSE(form->Form_QueryUnload());
  ASSERT_TRUE(view.PumpUntil([&] { return !form->running(); }));
  EXPECT_TRUE(view.closed);
  EXPECT_TRUE(view.messages.empty()) << "no closing box: the program ends instead";
  EXPECT_FALSE(view.busy);
  const Strings names{"1.htm", "2.htm", "3.htm"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(Cell(i, kColTargetSize),
              std::filesystem::exists(files / "out" / names[i]) ? "640" : " ");
  }
  ExpectWholeOrAbsent(files / "out", names);
  EXPECT_TRUE(form->Form_QueryUnload());
}

TEST_F(Form, AFormGoneDuringARunStopsAndDropsWhatComesBack) {
  std::filesystem::create_directory(files / "out");
  for (const char* n : {"1.htm", "2.htm"}) AddRows({Write(n, Page1000())});
  view.texts[Control::txtOutput] = P("out");
  form->cmdTrim2_Click();
  form.reset();  // joins the worker
  EXPECT_FALSE(view.busy);
  int ran = 0;
  view.PostToWindow([&] { ++ran; });
  ASSERT_TRUE(view.PumpUntil([&] { return ran == 1; }));
  EXPECT_TRUE(view.messages.empty());
  ExpectWholeOrAbsent(files / "out", {"1.htm", "2.htm"});
}

// ---------------------------------------------------------------- Tarnex and the frame buttons

TEST_F(Form, OutputFolderHelpAndAboutGoThroughOneTarnexObject) {
  tarnex.folder = "  " + P("out") + "  ";
  form->cmdOutput_Click();
  EXPECT_EQ(view.Text(Control::txtOutput), P("out"));
  tarnex.folder = "";  // the chooser cancelled
  form->cmdOutput_Click();
  EXPECT_EQ(view.Text(Control::txtOutput), P("out"));
  EXPECT_EQ(tarnex.dir_owners, (std::vector<std::int32_t>{4242, 4242}));
  form->cmdHelp_Click();
  form->cmdHelp_Click();
  EXPECT_EQ(tarnex.starts,
            Strings(2, "open|IExplore.exe|https://help.example/tools/brevio_help.htm"));
  EXPECT_EQ(creations, 1);
  form->cmdAbout_Click();
  EXPECT_EQ(view.abouts, 1);
  EXPECT_TRUE(view.messages.empty());
}

// The list and the run work on bytes of their own; only the chooser and
// the browser need the library.
TEST_F(Form, AMissingLibrarySaysSoAndIsTriedAgainNextTime) {
  create_result = REGDB_E_CLASSNOTREG;
  std::filesystem::create_directory(files / "out");
  AddRows({Write("a.htm", Page1000())});
  form->cmdHelp_Click();
  form->cmdOutput_Click();
  view.texts[Control::txtOutput] = P("out");
  Run();
  const Message missing{MessageIcon::kWarning, "missing " + std::to_string(REGDB_E_CLASSNOTREG)};
  EXPECT_EQ(view.messages, (std::vector<Message>{missing, missing, kFinished}));
  create_result = S_OK;
  form->cmdHelp_Click();
  EXPECT_EQ(creations, 3);
  EXPECT_EQ(tarnex.starts.size(), 1u);
}

// The browser's start is answered: when none could be started, Help says
// so and where the page is, as a path the user can open some other way.
TEST_F(Form, HelpThatCannotBeOpenedSaysWhereThePageIs) {
  const std::string kSays =
      "The help page could not be opened: no web browser could be started for it.\n\nIt is here:\n";
  const struct {
    const char* site;
    LONG answer;  // the platform's: above 32 started
    std::vector<Message> boxes;
  } cases[] = {
      {"https://help.example", 42, {}},
      {"https://help.example",
       31,
       {{MessageIcon::kWarning, kSays + "https://help.example/tools/brevio_help.htm"}}},
      {"file:///usr/share/brevio",
       2,
       {{MessageIcon::kWarning, kSays + "/usr/share/brevio/tools/brevio_help.htm"}}},
      {"file:///C:/Program%20Files/Brevio%25",
       31,
       {{MessageIcon::kWarning, kSays + "C:\\Program Files\\Brevio%\\tools\\brevio_help.htm"}}},
  };
  for (const auto& c : cases) {
    FormSettings settings;
    settings.help_site = c.site;
    form = std::make_unique<MainForm>(view, library, std::move(settings));
    view.messages.clear();
    tarnex.shell_answer = c.answer;
    form->cmdHelp_Click();
    EXPECT_EQ(view.messages, c.boxes) << c.site << " " << c.answer;
  }
}

}  // namespace
}  // namespace brevio::forms
