// frmMain on the platform's own controls: builds the window from the layout
// table, paints its background once, forwards clicks, keys and drops to
// MainForm and implements the view the form talks to.
#pragma once

#include <windows.h>
// After <windows.h>.
#include <commctrl.h>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "brevio/forms/form_view.h"
#include "brevio/forms/main_form.h"
#include "brevio/forms/tarnex_library.h"

namespace brevio::win32 {

class MainWindow final : public forms::MainView {
 public:
  explicit MainWindow(HINSTANCE instance);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Builds and shows the window; false when the system refuses it.
  bool Create(int show);
  HWND hwnd() const { return hwnd_; }

  std::string Text(forms::Control control) const override;
  void SetText(forms::Control control, const std::string& text) override;
  void SetReadOnly(forms::Control control, bool read_only) override;
  bool Checked(forms::Control control) const override;

  void RowsAdded(int first, int count) override;
  void RowsRemoved(const std::vector<int>& rows) override;
  void RowsChanged(int first, int count) override;
  std::vector<int> SelectedRows() const override;
  int CurrentRow() const override;
  void ScrollToRow(int row) override;

  std::optional<std::vector<std::string>> RunFileDialog(
      const forms::FileDialogRequest& request) override;
  void ShowMessage(forms::MessageIcon icon, const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  void ShowAbout() override;
  std::int32_t WindowHandle() const override;
  std::string DecimalPoint() const override;

  void SetBusy(bool busy) override;
  void CloseWindow() override;
  void PostToWindow(std::function<void()> task) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR id, DWORD_PTR self);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleList(UINT message, WPARAM wparam, LPARAM lparam);

  void CreateControls();
  void Layout();
  void PaintBackground();
  void ReleaseBackground();
  void Click(int id);
  void RunOneTask();
  LRESULT ControlColour(HDC dc, HWND control);
  void CreateCellTips();
  void ShowFocusTip();
  std::pair<int, int> CellAt(POINT at) const;
  void RelayToTips(UINT message, WPARAM wparam, LPARAM lparam) const;
  std::wstring BreakLongRuns(HWND tips, const std::wstring& text) const;
  void FillCellTip(NMTTDISPINFOW& info);
  std::string Tip(int row, int column) const;
  // Puts a row's texts and tick into the list.
  void DrawRow(int row, bool announce);
  void ListItemChanged(const NMLISTVIEW& change);
  forms::TarnexLibrary Library() const;
  HWND Item(forms::Control control) const;
  HWND List() const { return list_; }

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND list_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the focus when the window was left
  UINT dpi_ = 96;
  HFONT font_ = nullptr;
  std::unique_ptr<forms::TarnexLibrary> library_;
  std::unique_ptr<forms::MainForm> form_;

  // The background, painted once per size: gradient and separator lines.
  HBITMAP background_ = nullptr;
  HDC background_dc_ = nullptr;
  HGDIOBJ background_old_ = nullptr;
  HBRUSH background_brush_ = nullptr;
  HBRUSH output_brush_ = nullptr;
  SIZE background_size_{};

  bool drawing_ = false;      // the list changes because the form's rows did, not the user
  HWND cell_tips_ = nullptr;  // the list's tooltip, owned by the window
  int tip_row_ = -1, tip_column_ = -1;  // the cell the pointer was last seen over
  std::wstring tip_text_;               // what the shown tip points to
  HWND focus_tip_ = nullptr;  // the focused row's reason, shown at the row for the keyboard
  std::wstring focus_tip_text_;
  std::vector<std::string> reasons_;  // each row's reason as last drawn; empty: none
  bool busy_ = false;

  std::mutex tasks_mutex_;
  std::deque<std::function<void()>> tasks_;
  bool gone_ = false;  // the window is destroyed: tasks are dropped
};

}  // namespace brevio::win32
