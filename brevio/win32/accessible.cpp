#include "accessible.h"

#include <oleacc.h>
// After <windows.h>.
#include <commctrl.h>

#include <atomic>

#include "wide.h"

namespace brevio::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 0xACC;

struct Answers {
  std::wstring name;  // empty: the platform's
  LONG role;
  bool text_as_value;
};

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// The platform's object for a control with the name, role and item
// descriptions replaced; everything else is asked of the platform's object.
// It keeps only the window handle, so a screen reader that holds it after
// the window is gone gets the platform's answers for a dead window.
class ControlAccessible final : public IAccessible, public IOleWindow {
 public:
  ControlAccessible(HWND control, IAccessible* platform, const Answers& answers)
      : control_(control),
        platform_(platform),
        name_(answers.name),
        role_(answers.role),
        text_as_value_(answers.text_as_value) {}
  ControlAccessible(const ControlAccessible&) = delete;
  ControlAccessible& operator=(const ControlAccessible&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) ||
        riid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
    } else if (riid == __uuidof(IOleWindow)) {
      *out = static_cast<IOleWindow*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // IOleWindow: how a screen reader learns the window behind the object.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = control_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return platform_->GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
    return platform_->GetTypeInfo(index, lcid, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override {
    return platform_->GetIDsOfNames(riid, names, count, lcid, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* bad_argument) override {
    return platform_->Invoke(id, riid, lcid, flags, params, result, exception, bad_argument);
  }

  // IAccessible: the answers of our own.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    if (!IsSelf(child) || name_.empty()) return platform_->get_accName(child, name);
    *name = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
    return *name != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (role == nullptr) return E_POINTER;
    if (!IsSelf(child) || role_ == 0) return platform_->get_accRole(child, role);
    VariantInit(role);
    role->vt = VT_I4;
    role->lVal = role_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    if (description == nullptr) return E_POINTER;
    if (child.vt == VT_I4 && child.lVal > 0 && IsWindow(control_)) {
      std::wstring text;
      if (SendMessageW(control_, kDescribeChild, static_cast<WPARAM>(child.lVal),
                       reinterpret_cast<LPARAM>(&text)) != FALSE) {
        *description = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *description != nullptr ? S_OK : E_OUTOFMEMORY;
      }
    }
    return platform_->get_accDescription(child, description);
  }

  // IAccessible: the platform's answers.
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return platform_->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    return platform_->get_accChildCount(count);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    return platform_->get_accChild(child, object);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    if (value == nullptr) return E_POINTER;
    if (!IsSelf(child) || !text_as_value_) return platform_->get_accValue(child, value);
    const std::wstring text = WindowText(control_);
    *value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *value != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return platform_->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    return platform_->get_accHelp(child, help);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return platform_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    return platform_->get_accKeyboardShortcut(child, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
    return platform_->get_accFocus(child);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return platform_->get_accSelection(children);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return platform_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
    return platform_->accSelect(flags, child);
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT child) override {
    return platform_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return platform_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
    return platform_->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return platform_->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
    return platform_->put_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return platform_->put_accValue(child, value);
  }

 private:
  ~ControlAccessible() { platform_->Release(); }

  std::atomic<ULONG> refs_{1};
  HWND control_;
  IAccessible* platform_;  // owned: one reference
  std::wstring name_;
  LONG role_;
  bool text_as_value_;
};

LRESULT CALLBACK AnswerProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                            DWORD_PTR data) {
  const auto* answers = reinterpret_cast<const Answers*>(data);
  switch (message) {
    case WM_GETOBJECT: {
      if (static_cast<LONG>(lparam) != OBJID_CLIENT) break;
      IAccessible* platform = nullptr;
      if (FAILED(CreateStdAccessibleObject(control, OBJID_CLIENT, __uuidof(IAccessible),
                                           reinterpret_cast<void**>(&platform))) ||
          platform == nullptr) {
        break;
      }
      auto* object = new ControlAccessible(control, platform, *answers);
      const LRESULT result =
          LresultFromObject(__uuidof(IAccessible), wparam, static_cast<IAccessible*>(object));
      object->Release();
      return result;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(control, &AnswerProc, kSubclassId);
      delete answers;
      break;
    default:
      break;
  }
  return DefSubclassProc(control, message, wparam, lparam);
}

}  // namespace

void GiveAccessibleAnswers(HWND control, const char* name, LONG role, bool text_as_value) {
  auto* answers = new Answers{name != nullptr ? Wide(name) : std::wstring(), role, text_as_value};
  if (SetWindowSubclass(control, &AnswerProc, kSubclassId, reinterpret_cast<DWORD_PTR>(answers)) ==
      FALSE) {
    delete answers;
  }
}

}  // namespace brevio::win32
