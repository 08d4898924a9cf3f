// frmAbout: names the program and its version; the web address opens the site.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace brevio::app {

class frmMain;

// A label that reports clicks (Label5, the web address).
class ClickableLabel;

class frmAbout : public QDialog {
 public:
  explicit frmAbout(frmMain& main);

  // Puts back the design-time texts; called before each showing.
  void Load();

  void Label5_Click();
  void OKButton_Click();

 private:
  frmMain& main_;
  QPushButton* OKButton = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  ClickableLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Image1 = nullptr;
};

}  // namespace brevio::app
