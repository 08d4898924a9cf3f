// VARIANT coercion among the types dispatch callers send.
#include <comrt.h>
#include <gtest/gtest.h>

#include <optional>

namespace {

VARIANT I2(SHORT v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I2;
  x.iVal = v;
  return x;
}
VARIANT I4(LONG v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I4;
  x.lVal = v;
  return x;
}
VARIANT R8(double v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_R8;
  x.dblVal = v;
  return x;
}
VARIANT Bool(bool v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_BOOL;
  x.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
  return x;
}
VARIANT Empty() {
  VARIANT x;
  VariantInit(&x);
  return x;
}
VARIANT Null() {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_NULL;
  return x;
}
VARIANT Str(const char16_t* s) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_BSTR;
  x.bstrVal = SysAllocString(s);
  return x;
}

struct Coercion {
  const char* name;
  VARIANT (*make)();
  VARTYPE to;
  HRESULT hr;
  LONG number;           // for VT_I2 / VT_I4 / VT_BOOL targets
  const char16_t* text;  // for VT_BSTR targets
};

class ChangeType : public ::testing::TestWithParam<Coercion> {};

TEST_P(ChangeType, GivesValueOrCode) {
  const Coercion& c = GetParam();
  VARIANT src = c.make();
  VARIANT dst = I4(-99);  // a target that already holds a value
  HRESULT hr = VariantChangeType(&dst, &src, 0, c.to);
  ASSERT_EQ(hr, c.hr);
  if (SUCCEEDED(hr)) {
    ASSERT_EQ(dst.vt, c.to);
    switch (c.to) {
      case VT_I2:
        EXPECT_EQ(dst.iVal, c.number);
        break;
      case VT_I4:
        EXPECT_EQ(dst.lVal, c.number);
        break;
      case VT_BOOL:
        EXPECT_EQ(dst.boolVal, c.number);
        break;
      case VT_BSTR:
        EXPECT_EQ(comrt::View(dst.bstrVal), c.text);
        break;
      default:
        break;
    }
  } else {
    EXPECT_EQ(dst.vt, VT_I4);  // a failed change leaves the target alone
    EXPECT_EQ(dst.lVal, -99);
  }
  VariantClear(&dst);
  VariantClear(&src);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChangeType,
    ::testing::Values(
        Coercion{"i4_to_i2", [] { return I4(-123); }, VT_I2, S_OK, -123, nullptr},
        Coercion{"i4_to_i2_overflow", [] { return I4(40000); }, VT_I2, DISP_E_OVERFLOW, 0, nullptr},
        Coercion{"i2_to_i4", [] { return I2(-7); }, VT_I4, S_OK, -7, nullptr},
        Coercion{"bool_to_i4", [] { return Bool(true); }, VT_I4, S_OK, -1, nullptr},
        Coercion{"r8_rounds_half_even", [] { return R8(2.5); }, VT_I4, S_OK, 2, nullptr},
        Coercion{"r8_rounds_half_even_up", [] { return R8(3.5); }, VT_I4, S_OK, 4, nullptr},
        Coercion{"text_to_i4", [] { return Str(u" 42 "); }, VT_I4, S_OK, 42, nullptr},
        Coercion{"negative_text_to_i2", [] { return Str(u"-32768"); }, VT_I2, S_OK, -32768,
                 nullptr},
        Coercion{"text_to_i2_overflow", [] { return Str(u"32768"); }, VT_I2, DISP_E_OVERFLOW, 0,
                 nullptr},
        Coercion{"word_to_i4", [] { return Str(u"abc"); }, VT_I4, DISP_E_TYPEMISMATCH, 0, nullptr},
        Coercion{"blank_to_i4", [] { return Str(u""); }, VT_I4, DISP_E_TYPEMISMATCH, 0, nullptr},
        Coercion{"null_bstr_to_i4", [] { return Str(nullptr); }, VT_I4, DISP_E_TYPEMISMATCH, 0,
                 nullptr},
        Coercion{"empty_to_i4", Empty, VT_I4, S_OK, 0, nullptr},
        Coercion{"null_to_i4", Null, VT_I4, DISP_E_TYPEMISMATCH, 0, nullptr},
        Coercion{"i4_to_bool", [] { return I4(5); }, VT_BOOL, S_OK, VARIANT_TRUE, nullptr},
        Coercion{"zero_to_bool", [] { return I2(0); }, VT_BOOL, S_OK, VARIANT_FALSE, nullptr},
        Coercion{"true_text_to_bool", [] { return Str(u"tRUE"); }, VT_BOOL, S_OK, VARIANT_TRUE,
                 nullptr},
        Coercion{"false_text_to_bool", [] { return Str(u"False"); }, VT_BOOL, S_OK, VARIANT_FALSE,
                 nullptr},
        Coercion{"word_to_bool", [] { return Str(u"yes"); }, VT_BOOL, DISP_E_TYPEMISMATCH, 0,
                 nullptr},
        Coercion{"i4_to_bstr", [] { return I4(-2147483647 - 1); }, VT_BSTR, S_OK, 0,
                 u"-2147483648"},
        Coercion{"i2_to_bstr", [] { return I2(12); }, VT_BSTR, S_OK, 0, u"12"},
        Coercion{"bool_to_bstr", [] { return Bool(true); }, VT_BSTR, S_OK, 0, u"-1"},
        Coercion{"empty_to_bstr", Empty, VT_BSTR, S_OK, 0, u""},
        Coercion{"null_to_bstr", Null, VT_BSTR, DISP_E_TYPEMISMATCH, 0, nullptr},
        Coercion{"bstr_to_bstr", [] { return Str(u"x\U0001F600"); }, VT_BSTR, S_OK, 0,
                 u"x\U0001F600"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChangeType, AlphaBoolGivesWords) {
  VARIANT src = Bool(false), dst;
  VariantInit(&dst);
  ASSERT_EQ(VariantChangeType(&dst, &src, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
  EXPECT_EQ(comrt::View(dst.bstrVal), u"False");
  VariantClear(&dst);
}

TEST(ChangeType, ReadsThroughByRef) {
  BSTR text = SysAllocString(u"17");
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_BSTR;
  ref.pbstrVal = &text;
  VARIANT dst;
  VariantInit(&dst);
  ASSERT_EQ(VariantChangeType(&dst, &ref, 0, VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, 17);
  // The caller's string is still the caller's.
  ASSERT_EQ(VariantChangeType(&dst, &ref, 0, VT_BSTR), S_OK);
  EXPECT_NE(dst.bstrVal, text);
  VariantClear(&dst);
  VariantClear(&ref);  // by-reference: frees nothing
  EXPECT_EQ(comrt::View(text), u"17");
  SysFreeString(text);
}

TEST(ChangeType, InPlaceKeepsNoDanglingString) {
  VARIANT v = Str(u"123");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 123);
}

// Counts references so Copy and Clear can be checked.
struct Counted : IUnknown {
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** p) override {
    *p = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(VariantCopyClear, DuplicateStringsAndCountReferences) {
  VARIANT a = Str(u"abc"), b;
  VariantInit(&b);
  ASSERT_EQ(VariantCopy(&b, &a), S_OK);
  EXPECT_NE(a.bstrVal, b.bstrVal);
  EXPECT_EQ(comrt::View(b.bstrVal), u"abc");
  VariantClear(&a);
  EXPECT_EQ(a.vt, VT_EMPTY);

  Counted obj;
  VARIANT u;
  VariantInit(&u);
  u.vt = VT_UNKNOWN;
  u.punkVal = &obj;
  ASSERT_EQ(VariantCopy(&b, &u), S_OK);  // also frees b's string
  EXPECT_EQ(obj.refs, 2u);
  VariantClear(&b);
  VariantClear(&u);
  EXPECT_EQ(obj.refs, 0u);
}

}  // namespace
