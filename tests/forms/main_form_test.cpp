// frmMain's behaviour against the recording view: the single-file group, the
// batch list, batch runs and the frame buttons.
#include "brevio/forms/main_form.h"

#include <gtest/gtest.h>

#include <memory>

#include "brevio/forms/paths.h"
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
    settings.create_tarnex = [this](comrt::ComPtr<_CTarnex>& out) {
      ++creations;
      if (FAILED(create_result)) return create_result;
      out = comrt::ComPtr<_CTarnex>(&tarnex);
      return S_OK;
    };
    settings.tarnex_missing_text = [](HRESULT hr) { return "missing " + std::to_string(hr); };
    settings.help_site = "https://help.example";
    form = std::make_unique<MainForm>(view, std::move(settings));
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
    for (const auto& row : view.rows) {
      if (row.ticked) numbers.push_back(row.cells[kColNumber]);
    }
    return numbers;
  }

  brevio::testing::TempDir files;
  FakeTarnex tarnex;
  HRESULT create_result = S_OK;
  int creations = 0;
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
  ASSERT_EQ(view.rows.size(), 4u);
  const Strings want[] = {{"1", "a.htm", "1234", " ", " "},
                          {"2", "a.htm", "1234", " ", " "},
                          {"3", "d.php", "1", " ", " "},
                          {"4", "gone.htm", "", "", ""}};
  const std::string tips[] = {a, a, d, P("gone.htm")};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Strings(view.rows[i].cells.begin(), view.rows[i].cells.end()), want[i]) << i;
    EXPECT_EQ(view.rows[i].tips[kColSource], tips[i]) << i;
    EXPECT_FALSE(view.rows[i].ticked);
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
    view.rows.clear();
    AddRows({page, page, page, page});
    for (int i : c.ticked) view.rows[static_cast<std::size_t>(i)].ticked = true;
    view.selected = c.selected;
    view.current = c.current;
    if (c.act == kRemove) form->cmdRemove_Click();
    if (c.act == kSpace) form->ListView1_Space();
    if (c.act == kDelete) form->ListView1_Delete();
    EXPECT_EQ(view.Column(kColNumber), c.rows) << c.what;
    EXPECT_EQ(Ticked(), c.ticked_after) << c.what;
  }
  // Numbers go on from the count: after removing the second of three, the next is 3 again.
  view.rows.clear();
  AddRows({page, page, page});
  view.rows[1].ticked = true;
  form->cmdRemove_Click();
  AddRows({page});
  EXPECT_EQ(view.Column(kColNumber), (Strings{"1", "3", "3"}));
  // Past the 16 bits of a platform list's counters.
  view.rows.clear();
  form->ListView1_Drop(Strings(33000, page));
  for (std::size_t i : {0, 32768, 32999}) view.rows[i].ticked = true;
  form->cmdRemove_Click();
  EXPECT_EQ(view.rows.size(), 32997u);
  EXPECT_EQ(view.rows[32766].cells[kColNumber], "32768");
  EXPECT_EQ(view.rows[32767].cells[kColNumber], "32770");
}

TEST_F(Form, DroppedFilesAndFoldersAreAdded) {
  std::filesystem::create_directories(files / "site" / "deeper");
  for (const char* n : {"site/b.php", "site/a.HTML", "site/notes.txt", "site/c.asp",
                        "site/deeper/d.htm", "one.txt"})
    files.write(n, "x");
  form->ListView1_Drop({P("one.txt"), P("site")});
  EXPECT_EQ(view.Column(kColSource), (Strings{"one.txt", "a.HTML", "b.php", "c.asp"}));
  EXPECT_EQ(view.rows.at(3).tips[kColSource], P("site") + kSeparator + "c.asp");
  EXPECT_EQ(view.Column(kColNumber), (Strings{"1", "2", "3", "4"}));
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
    view.rows.clear();
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
    EXPECT_EQ(view.rows[i].cells[kColSourceSize], std::to_string(cases[i].content.size()));
    EXPECT_EQ(view.rows[i].cells[kColTargetSize], cases[i].target_size) << cases[i].name;
    EXPECT_EQ(view.rows[i].cells[kColRatio], cases[i].ratio) << cases[i].name;
  }
  EXPECT_EQ(std::filesystem::file_size(files / "out" / "page.htm"), 640u);
  EXPECT_EQ(view.scrolled_to, 3);
}

TEST_F(Form, InPlaceRowsShowTheSizesEachTrimSaw) {
  AddRows({Write("page.htm", Page1000())});
  view.texts[Control::txtOutput] = Utf8Path(files.path());
  Run();
  EXPECT_EQ(view.Column(kColSourceSize), Strings{"1000"});
  EXPECT_EQ(view.Column(kColRatio), Strings{"64.00%"});
  Run();
  EXPECT_EQ(view.Column(kColSourceSize), Strings{"640"});
  EXPECT_EQ(view.Column(kColRatio), Strings{"100.00%"});
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
       "1 of 2 files could not be trimmed. Hover over a row marked failed to see why."},
      {no_folder, false, "failed", "The folder " + no_folder + " does not exist.",
       "2 of 2 files could not be trimmed. Hover over a row marked failed to see why."},
  };
  AddRows({Write("ok.htm", Page1000()), Write("gone.htm", Page1000())});
  for (const auto& c : cases) {
    // A good run first: a failure must replace its results, not sit beside them.
    files.write("gone.htm", Page1000());
    view.texts[Control::txtOutput] = out;
    view.messages.clear();
    Run();
    EXPECT_EQ(view.Column(kColTargetSize), (Strings{"640", "640"}));
    if (c.remove_source) std::filesystem::remove(files / "gone.htm");
    view.texts[Control::txtOutput] = c.output;
    Run();
    EXPECT_EQ(view.messages, (std::vector<Message>{kFinished, {MessageIcon::kWarning, c.box}}));
    EXPECT_EQ(view.Column(kColTargetSize), (Strings{c.ok_row, "failed"}));
    EXPECT_EQ(view.rows[1].cells[kColRatio], " ") << "no ratio of a stale target";
    EXPECT_EQ(view.rows[1].tips[kColTargetSize], c.gone_tip);
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
                                   "2 of 3 files could not be trimmed: 2 are not text. Hover "
                                   "over a row marked skipped to see why."}}));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(view.rows[i].cells[kColTargetSize], cases[i].target_size) << cases[i].name;
    EXPECT_EQ(view.rows[i].tips[kColTargetSize], cases[i].tip) << cases[i].name;
    EXPECT_EQ(std::filesystem::exists(files / "out" / cases[i].name), i == 0) << cases[i].name;
  }
  EXPECT_EQ(view.Column(kColRatio), (Strings{"64.00%", " ", " "}));
}

TEST_F(Form, WhileARunLastsTheListAndTheFolderStayAsTheyAre) {
  std::filesystem::create_directory(files / "out");
  for (const char* n : {"1.htm", "2.htm", "3.htm"}) AddRows({Write(n, Page1000())});
  view.texts[Control::txtOutput] = P("out");
  view.rows[0].ticked = true;
  view.selected = {1};
  const auto requests = view.requests.size();
  form->cmdTrim2_Click();
  ASSERT_TRUE(form->running());
  EXPECT_TRUE(view.busy);
  EXPECT_TRUE(view.read_only[Control::txtOutput]);
  EXPECT_TRUE(view.read_only[Control::chkKeep]);
  EXPECT_EQ(view.Column(kColTargetSize), (Strings{" ", " ", " "}));
  form->cmdTrim2_Click();
  form->cmdRemove_Click();
  form->cmdAdd_Click();
  form->cmdOutput_Click();
  form->ListView1_Delete();
  form->ListView1_Drop({P("1.htm")});
  EXPECT_EQ(view.requests.size(), requests) << "no dialog opened";
  EXPECT_TRUE(tarnex.dir_owners.empty());
  ASSERT_TRUE(view.PumpUntil([&] { return !form->running(); }));
  EXPECT_EQ(view.messages, std::vector<Message>{kFinished});
  EXPECT_FALSE(view.busy);
  EXPECT_FALSE(view.read_only[Control::txtOutput]);
  EXPECT_FALSE(view.read_only[Control::chkKeep]);
  EXPECT_EQ(view.Column(kColTargetSize), (Strings{"640", "640", "640"}));
}

TEST_F(Form, ClosingDuringARunFinishesTheCurrentFileThenCloses) {
  std::filesystem::create_directory(files / "out");
  for (const char* n : {"1.htm", "2.htm", "3.htm"}) AddRows({Write(n, Page1000())});
  view.texts[Control::txtOutput] = P("out");
  form->cmdTrim2_Click();
  form->cmdExit_Click();
  EXPECT_FALSE(view.closed) << "the first file is still on its way";
  EXPECT_FALSE(form->Form_QueryUnload());
  ASSERT_TRUE(view.PumpUntil([&] { return !form->running(); }));
  EXPECT_TRUE(view.closed);
  EXPECT_TRUE(view.messages.empty()) << "no closing box: the program ends instead";
  EXPECT_FALSE(view.busy);
  EXPECT_EQ(view.Column(kColTargetSize), (Strings{"640", " ", " "}));
  EXPECT_FALSE(std::filesystem::exists(files / "out" / "2.htm"));
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
  EXPECT_EQ(view.Column(kColTargetSize), (Strings{" ", " "}));
  EXPECT_TRUE(view.messages.empty());
  EXPECT_FALSE(std::filesystem::exists(files / "out" / "2.htm"));
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
  EXPECT_EQ(tarnex.opened, Strings(2, "https://help.example/tools/brevio_help.htm"));
  EXPECT_EQ(creations, 1);
  form->cmdAbout_Click();
  EXPECT_EQ(view.abouts, 1);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(Form, AMissingLibrarySaysSoAndIsTriedAgainNextTime) {
  create_result = REGDB_E_CLASSNOTREG;
  view.answers = {Strings{Write("a.htm", "x")}};
  form->cmdAdd_Click();
  form->cmdHelp_Click();
  EXPECT_TRUE(view.rows.empty());
  view.AddRow();  // a row put in by hand: Add itself needs the library
  view.texts[Control::txtOutput] = P("out");
  form->cmdTrim2_Click();
  EXPECT_FALSE(form->running());
  EXPECT_FALSE(view.busy) << "no hourglass before the library is there";
  const Message missing{MessageIcon::kWarning, "missing " + std::to_string(REGDB_E_CLASSNOTREG)};
  EXPECT_EQ(view.messages, (std::vector<Message>{missing, missing, missing}));
  create_result = S_OK;
  form->cmdHelp_Click();
  EXPECT_EQ(creations, 4);
  EXPECT_EQ(tarnex.opened.size(), 1u);
}

}  // namespace
}  // namespace brevio::forms
