// _CTarnex through IDispatch, the way script and late-bound callers use it.
#include "tarnex_fixture.h"

namespace {

using brevio::testing::TarnexTest;

const char16_t* const kOrder[] = {u"JoinPathFile2", u"OpenHelp",  u"OpenWeb",   u"OpenWebNew",
                                  u"MakeDir2",      u"SetTopWnd", u"GetDir",    u"RipPath",
                                  u"RipFile",       u"RipExt",    u"SwitchExt", u"ShellExe",
                                  u"SaveValue",     u"LoadValue"};

// Owns the argument variants; Arg() calls take them in the caller's order and
// they are handed to Invoke reversed.
class Call {
 public:
  ~Call() {
    for (VARIANT& v : args_) VariantClear(&v);
    VariantClear(&result);
  }
  Call& Str(const char16_t* s) {
    return Add(VT_BSTR, [&](VARIANT& v) { v.bstrVal = SysAllocString(s); });
  }
  Call& I4(LONG n) {
    return Add(VT_I4, [&](VARIANT& v) { v.lVal = n; });
  }
  Call& I2(SHORT n) {
    return Add(VT_I2, [&](VARIANT& v) { v.iVal = n; });
  }
  Call& Bool(bool b) {
    return Add(VT_BOOL, [&](VARIANT& v) { v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; });
  }
  Call& Null() {
    return Add(VT_NULL, [](VARIANT&) {});
  }
  Call& Missing() {
    return Add(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; });
  }
  Call& Named(DISPID id) {
    named_.push_back(id);
    return *this;
  }

  HRESULT Invoke(IDispatch* d, const char16_t* member, WORD flags = DISPATCH_METHOD) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    HRESULT hr = d->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    return InvokeId(d, id, flags);
  }
  HRESULT InvokeId(IDispatch* d, DISPID id, WORD flags = DISPATCH_METHOD) {
    // Named arguments were added last and lead rgvarg; positional ones follow reversed.
    std::vector<VARIANT> rg(args_.rbegin(), args_.rend());
    DISPPARAMS dp{rg.data(), named_.empty() ? nullptr : named_.data(), static_cast<UINT>(rg.size()),
                  static_cast<UINT>(named_.size())};
    std::reverse(named_.begin(), named_.end());
    dp.rgdispidNamedArgs = named_.empty() ? nullptr : named_.data();
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, &result, &excep, &arg_err);
  }
  std::u16string Text() const {
    return result.vt == VT_BSTR ? std::u16string(comrt::View(result.bstrVal)) : u"<not a string>";
  }

  VARIANT result{};
  EXCEPINFO excep{};
  UINT arg_err = 99;

 private:
  template <class F>
  Call& Add(VARTYPE vt, F&& fill) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    fill(v);
    args_.push_back(v);
    return *this;
  }
  std::vector<VARIANT> args_;
  std::vector<DISPID> named_;
};

TEST_F(TarnexTest, NamesGiveConsecutiveIdsInTableOrderAnyCase) {
  DISPID first = DISPID_UNKNOWN;
  for (std::size_t i = 0; i < std::size(kOrder); ++i) {
    std::u16string spellings[] = {kOrder[i], kOrder[i], kOrder[i]};
    for (char16_t& c : spellings[1]) c = (c >= u'a' && c <= u'z') ? c - 32 : c;
    for (char16_t& c : spellings[2]) c = (c >= u'A' && c <= u'Z') ? c + 32 : c;
    for (std::u16string& s : spellings) {
      LPOLESTR name = s.data();
      DISPID id = DISPID_UNKNOWN;
      ASSERT_EQ(t_->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK)
          << comrt::ToUtf8(s.data(), s.size());
      if (i == 0 && first == DISPID_UNKNOWN) first = id;
      EXPECT_EQ(id, first + static_cast<DISPID>(i));
    }
  }
  EXPECT_GT(first, 0);  // clear of DISPID_VALUE and the reserved negative ids
}

TEST_F(TarnexTest, UnknownNamesAndParameterNames) {
  struct Case {
    std::vector<const char16_t*> names;
    HRESULT hr;
    std::vector<DISPID> ids;  // relative to nothing: parameter positions, or -1
  };
  const Case cases[] = {
      {{u"RipFiles"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {{u""}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {{u"RipFil"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {{u"nosuch", u"strFile"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, DISPID_UNKNOWN}},
      {{u"switchext", u"STREXT2", u"strFile"}, S_OK, {0, 2, 0}},
      {{u"LoadValue", u"strFile", u"bogus"}, DISP_E_UNKNOWNNAME, {0, 3, DISPID_UNKNOWN}},
  };
  for (const Case& c : cases) {
    std::vector<LPOLESTR> names;
    for (const char16_t* n : c.names) names.push_back(const_cast<LPOLESTR>(n));
    std::vector<DISPID> ids(names.size(), 12345);
    EXPECT_EQ(
        t_->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), 0, ids.data()),
        c.hr);
    for (std::size_t i = 1; i < ids.size(); ++i) EXPECT_EQ(ids[i], c.ids[i]) << i;
    if (FAILED(c.hr) && c.ids[0] == DISPID_UNKNOWN) {
      EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    }
  }
  LPOLESTR name = const_cast<LPOLESTR>(u"RipFile");
  DISPID id;
  EXPECT_EQ(t_->GetIDsOfNames(IID__CTarnex, &name, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(TarnexTest, InvokeCallsWithArgumentsReversedAndCoerced) {
  {
    Call c;
    c.Str(u"page.HTM").Str(u".htm").Str(u".bak");
    ASSERT_EQ(c.Invoke(t_.get(), u"SwitchExt"), S_OK);
    EXPECT_EQ(c.Text(), u"page.bak");
  }
  {
    Call c;  // numbers become strings for string parameters
    c.I4(-12).I2(7);
    ASSERT_EQ(c.Invoke(t_.get(), u"joinpathfile2", DISPATCH_METHOD | DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(c.Text(), u"-12/7");
  }
  {
    Call c;  // non-ASCII and a surrogate pair cross unchanged
    c.Str(u"/d\u00efr/\U0001F600.htm");
    ASSERT_EQ(c.Invoke(t_.get(), u"RipFile"), S_OK);
    EXPECT_EQ(c.Text(), u"\U0001F600.htm");
  }
  {
    Call c;  // by reference, as VB passes variables
    BSTR held = SysAllocString(u"/x/y.txt");
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_BSTR;
    ref.pbstrVal = &held;
    DISPPARAMS dp{&ref, nullptr, 1, 0};
    LPOLESTR name = const_cast<LPOLESTR>(u"RipPath");
    DISPID id;
    ASSERT_EQ(t_->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    ASSERT_EQ(t_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, &c.result, nullptr, nullptr), S_OK);
    EXPECT_EQ(c.Text(), u"/x/");
    EXPECT_EQ(comrt::View(held), u"/x/y.txt");
    SysFreeString(held);
  }
  {
    Call c;  // the caller need not want the result
    c.Str(u"a.b");
    LPOLESTR name = const_cast<LPOLESTR>(u"RipExt");
    DISPID id;
    ASSERT_EQ(t_->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(u"a.b");
    DISPPARAMS dp{&arg, nullptr, 1, 0};
    EXPECT_EQ(t_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), S_OK);
    VariantClear(&arg);
  }
}

struct Failure {
  const char* name;
  const char16_t* member;
  void (*args)(Call&);
  WORD flags;
  HRESULT hr;
  UINT arg_err;  // 99: left alone
};

class InvokeFailures : public TarnexTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(InvokeFailures, GiveTheCodeAndTheArgument) {
  const Failure& f = GetParam();
  Call c;
  f.args(c);
  EXPECT_EQ(c.Invoke(t_.get(), f.member, f.flags), f.hr);
  EXPECT_EQ(c.arg_err, f.arg_err);
  EXPECT_EQ(c.result.vt, VT_EMPTY);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InvokeFailures,
    ::testing::Values(
        Failure{"too_many", u"RipFile", [](Call& c) { c.Str(u"a").Str(u"b"); }, DISPATCH_METHOD,
                DISP_E_BADPARAMCOUNT, 99},
        Failure{"too_few", u"SwitchExt", [](Call& c) { c.Str(u"a").Str(u"b"); }, DISPATCH_METHOD,
                DISP_E_BADPARAMCOUNT, 99},
        Failure{"none_for_required", u"RipFile", [](Call&) {}, DISPATCH_METHOD,
                DISP_E_BADPARAMCOUNT, 99},
        Failure{"missing_marker_for_required", u"SwitchExt",
                [](Call& c) { c.Str(u"a").Missing().Str(u"c"); }, DISPATCH_METHOD,
                DISP_E_PARAMNOTOPTIONAL, 1},
        Failure{"null_middle_argument", u"SwitchExt", [](Call& c) { c.Str(u"a").Null().Str(u"c"); },
                DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 1},
        Failure{"word_for_handle", u"SetTopWnd", [](Call& c) { c.Str(u"abc").Bool(true); },
                DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 1},
        Failure{"word_for_boolean", u"SetTopWnd", [](Call& c) { c.I4(0).Str(u"maybe"); },
                DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 0},
        Failure{"handle_overflow", u"GetDir", [](Call& c) { c.Str(u"99999999999"); },
                DISPATCH_METHOD, DISP_E_OVERFLOW, 0},
        Failure{"property_put", u"RipFile", [](Call& c) { c.Str(u"a"); }, DISPATCH_PROPERTYPUT,
                DISP_E_MEMBERNOTFOUND, 99},
        Failure{"property_get_only", u"RipFile", [](Call& c) { c.Str(u"a"); }, DISPATCH_PROPERTYGET,
                DISP_E_MEMBERNOTFOUND, 99},
        Failure{"unknown_named_parameter", u"RipFile", [](Call& c) { c.Str(u"a").Named(5); },
                DISPATCH_METHOD, DISP_E_PARAMNOTFOUND, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TarnexTest, UnknownMemberIdsAndInterfaces) {
  const DISPID ids[] = {DISPID_VALUE,   DISPID_UNKNOWN,  DISPID_PROPERTYPUT,
                        0x60030000 - 1, 0x60030000 + 14, 0x7FFFFFFF};
  for (DISPID id : ids) {
    Call c;
    c.Str(u"x");
    EXPECT_EQ(c.InvokeId(t_.get(), id), DISP_E_MEMBERNOTFOUND) << id;
  }
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(
      t_->Invoke(0x60030000, IID__CTarnex, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
      DISP_E_UNKNOWNINTERFACE);
  UINT count = 7;
  EXPECT_EQ(t_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
  EXPECT_EQ(t_->GetTypeInfo(0, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
}

TEST_F(TarnexTest, OptionalProfileFileMayBeOmittedEitherWay) {
  // The profile default lies beside the library; reading a key it lacks gives
  // the default value however strFile is left out.
  const char16_t* key = u"no-such-key-7f3a";
  std::u16string results[3];
  {
    Call c;
    c.Str(u"Brevio tests").Str(key).Str(u"fallback");
    ASSERT_EQ(c.Invoke(t_.get(), u"LoadValue"), S_OK);
    results[0] = c.Text();
  }
  {
    Call c;
    c.Str(u"Brevio tests").Str(key).Str(u"fallback").Missing();
    ASSERT_EQ(c.Invoke(t_.get(), u"LoadValue"), S_OK);
    results[1] = c.Text();
  }
  {
    Call c;
    c.Str(u"Brevio tests").Str(key).Str(u"fallback").Str(u"");
    ASSERT_EQ(c.Invoke(t_.get(), u"LoadValue"), S_OK);
    results[2] = c.Text();
  }
  EXPECT_EQ(results[0], u"fallback");
  EXPECT_EQ(results[1], results[0]);
  EXPECT_EQ(results[2], results[0]);
}

TEST_F(TarnexTest, ProfileFileAsNamedArgumentRoundTrips) {
  std::filesystem::path ini = scratch_.dir() / "named.ini";
  std::u16string path = comrt::ToUtf16(ini.string());
  {
    Call c;  // strFile by name (id 3), the value with a non-BMP character
    c.Str(u"Sec").Str(u"Key").Str(u"  v\u00e4lue \U0001F600  ").Str(path.c_str()).Named(3);
    ASSERT_EQ(c.Invoke(t_.get(), u"SaveValue"), S_OK);
    ASSERT_EQ(c.result.vt, VT_I4);
    EXPECT_NE(c.result.lVal, 0);
  }
  comrt::Bstr out;
  ASSERT_EQ(t_->LoadValue(comrt::Bstr(u"Sec").get(), comrt::Bstr(u"Key").get(), nullptr,
                          comrt::Bstr(path).get(), out.out()),
            S_OK);
  EXPECT_EQ(out.view(), u"v\u00e4lue \U0001F600");
}

}  // namespace
