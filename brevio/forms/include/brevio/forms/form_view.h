// What the window logic needs of a window toolkit: the controls of frmMain
// and frmAbout by name, the rows of ListView1, the common dialogs, message
// boxes, the pointer and the window's own thread. Qt provides it on Linux,
// the platform's controls on Windows, and a recording view in tests.
//
// Every text is UTF-8. Every call is made on the window's thread, except
// PostToWindow, which any thread may call.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brevio::forms {

// The controls of frmMain whose text or state the logic reads or sets.
enum class Control {
  txtOpen,
  txtSave,
  lblLenOpen,
  lblLenSave,
  txtOutput,
  chkKeep,
};

// Columns of ListView1.
enum ListColumn : int {
  kColNumber = 0,
  kColSource = 1,
  kColSourceSize = 2,
  kColTargetSize = 3,
  kColRatio = 4,
  kColumnCount = 5,
};

enum class MessageIcon { kInformation, kWarning };

// One showing of the Open or Save dialog, as the logic set it up.
struct FileDialogRequest {
  bool save = false;
  std::uint32_t flags = 0;  // the kOfn* flags of file_dialog.h
  std::string filter;       // "description|pattern;pattern|description|pattern..."
  // The name the dialog was last left with (a full path or a folder): it
  // opens there. Empty: wherever the toolkit likes.
  std::string initial_name;
};

class MainView {
 public:
  virtual ~MainView() = default;

  // ---- boxes and labels
  virtual std::string Text(Control control) const = 0;
  virtual void SetText(Control control, const std::string& text) = 0;
  // txtOutput and chkKeep are read-only while a batch runs (a check box is
  // greyed).
  virtual void SetReadOnly(Control control, bool read_only) = 0;
  // Whether a check box is ticked.
  virtual bool Checked(Control control) const = 0;

  // ---- ListView1 draws the form's rows (MainForm::rows()), addressed by
  // position, 0 first; the face keeps only the selection and the focus.
  // Rows [first, first + count) were appended.
  virtual void RowsAdded(int first, int count) = 0;
  // These rows (ascending, no repeats) are gone; the others keep their order.
  virtual void RowsRemoved(const std::vector<int>& rows) = 0;
  // The texts, reasons or ticks of rows [first, first + count) changed.
  virtual void RowsChanged(int first, int count) = 0;
  // Selected rows in ascending order.
  virtual std::vector<int> SelectedRows() const = 0;
  // The row with the focus; -1 when there is none.
  virtual int CurrentRow() const = 0;
  virtual void ScrollToRow(int row) = 0;

  // ---- dialogs and boxes
  // Shows the Open or Save dialog and waits. The full path of every chosen
  // file in the order chosen, or nothing after Cancel. The toolkit's own
  // checks (a file that must exist, overwrite prompts) happen inside.
  virtual std::optional<std::vector<std::string>> RunFileDialog(
      const FileDialogRequest& request) = 0;
  // A modal box with the title "Brevio", the icon and one OK button.
  virtual void ShowMessage(MessageIcon icon, const std::string& text) = 0;
  // A modal question with the title "Brevio" and the buttons Yes and No, No
  // the default (Enter, Escape and the close box all answer No).
  virtual bool AskYesNo(const std::string& text) = 0;
  // Shows frmAbout modally.
  virtual void ShowAbout() = 0;
  // The window's handle as CTarnex.GetDir takes it (owner of the chooser).
  virtual std::int32_t WindowHandle() const = 0;
  // The decimal point of the user's locale, for the ratio column.
  virtual std::string DecimalPoint() const = 0;

  // ---- the window
  // The hourglass over the whole program while a batch runs.
  virtual void SetBusy(bool busy) = 0;
  // Closes the window for good (the logic has already agreed).
  virtual void CloseWindow() = 0;
  // Runs `task` later on the window's thread. Tasks posted once the window is
  // gone are dropped, never run.
  virtual void PostToWindow(std::function<void()> task) = 0;
};

// The controls of frmAbout whose texts the logic sets.
enum class AboutControl { Label1, Label2, Label5, Label6 };

class AboutView {
 public:
  virtual ~AboutView() = default;
  virtual void SetText(AboutControl control, const std::string& text) = 0;
  virtual std::string Text(AboutControl control) const = 0;
  // Closes the box (OK).
  virtual void CloseBox() = 0;
};

}  // namespace brevio::forms
