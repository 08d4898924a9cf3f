// The single-file group, Help and the about box.
#include <QKeyEvent>

#include "app_fixture.h"
#include "brevio/app/brevio_config.h"

namespace brevio::app {
namespace {

using namespace testing_support;

class Single : public AppTest {
 protected:
  QString Text(const char* name) const {
    if (auto* e = window->findChild<QLineEdit*>(QString::fromLatin1(name))) return e->text();
    return Find<QLabel>(name)->text();
  }
  void Set(const char* box, const QString& text) { Find<QLineEdit>(box)->setText(text); }
};

TEST_F(Single, OpenFillsThePathAndTheLengthWithFourSpaces) {
  files.write("src.htm", std::string(321, 'a'));
  WhenModal([&](QWidget* m) { TypeAndAccept(m, Q(files / "src.htm")); });
  Click("cmdOpen");
  EXPECT_EQ(Text("txtOpen"), Q(files / "src.htm"));
  EXPECT_EQ(Text("lblLenOpen"), QStringLiteral("File Len:    321"));

  // Cancel keeps the path but still reads its length again.
  files.write("src.htm", std::string(5, 'a'));
  WhenModal(PressCancel);
  Click("cmdOpen");
  EXPECT_EQ(Text("txtOpen"), Q(files / "src.htm"));
  EXPECT_EQ(Text("lblLenOpen"), QStringLiteral("File Len:    5"));
}

TEST_F(Single, OpenCancelledOnAMissingPathKeepsTheLabel) {
  WhenModal(PressCancel);
  Click("cmdOpen");
  EXPECT_EQ(Text("txtOpen"), QStringLiteral("C:\\Important\\share2\\index.html"));
  EXPECT_EQ(Text("lblLenOpen"), QStringLiteral("File Len:"));
}

TEST_F(Single, SaveSuggestsTheLastFileAndLeavesItsLabelAlone) {
  files.write("src.htm", "x");
  WhenModal([&](QWidget* m) { TypeAndAccept(m, Q(files / "src.htm")); });
  Click("cmdOpen");
  QString suggested;
  WhenModal([&](QWidget* m) {
    auto* d = qobject_cast<QFileDialog*>(m);
    suggested = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
    TypeAndAccept(m, Q(files / "out"));  // no extension is added
  });
  Click("cmdSave");
  EXPECT_EQ(suggested, QStringLiteral("src.htm"));
  EXPECT_EQ(Text("txtSave"), Q(files / "out"));
  EXPECT_EQ(Text("lblLenSave"), QStringLiteral("File Len:"));
}

TEST_F(Single, TrimShowsBothLengthsWithOneSpace) {
  const QString src = Q(files.write("src.htm", "  a  \r\n\r\n\tb\r\n"));
  const struct {
    QString target;
    const char *open, *save;
  } cases[] = {
      {Q(files / "dst.htm"), "File Len: 13", "File Len: 6"},
      {src, "File Len: 6", "File Len: 6"},  // the same path: in place
  };
  for (const auto& c : cases) {
    Set("txtOpen", src);
    Set("txtSave", c.target);
    Click("cmdTrim");
    EXPECT_EQ(Text("lblLenOpen"), QString::fromLatin1(c.open));
    EXPECT_EQ(Text("lblLenSave"), QString::fromLatin1(c.save));
  }
  EXPECT_EQ(brevio::testing::ReadFile(files / "dst.htm"), "a\r\nb\r\n");
}

TEST_F(Single, TrimThatCannotRunSaysWhyAndKeepsUnreadableLabels) {
  const QString src = Q(files.write("src.htm", "a\r\n"));
  const QString missing_folder = Q(files / "no" / "dir");
  const struct {
    QString open, save;
    QString says;
    const char* open_label;
  } cases[] = {
      {"", Q(files / "d.htm"), "source file to trim", "File Len:"},
      {src, "", "target file", "File Len: 3"},
      {Q(files / "missing.htm"), Q(files / "d.htm"), "not found", "File Len:"},
      {src, missing_folder + "/d.htm",
       QStringLiteral("The folder %1 does not exist.").arg(missing_folder), "File Len: 3"},
      {src, src + "/d.htm", src + " is not a folder.", "File Len: 3"},
  };
  for (const auto& c : cases) {
    window->close();
    window = std::make_unique<frmMain>(TarnexCreator(QString()));
    window->ShowCentred();
    Set("txtOpen", c.open);
    Set("txtSave", c.save);
    const Box box = ClickForBox("cmdTrim");
    EXPECT_EQ(box.title, QStringLiteral("Brevio"));
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_TRUE(box.text.contains(c.says)) << box.text.toStdString();
    EXPECT_EQ(Text("lblLenOpen"), QString::fromLatin1(c.open_label));
    EXPECT_EQ(Text("lblLenSave"), QStringLiteral("File Len:"));
  }
}

// Enter presses the focused button as Space does, in view or not.
TEST_F(Single, EnterPressesTheFocusedButton) {
  const struct {
    const char* button;
    Qt::Key key;
    const char* opens;  // class of the modal window the button opens
  } cases[] = {
      {"cmdOpen", Qt::Key_Return, "QFileDialog"},   {"cmdSave", Qt::Key_Enter, "QFileDialog"},
      {"cmdTrim", Qt::Key_Return, "QMessageBox"},   {"cmdAdd", Qt::Key_Return, "QFileDialog"},
      {"cmdOutput", Qt::Key_Return, "QFileDialog"}, {"cmdTrim2", Qt::Key_Enter, "QMessageBox"},
      {"cmdAbout", Qt::Key_Return, "QDialog"},
  };
  for (const auto& c : cases) {
    QString opened;
    WhenModal([&](QWidget* m) {
      opened = QString::fromLatin1(m->metaObject()->className());
      m->close();
    });
    auto* button = Find<QPushButton>(c.button);
    button->setFocus();
    QTest::keyClick(button, c.key, c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); })) << c.button;
    EXPECT_EQ(opened, QString::fromLatin1(c.opens)) << c.button;
    brevio::testing::CancelPendingModals();
  }
}

// ---------------------------------------------------------------- Help

TEST_F(Single, HelpOpensTheShippedPageInANewBrowserWindowEachTime) {
  Click("cmdHelp");
  _CTarnex* first = window->tarnex();
  Click("cmdHelp");
  EXPECT_EQ(window->tarnex(), first) << "one object serves every call";
  const auto calls = BrowserCalls(2);
  ASSERT_EQ(calls.size(), 2u);
  const std::string want = (HelpSite() + QStringLiteral("/tools/brevio_help.htm")).toStdString();
  EXPECT_EQ(calls[0], want);
  EXPECT_EQ(calls[1], want);
  if (std::string(BREVIO_HELP_SITE).empty()) {
    ASSERT_EQ(want.rfind("file://", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_regular_file(want.substr(7))) << want;
  }
}

// ---------------------------------------------------------------- About

TEST_F(Single, AboutBoxShowsItsTextsAndItsLinkOpensExactlyWhatIsShown) {
  QStringList texts;
  QString title;
  bool still_open = false;
  WhenModal([&](QWidget* about) {
    title = about->windowTitle();
    if (const char* dir = std::getenv("BREVIO_SNAPSHOT_DIR")) {
      about->grab().save(QString::fromLocal8Bit(dir) + "/frmAbout.png");
    }
    EXPECT_EQ(about->size(), QSize(402, 213));
    for (const char* n : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"})
      texts << about->findChild<QLabel*>(QString::fromLatin1(n))->text();
    EXPECT_FALSE(about->findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull());
    auto* description = about->findChild<QLabel*>(QStringLiteral("Label2"));
    EXPECT_LE(description->heightForWidth(description->width()), description->height())
        << "the description fits its box";
    auto* link = about->findChild<QLabel*>(QStringLiteral("Label5"));
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(link->font().underline());
    EXPECT_TRUE(QStringList({"Verdana", "DejaVu Sans"}).contains(QFontInfo(link->font()).family()))
        << QFontInfo(link->font()).family().toStdString();
    QTest::mouseClick(link, Qt::LeftButton);
    QTest::mouseClick(link, Qt::LeftButton);
    // The other labels do nothing.
    QTest::mouseClick(about->findChild<QLabel*>(QStringLiteral("Label6")), Qt::LeftButton);
    still_open = about->isVisible();
    about->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
  });
  Click("cmdAbout");
  EXPECT_EQ(title, QStringLiteral("About Brevio"));
  ASSERT_EQ(texts.size(), 6);
  EXPECT_EQ(texts[0], QString::fromUtf8(kProductTitle));
  EXPECT_TRUE(texts[1].startsWith(QStringLiteral("This free software may trim your web pages")));
  EXPECT_EQ(texts[2], QStringLiteral("Website:"));
  EXPECT_EQ(texts[3], QStringLiteral("Support:"));
  EXPECT_EQ(texts[4], QStringLiteral(BREVIO_WEB_SITE));
  EXPECT_EQ(texts[5], QStringLiteral(BREVIO_SUPPORT_ADDRESS));
  EXPECT_TRUE(still_open);
  EXPECT_EQ(BrowserCalls(2), (std::vector<std::string>{BREVIO_WEB_SITE, BREVIO_WEB_SITE}));
  // The object the link created is the one the window goes on with.
  _CTarnex* from_about = window->tarnex();
  Click("cmdHelp");
  EXPECT_EQ(window->tarnex(), from_about);
}

TEST_F(Single, AboutBoxClosesWithEscEnterOkAndTheCloseBox) {
  const std::function<void(QWidget*)> closers[] = {
      [](QWidget* m) { QTest::keyClick(m, Qt::Key_Escape); },
      [](QWidget* m) { QTest::keyClick(m, Qt::Key_Return); },
      [](QWidget* m) { m->findChild<QPushButton*>(QStringLiteral("OKButton"))->click(); },
      [](QWidget* m) { m->close(); },
  };
  for (const auto& close : closers) {
    bool opened = false;
    WhenModal([&](QWidget* m) {
      opened = m->objectName() == QStringLiteral("frmAbout");
      close(m);
    });
    Click("cmdAbout");  // returns only once the box is closed
    EXPECT_TRUE(opened);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
  EXPECT_TRUE(BrowserCalls(0).empty());
}

}  // namespace
}  // namespace brevio::app
