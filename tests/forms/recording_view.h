// The window logic's stand-ins for a toolkit and for Tarnex: a view that keeps
// every control's state in memory, answers dialogs and questions from a
// script and records boxes, and a CTarnex that records what it is asked.
#pragma once

#include <comrt.h>
#include <gtest/gtest.h>
#include <tarnex.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "brevio/forms/form_view.h"

namespace brevio::forms::testing {

struct Message {
  MessageIcon icon;
  std::string text;
  bool operator==(const Message&) const = default;
};

class RecordingView : public MainView, public AboutView {
 public:
  // ---- MainView
  std::string Text(Control c) const override { return Find(texts, c); }
  void SetText(Control c, const std::string& text) override { texts[c] = text; }
  void SetReadOnly(Control c, bool read_only) override { this->read_only[c] = read_only; }
  bool Checked(Control c) const override { return checked.count(c) != 0 && checked.at(c); }
  void RowsAdded(int first, int count) override {
    EXPECT_EQ(first, shown_rows) << "rows are appended";
    shown_rows += count;
  }
  void RowsRemoved(const std::vector<int>& doomed) override {
    EXPECT_TRUE(std::is_sorted(doomed.begin(), doomed.end()));
    shown_rows -= static_cast<int>(doomed.size());
    selected.clear();
  }
  void RowsChanged(int first, int count) override {
    EXPECT_GE(first, 0);
    EXPECT_LE(first + count, shown_rows);
    changed.emplace_back(first, count);
  }
  std::vector<int> SelectedRows() const override { return selected; }
  int CurrentRow() const override { return current; }
  void ScrollToRow(int row) override { scrolled_to = row; }
  std::optional<std::vector<std::string>> RunFileDialog(const FileDialogRequest& r) override {
    requests.push_back(r);
    if (answers.empty()) return std::nullopt;  // unscripted: Cancel
    const bool cancel = !answers.front().has_value();
    std::vector<std::string> paths = cancel ? std::vector<std::string>() : *answers.front();
    answers.pop_front();
    if (cancel) return std::nullopt;
    return paths;
  }
  void ShowMessage(MessageIcon icon, const std::string& text) override {
    messages.push_back({icon, text});
  }
  bool AskYesNo(const std::string& text) override {
    questions.push_back(text);
    if (yes.empty()) return false;  // unscripted: the default, No
    const bool answer = yes.front();
    yes.pop_front();
    return answer;
  }
  void ShowAbout() override { ++abouts; }
  std::int32_t WindowHandle() const override { return 4242; }
  std::string DecimalPoint() const override { return decimal_point; }
  void SetBusy(bool b) override { busy = b; }
  void CloseWindow() override { closed = true; }
  void PostToWindow(std::function<void()> task) override {
    {
      const std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    posted_.notify_one();
  }

  // ---- AboutView
  void SetText(AboutControl c, const std::string& text) override { about_texts[c] = text; }
  std::string Text(AboutControl c) const override { return Find(about_texts, c); }
  void CloseBox() override { box_closed = true; }

  // Runs posted tasks on this thread until `done` holds; false when nothing
  // more arrives for a minute (a run that hangs).
  bool PumpUntil(const std::function<bool()>& done) {
    while (!done()) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_for(lock, std::chrono::minutes(1), [this] { return !tasks_.empty(); }))
          return false;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
    return true;
  }

  std::map<Control, std::string> texts;
  std::map<Control, bool> read_only;
  std::map<Control, bool> checked;
  int shown_rows = 0;
  std::vector<std::pair<int, int>> changed;  // RowsChanged's (first, count)
  std::vector<int> selected;
  int current = -1;
  int scrolled_to = -1;
  std::deque<std::optional<std::vector<std::string>>> answers;  // nullopt: Cancel
  std::vector<FileDialogRequest> requests;
  std::vector<Message> messages;
  std::vector<std::string> questions;
  std::deque<bool> yes;  // answers to AskYesNo, in turn
  int abouts = 0;
  std::string decimal_point = ".";
  bool busy = false;
  bool closed = false;
  std::map<AboutControl, std::string> about_texts;
  bool box_closed = false;

 private:
  template <class K>
  static std::string Find(const std::map<K, std::string>& m, K k) {
    const auto it = m.find(k);
    return it == m.end() ? std::string() : it->second;
  }

  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
};

// A CTarnex that answers GetDir with `folder`, keeps the addresses it is
// asked to open and the starts it is asked to make ("operation|file|
// parameters"), which it answers with `shell_answer`. Lives on the stack:
// references are counted but never delete it.
class FakeTarnex : public _CTarnex {
 public:
  std::string folder;
  std::vector<std::string> opened;
  std::vector<std::int32_t> dir_owners;
  std::vector<std::string> starts;
  LONG shell_answer = 42;
  ULONG refs = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE JoinPathFile2(BSTR, BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenHelp(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenWeb(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenWebNew(BSTR address) override {
    opened.push_back(comrt::ToUtf8(address));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MakeDir2(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetTopWnd(LONG, VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDir(LONG owner, BSTR* result) override {
    dir_owners.push_back(static_cast<std::int32_t>(owner));
    *result = comrt::BstrFromUtf8(folder);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RipPath(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RipFile(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RipExt(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SwitchExt(BSTR, BSTR, BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShellExe(LONG, BSTR operation, BSTR file, BSTR parameters, BSTR, LONG,
                                     LONG* result) override {
    starts.push_back(comrt::ToUtf8(operation) + "|" + comrt::ToUtf8(file) + "|" +
                     comrt::ToUtf8(parameters));
    *result = shell_answer;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SaveValue(BSTR, BSTR, BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LoadValue(BSTR, BSTR, BSTR, BSTR, BSTR*) override { return E_NOTIMPL; }
};

}  // namespace brevio::forms::testing
