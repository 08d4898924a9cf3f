// frmAbout: names the program and its version; the web address opens the site.
#pragma once

#include <QDialog>
#include <memory>

#include "brevio/forms/about_form.h"

class QLabel;
class QPushButton;
class QWidget;
struct _CTarnex;

namespace brevio::app {

// What the about box needs of the window that opens it.
class AboutHost {
 public:
  // The window the box stays above.
  virtual QWidget* AboutParent() = 0;
  // The utility object that opens the web site; null when it cannot be had.
  virtual _CTarnex* tarnex() = 0;

 protected:
  ~AboutHost() = default;
};

// A label that reports clicks (Label5, the web address).
class ClickableLabel;

// The box's behaviour is forms::AboutForm; this is its Qt face.
class frmAbout : public QDialog, public forms::AboutView {
 public:
  explicit frmAbout(AboutHost& host);
  ~frmAbout() override;

  // Puts back the design-time texts; called before each showing.
  void Load();

  void SetText(forms::AboutControl control, const std::string& text) override;
  std::string Text(forms::AboutControl control) const override;
  void CloseBox() override { accept(); }

 private:
  QLabel* Find(forms::AboutControl control) const;

  std::unique_ptr<forms::AboutForm> form_;
  QPushButton* OKButton = nullptr;
  // The texts Load() puts back; the fixed captions (Label3, Label4) and the
  // icon (Image1) are set once when the box is built.
  QLabel* Label1 = nullptr;          // program and version
  QLabel* Label2 = nullptr;          // what it does
  ClickableLabel* Label5 = nullptr;  // the web site, opened on a click
  QLabel* Label6 = nullptr;          // the support address
};

}  // namespace brevio::app
